#include "demo_services/Canvas.h"

#include <stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace demo
{

Rgb Mix(const Rgb& a, const Rgb& b, float t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Rgb FromBytes(int r, int g, int b)
{
    return {r / 255.0f, g / 255.0f, b / 255.0f};
}

Canvas::Canvas(int width, int height)
    : width(width), height(height), pixels(static_cast<size_t>(width) * static_cast<size_t>(height))
{
}

void Canvas::Blend(int x, int y, const Rgb& colour, float alpha)
{
    if (x < 0 || y < 0 || x >= width || y >= height || alpha <= 0.0f)
    {
        return;
    }
    Rgb& pixel = pixels[static_cast<size_t>(y) * width + x];
    pixel = Mix(pixel, colour, std::min(alpha, 1.0f));
}

void Canvas::VerticalGradient(const Rgb& top, const Rgb& bottom)
{
    for (int y = 0; y < height; ++y)
    {
        const Rgb row = Mix(top, bottom, height > 1 ? static_cast<float>(y) / (height - 1) : 0.0f);
        std::fill(pixels.begin() + static_cast<ptrdiff_t>(y) * width,
                  pixels.begin() + static_cast<ptrdiff_t>(y + 1) * width, row);
    }
}

void Canvas::FillCircle(float cx, float cy, float radius, const Rgb& colour, float alpha, float feather)
{
    const int x0 = std::max(0, static_cast<int>(cx - radius - feather));
    const int x1 = std::min(width - 1, static_cast<int>(cx + radius + feather) + 1);
    const int y0 = std::max(0, static_cast<int>(cy - radius - feather));
    const int y1 = std::min(height - 1, static_cast<int>(cy + radius + feather) + 1);
    for (int y = y0; y <= y1; ++y)
    {
        for (int x = x0; x <= x1; ++x)
        {
            const float d = std::hypot(x + 0.5f - cx, y + 0.5f - cy);
            const float coverage =
                std::clamp((radius + feather * 0.5f - d) / std::max(feather, 0.01f), 0.0f, 1.0f);
            Blend(x, y, colour, alpha * coverage);
        }
    }
}

void Canvas::FillBelow(const std::vector<float>& heights, const Rgb& colour, float alpha)
{
    for (int x = 0; x < width && x < static_cast<int>(heights.size()); ++x)
    {
        const float top = heights[static_cast<size_t>(x)];
        for (int y = std::max(0, static_cast<int>(top)); y < height; ++y)
        {
            // One pixel of anti-aliasing along the ridge.
            Blend(x, y, colour, alpha * std::clamp(y + 1.0f - top, 0.0f, 1.0f));
        }
    }
}

std::string Canvas::EncodePng() const
{
    std::vector<unsigned char> bytes(pixels.size() * 3);
    for (size_t i = 0; i < pixels.size(); ++i)
    {
        const Rgb& p = pixels[i];
        bytes[i * 3 + 0] = static_cast<unsigned char>(std::lround(std::clamp(p.r, 0.0f, 1.0f) * 255.0f));
        bytes[i * 3 + 1] = static_cast<unsigned char>(std::lround(std::clamp(p.g, 0.0f, 1.0f) * 255.0f));
        bytes[i * 3 + 2] = static_cast<unsigned char>(std::lround(std::clamp(p.b, 0.0f, 1.0f) * 255.0f));
    }
    std::string png;
    auto append = [](void* context, void* data, int size) {
        static_cast<std::string*>(context)->append(static_cast<const char*>(data), static_cast<size_t>(size));
    };
    if (stbi_write_png_to_func(append, &png, width, height, 3, bytes.data(), width * 3) == 0)
    {
        return {};
    }
    return png;
}

namespace
{

float Lattice(int32_t i, uint32_t seed)
{
    uint32_t h = static_cast<uint32_t>(i) * 0x27D4EB2Du ^ seed * 0x165667B1u;
    h ^= h >> 15;
    h *= 0x85EBCA77u;
    h ^= h >> 13;
    return static_cast<float>(h & 0xFFFFFF) / static_cast<float>(0xFFFFFF);
}

} // namespace

float Noise1(float x, uint32_t seed)
{
    const float floorX = std::floor(x);
    const int32_t i = static_cast<int32_t>(floorX);
    const float t = x - floorX;
    const float smooth = t * t * (3.0f - 2.0f * t);
    return Lattice(i, seed) + (Lattice(i + 1, seed) - Lattice(i, seed)) * smooth;
}

float Fractal1(float x, uint32_t seed, int octaves)
{
    float sum = 0.0f;
    float amplitude = 0.5f;
    float total = 0.0f;
    for (int o = 0; o < octaves; ++o)
    {
        sum += Noise1(x, seed + static_cast<uint32_t>(o) * 101u) * amplitude;
        total += amplitude;
        x *= 2.03f;
        amplitude *= 0.5f;
    }
    return total > 0.0f ? sum / total : 0.0f;
}

} // namespace demo
