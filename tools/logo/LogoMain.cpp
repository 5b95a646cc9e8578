// norvia_logo <wordmark font.ttf> <caption font.ttf> <output.rgba>
// norvia_logo --icon <output.ico>
//
// Draws the logo: on white, a round accent badge with a white download arrow, then the wordmark
// "NORVIA" in the accent colour over the caption "DOWNLOAD MANAGER" in grey, the group centred.
// Writes 340 x 60 RGBA pixels, rows top to bottom, fully opaque. With --icon it draws the badge
// alone, filling a transparent square, at each size of the program's icon. The output is
// deterministic.

#include "IconFile.h"
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

// Straight (not premultiplied) colour with coverage; the logo starts on opaque white, the icon on
// nothing.
class Canvas
{
public:
    Canvas(int width, int height, float startAlpha) : pixels(width * height, Pixel{kWhite, startAlpha}) {}

    // Porter-Duff "over": on an opaque pixel this is a plain blend towards the colour.
    void Composite(const Layer& coverage, Rgb colour)
    {
        for (size_t i = 0; i < pixels.size(); ++i)
        {
            const float a = std::clamp(coverage[i], 0.0f, 1.0f);
            Pixel& p = pixels[i];
            const float alpha = a + p.alpha * (1 - a);
            if (alpha <= 0)
                continue;
            const float keep = p.alpha * (1 - a) / alpha;
            p.colour = {colour.r * (a / alpha) + p.colour.r * keep,
                        colour.g * (a / alpha) + p.colour.g * keep,
                        colour.b * (a / alpha) + p.colour.b * keep};
            p.alpha = alpha;
        }
    }

    std::vector<unsigned char> Rgba() const
    {
        std::vector<unsigned char> out;
        out.reserve(pixels.size() * 4);
        for (const Pixel& p : pixels)
        {
            out.push_back(static_cast<unsigned char>(std::lround(p.colour.r)));
            out.push_back(static_cast<unsigned char>(std::lround(p.colour.g)));
            out.push_back(static_cast<unsigned char>(std::lround(p.colour.b)));
            out.push_back(static_cast<unsigned char>(std::lround(p.alpha * 255)));
        }
        return out;
    }

private:
    struct Pixel
    {
        Rgb colour;
        float alpha;
    };
    std::vector<Pixel> pixels;
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

template <typename Distance> Layer Shape(Distance distance, int width = kWidth, int height = kHeight)
{
    Layer layer(width * height, 0.0f);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            layer[y * width + x] = std::clamp(0.5f - distance(x + 0.5f, y + 0.5f), 0.0f, 1.0f);
    return layer;
}

// The badge's arrow: a stem, a chevron whose arms meet at the stem's foot, and a tray line under
// it, laid out for a badge of radius 21 and scaled to `radius`. Strokes never get thinner than
// `minHalfWidth`, so that the arrow stays readable in a small icon.
float Arrow(float x, float y, float cx, float cy, float radius, float minHalfWidth)
{
    const float k = radius / 21.0f;
    const float line = std::max(2.2f * k, minHalfWidth), trayLine = std::max(1.8f * k, minHalfWidth);
    const float stem = Capsule(x, y, cx, cy - 11.5f * k, cx, cy + 4.0f * k, line);
    const float left = Capsule(x, y, cx - 7.5f * k, cy - 3.0f * k, cx, cy + 4.5f * k, line);
    const float right = Capsule(x, y, cx + 7.5f * k, cy - 3.0f * k, cx, cy + 4.5f * k, line);
    const float tray = Capsule(x, y, cx - 9.5f * k, cy + 11.0f * k, cx + 9.5f * k, cy + 11.0f * k, trayLine);
    return std::min({stem, left, right, tray});
}

// The badge alone, filling a size x size square on transparency.
std::vector<unsigned char> DrawIcon(int size)
{
    const float centre = size / 2.0f, radius = size / 2.0f;
    // At 16 and 24 pixels the scaled strokes would be thinner than a pixel and blur away.
    const float minHalfWidth = size <= 24 ? 0.8f : 0.0f;
    Canvas canvas(size, size, 0.0f);
    canvas.Composite(
        Shape([&](float x, float y) { return Circle(x, y, centre, centre, radius); }, size, size), kAccent);
    canvas.Composite(Shape([&](float x, float y)
                           { return Arrow(x, y, centre, centre, radius, minHalfWidth); },
                           size, size),
                     kWhite);
    return canvas.Rgba();
}

int WriteIcon(const char* path)
{
    std::vector<nd::logo::IconImage> images;
    for (int size : {16, 24, 32, 48, 256})
        images.push_back({size, DrawIcon(size)});
    if (!nd::logo::WriteIconFile(path, images))
    {
        std::fprintf(stderr, "norvia_logo: cannot write %s\n", path);
        return 1;
    }
    return 0;
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
    if (argc == 3 && std::string(argv[1]) == "--icon")
        return WriteIcon(argv[2]);
    if (argc != 4)
    {
        std::fprintf(
            stderr, "usage: %s <wordmark font> <caption font> <output.rgba>\n       %s --icon <output.ico>\n",
            argv[0], argv[0]);
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

    Canvas canvas(kWidth, kHeight, 1.0f);
    const float cx = groupLeft + badgeRadius, cy = kHeight / 2.0f;
    canvas.Composite(Shape([&](float x, float y) { return Circle(x, y, cx, cy, badgeRadius); }), kAccent);
    canvas.Composite(Shape([&](float x, float y) { return Arrow(x, y, cx, cy, badgeRadius, 0.0f); }), kWhite);

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
