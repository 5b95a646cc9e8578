#include "Platform/UserFolders.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shlobj.h>

#include "Platform/Windows/WideText.h"

namespace Platform
{

// The per-user local application-data folder (%LOCALAPPDATA%), with "/" as separator.
std::string UserDataFolder()
{
    wchar_t folder[MAX_PATH] = {};
    if (::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK)
        return {};
    return Utf8PathFromNative(folder);
}

} // namespace Platform
