#include "Core/Formatting.h"

#include <cinttypes>
#include <cstdio>

namespace nd
{

std::string FormatByteSize(uint64_t bytes)
{
    constexpr uint64_t kKilo = 1024, kMega = kKilo * 1024, kGiga = kMega * 1024;
    char text[16];
    int length;
    if (bytes < kKilo)
        length = std::snprintf(text, sizeof text, "%" PRIu64 " B", bytes);
    else if (bytes < kMega)
        length = std::snprintf(text, sizeof text, "%.2f kB", static_cast<double>(static_cast<float>(bytes) / 1024.0f));
    else if (bytes < kGiga)
        length = std::snprintf(text, sizeof text, "%.2f MB", static_cast<double>(bytes) / static_cast<double>(kMega));
    else
    {
        double gigabytes = static_cast<double>(bytes) / static_cast<double>(kGiga);
        length = std::snprintf(text, sizeof text, "%.2f GB", gigabytes);
        // Counts of 10^9 GB and more: drop the decimals rather than cut off the unit.
        if (length < 0 || length >= static_cast<int>(sizeof text))
            length = std::snprintf(text, sizeof text, "%.0f GB", gigabytes);
    }
    if (length < 0)
        return {};
    return std::string(text);
}

} // namespace nd
