#include "Platform/UserFolders.h"

#include "Platform/ProcessInfo.h"

namespace Platform
{

std::string UserDataFolder()
{
    // The base-directory convention ignores relative values.
    const auto dataHome = EnvironmentVariable("XDG_DATA_HOME");
    if (dataHome && !dataHome->empty() && dataHome->front() == '/')
        return *dataHome;
    const auto home = EnvironmentVariable("HOME");
    if (home && !home->empty())
        return *home + "/.local/share";
    return {};
}

} // namespace Platform
