#include "demo_services/Artwork.h"

#include "demo_services/Canvas.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace demo
{
namespace
{

const Rgb kAccent = FromBytes(65, 117, 139);

// A ridge line across the canvas: base height plus fractal relief.
std::vector<float> Ridge(int width, float base, float relief, float scale, uint32_t seed)
{
    std::vector<float> heights(static_cast<size_t>(width));
    for (int x = 0; x < width; ++x)
    {
        heights[static_cast<size_t>(x)] = base - relief * Fractal1(x / scale, seed, 5);
    }
    return heights;
}

} // namespace

std::string PaintBand()
{
    Canvas canvas(kBandWidth, kBandHeight);
    const Rgb deep = FromBytes(28, 62, 80);
    const Rgb light = FromBytes(132, 184, 201);
    // Diagonal gradient from the deep accent at the lower left to a light sky at the upper right.
    for (int y = 0; y < kBandHeight; ++y)
    {
        for (int x = 0; x < kBandWidth; ++x)
        {
            const float t = std::clamp(
                (x / float(kBandWidth)) * 0.55f + (1.0f - y / float(kBandHeight)) * 0.45f, 0.0f, 1.0f);
            canvas.Set(x, y, Mix(deep, light, t));
        }
    }
    // Soft light discs, like out-of-focus highlights.
    const float discs[][4] = {{470, 70, 90, 0.10f},   {540, 150, 40, 0.16f}, {380, 40, 26, 0.14f},
                              {120, 280, 120, 0.06f}, {300, 200, 60, 0.08f}, {560, 300, 70, 0.07f}};
    for (const auto& d : discs)
    {
        canvas.FillCircle(d[0], d[1], d[2], {1, 1, 1}, d[3], 10.0f);
    }
    // Flowing ribbons: bundles of thin sine lines with fading brightness.
    for (int ribbon = 0; ribbon < 3; ++ribbon)
    {
        for (int line = 0; line < 14; ++line)
        {
            const float phase = ribbon * 1.9f + line * 0.045f;
            const float baseY = 150.0f + ribbon * 70.0f + line * 2.2f;
            for (int x = 0; x < kBandWidth; ++x)
            {
                const float y =
                    baseY + 38.0f * std::sin(x * 0.011f + phase) + 14.0f * std::sin(x * 0.027f + phase * 2);
                const float alpha = 0.22f * (1.0f - line / 14.0f) * (0.4f + 0.6f * x / float(kBandWidth));
                canvas.Blend(x, static_cast<int>(y), {0.92f, 0.97f, 1.0f}, alpha);
                canvas.Blend(x, static_cast<int>(y) + 1, {0.92f, 0.97f, 1.0f}, alpha * 0.4f);
            }
        }
    }
    // Calm the bottom edge so the screen's title below it reads well.
    for (int y = kBandHeight - 60; y < kBandHeight; ++y)
    {
        const float t = (y - (kBandHeight - 60)) / 60.0f;
        for (int x = 0; x < kBandWidth; ++x)
        {
            canvas.Blend(x, y, kAccent, 0.35f * t);
        }
    }
    return canvas.EncodePng();
}

std::string PaintHorizonSlide()
{
    Canvas canvas(kSlideWidth, kSlideHeight);
    canvas.VerticalGradient(FromBytes(38, 52, 98), FromBytes(250, 176, 120));
    // Warm glow around the sun, then the sun itself.
    const float sunX = 390.0f, sunY = 330.0f;
    for (int r = 260; r > 60; r -= 20)
    {
        canvas.FillCircle(sunX, sunY, static_cast<float>(r), FromBytes(255, 206, 150), 0.05f, 30.0f);
    }
    canvas.FillCircle(sunX, sunY, 46.0f, FromBytes(255, 240, 214), 0.95f, 3.0f);
    // Mountain ranges, far (pale, hazy) to near (dark).
    const Rgb far = FromBytes(160, 120, 150);
    const Rgb nearest = FromBytes(30, 28, 56);
    const int layers = 5;
    for (int layer = 0; layer < layers; ++layer)
    {
        const float t = layer / float(layers - 1);
        const float base = 360.0f + layer * 62.0f;
        const auto ridge =
            Ridge(kSlideWidth, base, 150.0f - layer * 18.0f, 120.0f - layer * 12.0f, 17u + layer);
        canvas.FillBelow(ridge, Mix(far, nearest, t), 1.0f);
        // Haze over everything behind the next layer.
        for (int y = static_cast<int>(base) - 40; y < kSlideHeight; ++y)
        {
            for (int x = 0; x < kSlideWidth; ++x)
            {
                canvas.Blend(x, y, FromBytes(250, 190, 160), 0.035f * (1.0f - t));
            }
        }
    }
    // A few birds (short arcs), above the slogan the side panel draws across the middle.
    for (int bird = 0; bird < 5; ++bird)
    {
        const float bx = 380.0f + bird * 31.0f + (bird % 2) * 12.0f;
        const float by = 95.0f + (bird * 23) % 40;
        for (int i = -7; i <= 7; ++i)
        {
            canvas.Blend(static_cast<int>(bx + i),
                         static_cast<int>(by - 4.0f * std::sqrt(std::abs(i) / 7.0f) + 2),
                         FromBytes(40, 30, 60), 0.8f);
        }
    }
    return canvas.EncodePng();
}

std::string PaintAuroraSlide()
{
    Canvas canvas(kSlideWidth, kSlideHeight);
    canvas.VerticalGradient(FromBytes(6, 10, 28), FromBytes(18, 44, 70));
    // Stars from a fixed sequence, brighter ones rarer.
    uint32_t state = 2463534242u;
    auto next = [&state]()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    for (int star = 0; star < 420; ++star)
    {
        const float x = static_cast<float>(next() % kSlideWidth);
        const float y = static_cast<float>(next() % 430);
        const float brightness = 0.25f + 0.75f * std::pow((next() % 1000) / 1000.0f, 3.0f);
        canvas.FillCircle(x, y, 0.6f + brightness * 1.1f, {0.95f, 0.96f, 1.0f}, brightness, 1.0f);
    }
    // Curtains: for every column a wavy lower edge, light rising above it and fading.
    const Rgb green = FromBytes(80, 240, 170);
    const Rgb violet = FromBytes(150, 90, 220);
    for (int curtain = 0; curtain < 2; ++curtain)
    {
        for (int x = 0; x < kSlideWidth; ++x)
        {
            const float edge = 250.0f + curtain * 45.0f + 45.0f * std::sin(x * 0.010f + curtain * 2.4f) +
                               30.0f * (Fractal1(x / 60.0f, 91u + curtain, 4) - 0.5f);
            const float strength = 0.35f + 0.65f * Fractal1(x / 25.0f, 7u + curtain, 3);
            for (int y = std::max(0, static_cast<int>(edge - 260.0f));
                 y < static_cast<int>(edge + 24.0f) && y < kSlideHeight; ++y)
            {
                // 0 at the edge, 1 at the top of the curtain; below the edge the glow dies out fast.
                const float up = y < edge ? (edge - y) / 260.0f : (edge - y) / 36.0f;
                const Rgb colour = Mix(green, violet, std::clamp(up * 1.3f, 0.0f, 1.0f));
                const float glow = up >= 0.0f ? 0.75f * std::exp(-6.0f * up) + 0.25f * std::exp(-1.5f * up)
                                              : std::exp(6.0f * up);
                canvas.Blend(x, y, colour, strength * 0.6f * glow * (curtain == 0 ? 1.0f : 0.7f));
            }
        }
    }
    // Dark hills in front.
    const auto hills = Ridge(kSlideWidth, 640.0f, 170.0f, 120.0f, 33u);
    canvas.FillBelow(hills, FromBytes(8, 14, 22), 1.0f);
    return canvas.EncodePng();
}

Artwork PaintArtwork()
{
    Artwork artwork;
    artwork.core["logo_background"] = PaintBand();
    artwork.media["slide_1_horizon"] = PaintHorizonSlide();
    artwork.media["slide_2_spheres"] = PaintSpheresSlide();
    artwork.media["slide_3_aurora"] = PaintAuroraSlide();
    return artwork;
}

} // namespace demo
