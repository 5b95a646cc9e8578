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
    // Artwork is a few hundred pixels a side; anything past this is refused before decoding, so a
    // bad download cannot make the decoder allocate gigabytes for a texture no GPU would take.
    static constexpr int kMaxSide = 8192;

    // Empty (Valid() false) when the bytes are empty, not an image the decoder knows, or larger
    // than kMaxSide in either direction.
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
