#include "UI/ArtworkImage.h"

#include "TestImages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

using screentest::EncodePng;

TEST(ArtworkDecoding, RgbImageComesOutAsOpaqueRgba)
{
    // 2 x 1: red, blue.
    const std::vector<uint8_t> png = EncodePng(2, 1, 3, {255, 0, 0, 0, 0, 255});
    const nd::ArtworkImage image = nd::ArtworkImage::Decode(png.data(), png.size());
    ASSERT_TRUE(image.Valid());
    EXPECT_EQ(image.Width(), 2);
    EXPECT_EQ(image.Height(), 1);
    const std::vector<uint8_t> rgba(image.Pixels(), image.Pixels() + 8);
    EXPECT_EQ(rgba, (std::vector<uint8_t>{255, 0, 0, 255, 0, 0, 255, 255}));
}

TEST(ArtworkDecoding, GreyAlphaImageKeepsRowsTopToBottom)
{
    // 1 x 2: a white half-transparent pixel above a black opaque one.
    const std::vector<uint8_t> png = EncodePng(1, 2, 2, {255, 128, 0, 255});
    const nd::ArtworkImage image = nd::ArtworkImage::Decode(png.data(), png.size());
    ASSERT_TRUE(image.Valid());
    const std::vector<uint8_t> rgba(image.Pixels(), image.Pixels() + 8);
    EXPECT_EQ(rgba, (std::vector<uint8_t>{255, 255, 255, 128, 0, 0, 0, 255}));
}

TEST(ArtworkDecoding, EmptyOrBrokenBytesGiveNoImage)
{
    // Init keeps an empty buffer for an image it could not fetch.
    EXPECT_FALSE(nd::ArtworkImage::Decode(nullptr, 0).Valid());
    const std::string html = "<html>404 Not Found</html>";
    EXPECT_FALSE(
        nd::ArtworkImage::Decode(reinterpret_cast<const uint8_t*>(html.data()), html.size()).Valid());
    // A PNG cut in half is not an image either.
    const std::vector<uint8_t> png = EncodePng(16, 16, 4, std::vector<uint8_t>(16 * 16 * 4, 7));
    const nd::ArtworkImage cut = nd::ArtworkImage::Decode(png.data(), png.size() / 2);
    EXPECT_FALSE(cut.Valid());
    EXPECT_EQ(cut.Width(), 0);
}

TEST(ArtworkDecoding, OversizedImageIsRefusedBeforeDecoding)
{
    const std::vector<uint8_t> wide = EncodePng(nd::ArtworkImage::kMaxSide + 1, 1, 1,
                                                std::vector<uint8_t>(nd::ArtworkImage::kMaxSide + 1, 9));
    EXPECT_FALSE(nd::ArtworkImage::Decode(wide.data(), wide.size()).Valid());
    const std::vector<uint8_t> largest =
        EncodePng(nd::ArtworkImage::kMaxSide, 1, 1, std::vector<uint8_t>(nd::ArtworkImage::kMaxSide, 9));
    EXPECT_TRUE(nd::ArtworkImage::Decode(largest.data(), largest.size()).Valid());
}

TEST(ArtworkDecoding, MovedImageOwnsThePixels)
{
    const std::vector<uint8_t> png = EncodePng(1, 1, 4, {1, 2, 3, 4});
    nd::ArtworkImage first = nd::ArtworkImage::Decode(png.data(), png.size());
    nd::ArtworkImage second = std::move(first);
    ASSERT_TRUE(second.Valid());
    EXPECT_EQ(second.Pixels()[3], 4);
    second = nd::ArtworkImage::Decode(png.data(), png.size());
    EXPECT_EQ(second.Pixels()[0], 1);
}

} // namespace
