#include "Core/ProgramFile.h"

#include "Core/StringUtils.h"
#include "Platform/ProcessInfo.h"

namespace nd
{

std::u16string ProgramFilePath()
{
    return StringUtils::FromUtf8(Platform::ExecutablePath());
}

std::u16string FileStem(std::u16string_view path)
{
    // A backslash separates too, so that paths written the other platform's way work as well.
    size_t slash = path.find_last_of(u"/\\");
    std::u16string_view name = slash == std::u16string_view::npos ? path : path.substr(slash + 1);
    if (name == u"." || name == u"..")
        return std::u16string(name);
    size_t dot = name.rfind(u'.');
    if (dot == std::u16string_view::npos || dot == 0)
        return std::u16string(name);
    return std::u16string(name.substr(0, dot));
}

} // namespace nd
