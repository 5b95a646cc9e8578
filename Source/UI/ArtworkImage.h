#pragma once
// An artwork image decoded from its encoded bytes (PNG, JPEG, ...) into RGBA rows, whatever
// channels the file holds. Owns the decoder's pixel block; move-only.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace nd
{

class ArtworkImage
{
public:
    // Empty (Valid() false) when the bytes are empty or not an image the decoder knows.
    static ArtworkImage Decode(const uint8_t* bytes, size_t size);

    bool Valid() const { return pixels != nullptr; }
    const uint8_t* Pixels() const { return pixels.get(); }
    int Width() const { return width; }
    int Height() const { return height; }

private:
    struct Release
    {
        void operator()(uint8_t* block) const;
    };
    std::unique_ptr<uint8_t, Release> pixels;
    int width = 0;
    int height = 0;
};

} // namespace nd
