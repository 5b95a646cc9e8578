// The .ico container of the Windows program's icon.
#pragma once

#include <string>
#include <vector>

namespace nd::logo
{

struct IconImage
{
    int size;                        // width and height in pixels, 1 to 256
    std::vector<unsigned char> rgba; // size x size straight-alpha pixels, rows top to bottom
};

// Writes the images in the given order. Up to 48 pixels they are stored as 32-bit bitmaps (what
// every Windows version reads); larger ones as PNG, which keeps the 256-pixel image small.
bool WriteIconFile(const std::string& path, const std::vector<IconImage>& images);

} // namespace nd::logo
