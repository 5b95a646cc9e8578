#pragma once
// Turning fuzzer bytes into the program's kinds of text.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace fuzzinput
{

inline std::string Bytes(const uint8_t* data, size_t size)
{
    return std::string(reinterpret_cast<const char*>(data), size);
}

// Pairs of bytes as UTF-16 code units (little-endian), so every unit, surrogates included, can occur.
inline std::u16string Units(const uint8_t* data, size_t size)
{
    std::u16string text;
    for (size_t i = 0; i + 1 < size; i += 2)
        text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    return text;
}

// Code units of the 8-bit text one by one, as URLs and protocol fields mostly arrive.
inline std::u16string Widened(const uint8_t* data, size_t size)
{
    return std::u16string(data, data + size);
}

// A finding: the fuzzer reports the input that broke a property.
inline void Require(bool property)
{
    if (!property)
        std::abort();
}

} // namespace fuzzinput
