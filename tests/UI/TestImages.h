#pragma once
// PNG files made by the tests, for the artwork the screens decode.

#include <stb_image_write.h>

#include <cstdint>
#include <string>
#include <vector>

namespace screentest
{

inline std::vector<uint8_t> EncodePng(int width, int height, int channels, const std::vector<uint8_t>& pixels)
{
    std::vector<uint8_t> out;
    stbi_write_png_to_func(
        [](void* context, void* data, int size)
        {
            auto* bytes = static_cast<std::vector<uint8_t>*>(context);
            bytes->insert(bytes->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
        },
        &out, width, height, channels, pixels.data(), width * channels);
    return out;
}

// An opaque image of one colour with a lighter diagonal band, so a screenshot shows its extent.
inline std::string SolidPng(int width, int height, uint8_t r, uint8_t g, uint8_t b)
{
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
        {
            const bool band = ((x + y) / 40) % 4 == 0;
            uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 3];
            p[0] = band ? static_cast<uint8_t>(r + (255 - r) / 4) : r;
            p[1] = band ? static_cast<uint8_t>(g + (255 - g) / 4) : g;
            p[2] = band ? static_cast<uint8_t>(b + (255 - b) / 4) : b;
        }
    const std::vector<uint8_t> png = EncodePng(width, height, 3, pixels);
    return std::string(png.begin(), png.end());
}

} // namespace screentest
