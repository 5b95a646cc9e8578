#include "Platform/Clock.h"

#include <chrono>
#include <ctime>

namespace Platform
{

uint64_t SteadyTickMs()
{
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

uint32_t TickCount32()
{
    return static_cast<uint32_t>(SteadyTickMs());
}

int64_t UnixTimeSeconds()
{
    return static_cast<int64_t>(std::time(nullptr));
}

std::optional<std::string> AsciiLocalTime()
{
    std::time_t now = std::time(nullptr);
    struct tm local {};
    if (now == static_cast<std::time_t>(-1) || ::localtime_r(&now, &local) == nullptr)
        return std::nullopt;
    // asctime_r needs 26 bytes; years beyond 9999 do not fit its form and count as unformattable.
    char text[64] = {};
    if (local.tm_year + 1900 > 9999 || local.tm_year + 1900 < 1000 || ::asctime_r(&local, text) == nullptr)
        return std::string();
    return std::string(text);
}

} // namespace Platform
