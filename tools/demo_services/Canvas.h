#pragma once
// A small RGB drawing surface in linear floating point, encoded to PNG for the artwork.

#include <cstdint>
#include <string>
#include <vector>

namespace demo
{

struct Rgb
{
    float r = 0, g = 0, b = 0;
};

Rgb Mix(const Rgb& a, const Rgb& b, float t);
Rgb FromBytes(int r, int g, int b);

class Canvas
{
  public:
    Canvas(int width, int height);

    int Width() const { return width; }
    int Height() const { return height; }

    Rgb Get(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    void Set(int x, int y, const Rgb& colour) { pixels[static_cast<size_t>(y) * width + x] = colour; }
    // Blends over what is there; out-of-range coordinates are ignored.
    void Blend(int x, int y, const Rgb& colour, float alpha);

    // Top colour to bottom colour.
    void VerticalGradient(const Rgb& top, const Rgb& bottom);
    // A disc with a soft edge of `feather` pixels.
    void FillCircle(float cx, float cy, float radius, const Rgb& colour, float alpha, float feather = 1.5f);
    // Everything below the curve y = heights[x] gets the colour (a silhouette).
    void FillBelow(const std::vector<float>& heights, const Rgb& colour, float alpha);

    // 8-bit RGB PNG; empty when encoding failed.
    std::string EncodePng() const;

  private:
    int width;
    int height;
    std::vector<Rgb> pixels;
};

// Smooth 1-D value noise in [0, 1], for ridges and curtains.
float Noise1(float x, uint32_t seed);
// Sum of octaves of Noise1, in [0, 1].
float Fractal1(float x, uint32_t seed, int octaves);

} // namespace demo
