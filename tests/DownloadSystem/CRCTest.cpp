#include "DownloadSystem/CRC.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

using DownloadSystem::CRC;

namespace
{

uint32_t CrcOf(const std::string& text)
{
    CRC crc;
    crc.Init();
    return crc.Compute(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int32_t>(text.size()));
}

std::vector<uint8_t> RandomBytes(size_t count, uint32_t seed)
{
    std::mt19937 generator(seed);
    std::vector<uint8_t> bytes(count);
    for (uint8_t& byte : bytes)
        byte = static_cast<uint8_t>(generator());
    return bytes;
}

uint32_t ZlibCrc(const uint8_t* data, size_t length)
{
    return static_cast<uint32_t>(crc32(0L, data, static_cast<uInt>(length)));
}

} // namespace

TEST(CrcCheckValues, KnownTextsGiveTheStandardValues)
{
    EXPECT_EQ(CrcOf("123456789"), 0xCBF43926u);
    EXPECT_EQ(CrcOf("abc"), 0x352441C2u);
    EXPECT_EQ(CrcOf(""), 0u);
    EXPECT_NE(CrcOf("123456780"), 0xCBF43926u);
    // As the file list writes them: signed decimal.
    EXPECT_EQ(static_cast<int32_t>(CrcOf("123456789")), -873187034);
    EXPECT_EQ(static_cast<int32_t>(CrcOf("abc")), 891568578);
}

TEST(CrcCheckValues, NullOrNonPositiveLengthGivesZero)
{
    CRC crc;
    crc.Init();
    const uint8_t byte = 'a';
    EXPECT_EQ(crc.Compute(nullptr, 5), 0u);
    EXPECT_EQ(crc.Compute(&byte, 0), 0u);
    EXPECT_EQ(crc.Compute(&byte, -1), 0u);
}

TEST(CrcTable, InitBuildsTheReflectedTable)
{
    CRC crc;
    crc.Init();
    EXPECT_EQ(crc.Table()[0], 0u);
    EXPECT_EQ(crc.Table()[1], 0x77073096u);
    EXPECT_EQ(crc.Table()[128], 0xEDB88320u);
    EXPECT_EQ(crc.Table()[255], 0x2D02EF8Du);
    const z_crc_t* reference = get_crc_table();
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(crc.Table()[i], reference[i]) << "entry " << i;
}

TEST(CrcTable, ComputeWithoutInitStillGivesTheRightValue)
{
    CRC crc;
    const std::string text = "123456789";
    EXPECT_EQ(crc.Compute(reinterpret_cast<const uint8_t*>(text.data()), 9), 0xCBF43926u);
}

TEST(CrcReflect, ReversesTheLowBitsAndDropsTheRest)
{
    EXPECT_EQ(CRC::Reflect(0x1, 8), 0x80u);
    EXPECT_EQ(CRC::Reflect(0x80, 8), 0x1u);
    EXPECT_EQ(CRC::Reflect(0x3, 4), 0xCu);
    EXPECT_EQ(CRC::Reflect(0xF01, 8), 0x80u);
    EXPECT_EQ(CRC::Reflect(0x04C11DB7, 32), 0xEDB88320u);
    EXPECT_EQ(CRC::Reflect(0xFFFFFFFF, 32), 0xFFFFFFFFu);
    EXPECT_EQ(CRC::Reflect(0x12345678, 0), 0u);
}

// The word-at-a-time path must agree with the byte-wise definition at every alignment and for
// every tail length.
TEST(CrcFastPath, AgreesWithZlibAtAllOffsetsAndLengths)
{
    std::vector<uint8_t> bytes = RandomBytes(300, 7);
    CRC crc;
    crc.Init();
    for (size_t offset = 0; offset < 9; ++offset)
    {
        for (size_t length = 0; length + offset <= 200; ++length)
        {
            ASSERT_EQ(crc.Compute(bytes.data() + offset, static_cast<int32_t>(length)),
                      ZlibCrc(bytes.data() + offset, length))
                << "offset " << offset << " length " << length;
        }
    }
}

TEST(CrcFastPath, LargeBufferMatchesZlib)
{
    std::vector<uint8_t> bytes = RandomBytes(3 * 1024 * 1024 + 5, 11);
    CRC crc;
    crc.Init();
    EXPECT_EQ(crc.Compute(bytes.data(), static_cast<int32_t>(bytes.size())), ZlibCrc(bytes.data(), bytes.size()));
}

TEST(CrcExtend, ContinuingOverRandomSplitsEqualsComputeOverTheWhole)
{
    std::vector<uint8_t> bytes = RandomBytes(100000, 3);
    CRC crc;
    crc.Init();
    const uint32_t whole = crc.Compute(bytes.data(), static_cast<int32_t>(bytes.size()));
    std::mt19937 generator(5);
    for (int round = 0; round < 50; ++round)
    {
        uint32_t running = 0;
        size_t position = 0;
        while (position < bytes.size())
        {
            size_t piece = std::min<size_t>(bytes.size() - position, generator() % 5000);
            running = crc.Extend(running, bytes.data() + position, piece);
            position += piece;
        }
        ASSERT_EQ(running, whole) << "round " << round;
    }
}

TEST(CrcExtend, StartsFromZeroAndIgnoresEmptyPieces)
{
    const std::string text = "123456789";
    const auto* data = reinterpret_cast<const uint8_t*>(text.data());
    CRC crc;
    crc.Init();
    EXPECT_EQ(crc.Extend(0, data, 9), crc.Compute(data, 9));
    uint32_t partial = crc.Extend(0, data, 4);
    EXPECT_EQ(crc.Extend(partial, nullptr, 0), partial);
    EXPECT_EQ(crc.Extend(partial, data + 4, 0), partial);
    EXPECT_EQ(crc.Extend(partial, data + 4, 5), 0xCBF43926u);
}

TEST(CrcObject, OneObjectServesManyBuffers)
{
    CRC crc;
    crc.Init();
    const std::string a = "abc", b = "123456789";
    EXPECT_EQ(crc.Compute(reinterpret_cast<const uint8_t*>(a.data()), 3), 0x352441C2u);
    EXPECT_EQ(crc.Compute(reinterpret_cast<const uint8_t*>(b.data()), 9), 0xCBF43926u);
    EXPECT_EQ(crc.Compute(reinterpret_cast<const uint8_t*>(a.data()), 3), 0x352441C2u);
}
