// norvia_logo <wordmark font.ttf> <caption font.ttf> <output.rgba>
//
// Draws the logo: on white, a round accent badge with a white download arrow, then the wordmark
// "NORVIA" in the accent colour over the caption "DOWNLOAD MANAGER" in grey, the group centred.
// Writes 340 x 60 RGBA pixels, rows top to bottom, fully opaque. The output is deterministic.

#include "stb_truetype.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace
{

constexpr int kWidth = 340;
constexpr int kHeight = 60;

struct Rgb
{
    float r, g, b;
};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kAccent{65, 117, 139};
constexpr Rgb kCaption{112, 124, 131};

// Coverage 0..1 per pixel of one layer, composited in drawing order.
using Layer = std::vector<float>;

class Canvas
{
  public:
    Canvas() : pixels(kWidth * kHeight, kWhite) {}

    void Composite(const Layer& coverage, Rgb colour)
    {
        for (size_t i = 0; i < pixels.size(); ++i)
        {
            const float a = std::clamp(coverage[i], 0.0f, 1.0f);
            pixels[i].r += (colour.r - pixels[i].r) * a;
            pixels[i].g += (colour.g - pixels[i].g) * a;
            pixels[i].b += (colour.b - pixels[i].b) * a;
        }
    }

    std::vector<unsigned char> Rgba() const
    {
        std::vector<unsigned char> out;
        out.reserve(pixels.size() * 4);
        for (const Rgb& p : pixels)
        {
            out.push_back(static_cast<unsigned char>(std::lround(p.r)));
            out.push_back(static_cast<unsigned char>(std::lround(p.g)));
            out.push_back(static_cast<unsigned char>(std::lround(p.b)));
            out.push_back(255);
        }
        return out;
    }

  private:
    std::vector<Rgb> pixels;
};

// Signed distances in pixels (negative inside), sampled at pixel centres.
float Circle(float px, float py, float cx, float cy, float r)
{
    return std::hypot(px - cx, py - cy) - r;
}

float Capsule(float px, float py, float ax, float ay, float bx, float by, float halfWidth)
{
    const float dx = bx - ax, dy = by - ay;
    const float t = std::clamp(((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy), 0.0f, 1.0f);
    return std::hypot(px - (ax + t * dx), py - (ay + t * dy)) - halfWidth;
}

template <typename Distance> Layer Shape(Distance distance)
{
    Layer layer(kWidth * kHeight, 0.0f);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            layer[y * kWidth + x] = std::clamp(0.5f - distance(x + 0.5f, y + 0.5f), 0.0f, 1.0f);
    return layer;
}

class Font
{
  public:
    bool Load(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return !data.empty() &&
               stbtt_InitFont(&info, data.data(), stbtt_GetFontOffsetForIndex(data.data(), 0));
    }

    // Width in pixels of text at pixelHeight with extra tracking between letters.
    float Measure(const std::string& text, float pixelHeight, float tracking) const
    {
        return Walk(text, pixelHeight, tracking, 0, 0, nullptr);
    }

    // Draws text with its baseline at baselineY, starting at x; returns the pen position after it.
    float Draw(Layer& layer, const std::string& text, float pixelHeight, float tracking, float x,
               int baselineY) const
    {
        return Walk(text, pixelHeight, tracking, x, baselineY, &layer);
    }

    float CapHeight(float pixelHeight) const
    {
        int x0, y0, x1, y1;
        stbtt_GetCodepointBox(&info, 'H', &x0, &y0, &x1, &y1);
        return y1 * stbtt_ScaleForPixelHeight(&info, pixelHeight);
    }

  private:
    float Walk(const std::string& text, float pixelHeight, float tracking, float x, int baselineY,
               Layer* layer) const
    {
        const float scale = stbtt_ScaleForPixelHeight(&info, pixelHeight);
        const float start = x;
        for (size_t i = 0; i < text.size(); ++i)
        {
            const int c = static_cast<unsigned char>(text[i]);
            int advance, bearing;
            stbtt_GetCodepointHMetrics(&info, c, &advance, &bearing);
            if (layer != nullptr)
                Blit(*layer, c, scale, x, baselineY);
            x += advance * scale;
            if (i + 1 < text.size())
                x +=
                    stbtt_GetCodepointKernAdvance(&info, c, static_cast<unsigned char>(text[i + 1])) * scale +
                    tracking;
        }
        return x - start;
    }

    void Blit(Layer& layer, int c, float scale, float x, int baselineY) const
    {
        const float shift = x - std::floor(x);
        int w, h, xoff, yoff;
        unsigned char* bitmap =
            stbtt_GetCodepointBitmapSubpixel(&info, scale, scale, shift, 0.0f, c, &w, &h, &xoff, &yoff);
        if (bitmap == nullptr)
            return;
        const int left = static_cast<int>(std::floor(x)) + xoff;
        const int top = baselineY + yoff;
        for (int row = 0; row < h; ++row)
            for (int col = 0; col < w; ++col)
            {
                const int px = left + col, py = top + row;
                if (px < 0 || py < 0 || px >= kWidth || py >= kHeight)
                    continue;
                float& cell = layer[py * kWidth + px];
                cell = std::max(cell, bitmap[row * w + col] / 255.0f);
            }
        stbtt_FreeBitmap(bitmap, nullptr);
    }

    std::vector<unsigned char> data;
    stbtt_fontinfo info{};
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4)
    {
        std::fprintf(stderr, "usage: %s <wordmark font> <caption font> <output.rgba>\n", argv[0]);
        return 2;
    }
    Font wordmarkFont, captionFont;
    if (!wordmarkFont.Load(argv[1]) || !captionFont.Load(argv[2]))
    {
        std::fprintf(stderr, "norvia_logo: cannot load the fonts\n");
        return 1;
    }

    const std::string wordmark = "NORVIA", caption = "DOWNLOAD MANAGER";
    const float wordmarkSize = 34.0f, wordmarkTracking = 4.0f;
    const float captionSize = 10.5f, captionTracking = 2.1f;
    const float badgeRadius = 21.0f, gap = 14.0f, captionGap = 7.0f;

    // Centre the group (badge, gap, widest text line) horizontally and the two lines vertically.
    const float wordmarkWidth = wordmarkFont.Measure(wordmark, wordmarkSize, wordmarkTracking);
    const float captionWidth = captionFont.Measure(caption, captionSize, captionTracking);
    const float textWidth = std::max(wordmarkWidth, captionWidth);
    const float groupLeft = std::floor((kWidth - (2 * badgeRadius + gap + textWidth)) / 2);
    const float wordmarkCap = wordmarkFont.CapHeight(wordmarkSize);
    const float captionCap = captionFont.CapHeight(captionSize);
    const float blockTop = (kHeight - (wordmarkCap + captionGap + captionCap)) / 2;
    const int wordmarkBaseline = static_cast<int>(std::lround(blockTop + wordmarkCap));
    const int captionBaseline = static_cast<int>(std::lround(wordmarkBaseline + captionGap + captionCap));

    Canvas canvas;
    const float cx = groupLeft + badgeRadius, cy = kHeight / 2.0f;
    canvas.Composite(Shape([&](float x, float y) { return Circle(x, y, cx, cy, badgeRadius); }), kAccent);
    // The arrow: a stem, a chevron whose arms meet at the stem's foot, and a tray line under it.
    canvas.Composite(Shape(
                         [&](float x, float y)
                         {
                             const float stem = Capsule(x, y, cx, cy - 11.5f, cx, cy + 4.0f, 2.2f);
                             const float left = Capsule(x, y, cx - 7.5f, cy - 3.0f, cx, cy + 4.5f, 2.2f);
                             const float right = Capsule(x, y, cx + 7.5f, cy - 3.0f, cx, cy + 4.5f, 2.2f);
                             const float tray =
                                 Capsule(x, y, cx - 9.5f, cy + 11.0f, cx + 9.5f, cy + 11.0f, 1.8f);
                             return std::min({stem, left, right, tray});
                         }),
                     kWhite);

    const float textLeft = groupLeft + 2 * badgeRadius + gap;
    Layer wordmarkLayer(kWidth * kHeight, 0.0f), captionLayer(kWidth * kHeight, 0.0f);
    wordmarkFont.Draw(wordmarkLayer, wordmark, wordmarkSize, wordmarkTracking,
                      textLeft + (textWidth - wordmarkWidth) / 2, wordmarkBaseline);
    captionFont.Draw(captionLayer, caption, captionSize, captionTracking,
                     textLeft + (textWidth - captionWidth) / 2, captionBaseline);
    canvas.Composite(wordmarkLayer, kAccent);
    canvas.Composite(captionLayer, kCaption);

    const std::vector<unsigned char> rgba = canvas.Rgba();
    std::ofstream out(argv[3], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(rgba.data()), static_cast<std::streamsize>(rgba.size()));
    out.close();
    if (!out)
    {
        std::fprintf(stderr, "norvia_logo: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
