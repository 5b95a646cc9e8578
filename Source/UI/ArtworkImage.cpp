#include "UI/ArtworkImage.h"

#include <stb_image.h>

#include <limits>

namespace nd
{

void ArtworkImage::Release::operator()(uint8_t* block) const
{
    stbi_image_free(block);
}

ArtworkImage ArtworkImage::Decode(const uint8_t* bytes, size_t size)
{
    ArtworkImage image;
    // The decoder takes an int length; a larger buffer cannot be an artwork image of ours.
    if (bytes == nullptr || size == 0 || size > static_cast<size_t>(std::numeric_limits<int>::max()))
        return image;
    int channels = 0;
    if (!stbi_info_from_memory(bytes, static_cast<int>(size), &image.width, &image.height, &channels) ||
        image.width > kMaxSide || image.height > kMaxSide)
    {
        image.width = image.height = 0;
        return image;
    }
    uint8_t* block = stbi_load_from_memory(bytes, static_cast<int>(size), &image.width, &image.height,
                                           &channels, STBI_rgb_alpha);
    if (block == nullptr || image.width <= 0 || image.height <= 0)
    {
        stbi_image_free(block);
        image.width = image.height = 0;
        return image;
    }
    image.pixels.reset(block);
    return image;
}

} // namespace nd
