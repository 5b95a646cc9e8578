#include "Platform/Clock.h"

#include <windows.h>

#include <ctime>

namespace Platform
{

uint64_t SteadyTickMs()
{
    return ::GetTickCount64();
}

uint32_t TickCount32()
{
    return ::GetTickCount();
}

int64_t UnixTimeSeconds()
{
    return static_cast<int64_t>(std::time(nullptr));
}

std::optional<std::string> AsciiLocalTime()
{
    const std::time_t now = std::time(nullptr);
    struct tm local
    {
    };
    if (now == static_cast<std::time_t>(-1) || ::localtime_s(&local, &now) != 0)
        return std::nullopt;
    // The run-time's asctime form has 24 characters and a line feed, as on Linux; years it
    // cannot put in four digits count as unformattable.
    char text[64] = {};
    if (local.tm_year + 1900 > 9999 || local.tm_year + 1900 < 1000 ||
        ::asctime_s(text, sizeof text, &local) != 0)
        return std::string();
    return std::string(text);
}

} // namespace Platform
