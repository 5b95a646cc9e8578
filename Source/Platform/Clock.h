#pragma once
// Time sources: a steady millisecond tick and calendar time.

#include <cstdint>
#include <optional>
#include <string>

namespace Platform
{

// Milliseconds of a steady clock since an arbitrary start; never goes back.
uint64_t SteadyTickMs();
// The same tick cut to 32 bits (it wraps after about 49.7 days), for tick-count arithmetic.
uint32_t TickCount32();

// Seconds since 1970-01-01 UTC.
int64_t UnixTimeSeconds();

// The local time in asctime form: "Www Mmm dd hh:mm:ss yyyy\n" (24 characters and a line
// feed). Nothing when the local time cannot be obtained; an empty string when it cannot be
// formatted. Thread-safe.
std::optional<std::string> AsciiLocalTime();

} // namespace Platform
