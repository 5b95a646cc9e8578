#pragma once

#include <cstdint>
#include <string>

namespace nd
{

// "n B", "x.xx kB", "x.xx MB" or "x.xx GB" (steps of 1024). Never longer than 15 characters.
std::string FormatByteSize(uint64_t bytes);

} // namespace nd
