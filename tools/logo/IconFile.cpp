#include "IconFile.h"

#include "stb_image_write.h"

#include <cstdint>
#include <fstream>

namespace nd::logo
{
namespace
{

using Bytes = std::vector<unsigned char>;

void Put16(Bytes& out, uint32_t value)
{
    out.push_back(static_cast<unsigned char>(value));
    out.push_back(static_cast<unsigned char>(value >> 8));
}

void Put32(Bytes& out, uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

// A DIB as icons hold it: the header states twice the height (colour rows, then the AND mask),
// rows bottom to top, BGRA. The mask stays all zero: the alpha channel decides.
Bytes Bitmap(const IconImage& image)
{
    const uint32_t size = static_cast<uint32_t>(image.size);
    const uint32_t maskRow = (size + 31) / 32 * 4;
    Bytes out;
    Put32(out, 40);
    Put32(out, size);
    Put32(out, size * 2);
    Put16(out, 1);
    Put16(out, 32);
    Put32(out, 0); // BI_RGB
    Put32(out, size * size * 4 + maskRow * size);
    for (int i = 0; i < 4; ++i)
        Put32(out, 0);
    for (uint32_t row = size; row-- > 0;)
        for (uint32_t col = 0; col < size; ++col)
        {
            const unsigned char* p = &image.rgba[(row * size + col) * 4];
            out.insert(out.end(), {p[2], p[1], p[0], p[3]});
        }
    out.resize(out.size() + maskRow * size, 0);
    return out;
}

Bytes Png(const IconImage& image)
{
    Bytes out;
    stbi_write_png_to_func(
        [](void* context, void* data, int length)
        {
            auto* bytes = static_cast<unsigned char*>(data);
            static_cast<Bytes*>(context)->insert(static_cast<Bytes*>(context)->end(), bytes, bytes + length);
        },
        &out, image.size, image.size, 4, image.rgba.data(), image.size * 4);
    return out;
}

} // namespace

bool WriteIconFile(const std::string& path, const std::vector<IconImage>& images)
{
    std::vector<Bytes> bodies;
    for (const IconImage& image : images)
    {
        if (image.size < 1 || image.size > 256 ||
            image.rgba.size() != static_cast<size_t>(image.size) * image.size * 4)
            return false;
        bodies.push_back(image.size > 48 ? Png(image) : Bitmap(image));
        if (bodies.back().empty())
            return false;
    }

    Bytes out;
    Put16(out, 0);
    Put16(out, 1); // icon
    Put16(out, static_cast<uint32_t>(images.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
    for (size_t i = 0; i < images.size(); ++i)
    {
        // 256 is written as 0 in the one-byte width and height.
        out.push_back(static_cast<unsigned char>(images[i].size & 0xFF));
        out.push_back(static_cast<unsigned char>(images[i].size & 0xFF));
        out.push_back(0); // no palette
        out.push_back(0);
        Put16(out, 1);  // planes
        Put16(out, 32); // bits per pixel
        Put32(out, static_cast<uint32_t>(bodies[i].size()));
        Put32(out, offset);
        offset += static_cast<uint32_t>(bodies[i].size());
    }
    for (const Bytes& body : bodies)
        out.insert(out.end(), body.begin(), body.end());

    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    return static_cast<bool>(file.flush());
}

} // namespace nd::logo
