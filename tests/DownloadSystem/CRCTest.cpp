#include "DownloadSystem/CRC.h"
#include "DownloadSystem/CrcClmul.h"
#include "DownloadSystem/CrcSlicing.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

using DownloadSystem::CRC;
namespace CrcClmul = DownloadSystem::CrcClmul;
namespace CrcSlicing = DownloadSystem::CrcSlicing;

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
    EXPECT_EQ(crc.Compute(bytes.data(), static_cast<int32_t>(bytes.size())),
              ZlibCrc(bytes.data(), bytes.size()));
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

// Every method is run directly, whichever one CRC::Compute picks on this machine, and checked
// against zlib in the register form (inverted on the way in and out). The carry-less kernels
// this processor lacks are skipped.
class CrcMethods : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CRC crc;
        crc.Init();
        tables[0] = crc.Table();
        CrcSlicing::FillSlices(tables);
        for (unsigned width : {CrcClmul::kNarrow, CrcClmul::kWide})
        {
            if (CrcClmul::SupportedWidth() >= width)
                clmulWidths.push_back(width);
        }
    }

    uint32_t Slicing(uint32_t crc, const uint8_t* data, size_t length) const
    {
        return ~CrcSlicing::Update(tables, ~crc, data, length);
    }
    static uint32_t Clmul(unsigned width, uint32_t crc, const uint8_t* data, size_t length)
    {
        return ~CrcClmul::Update(~crc, data, length, width);
    }
    static uint32_t Zlib(uint32_t crc, const uint8_t* data, size_t length)
    {
        return static_cast<uint32_t>(crc32(crc, data, static_cast<uInt>(length)));
    }

    CrcSlicing::Tables tables{};
    std::vector<unsigned> clmulWidths;
};

TEST_F(CrcMethods, TableMethodMatchesZlibAtAllOffsetsAndLengths)
{
    const std::vector<uint8_t> bytes = RandomBytes(700, 21);
    for (size_t offset = 0; offset < 16; ++offset)
    {
        for (size_t length = 0; length + offset <= 600; length += 1 + length / 64)
        {
            ASSERT_EQ(Slicing(0, bytes.data() + offset, length), Zlib(0, bytes.data() + offset, length))
                << "offset " << offset << " length " << length;
        }
    }
}

TEST_F(CrcMethods, CarrylessMultiplicationMatchesZlibAtAllOffsetsAndLengths)
{
    if (clmulWidths.empty())
        GTEST_SKIP() << "this processor has no carry-less multiplication";
    // Every length around the set-up limits (64 and 256 bytes) and the 16-byte blocks, at every
    // alignment.
    const std::vector<uint8_t> bytes = RandomBytes(1100, 22);
    for (unsigned width : clmulWidths)
    {
        for (size_t offset = 0; offset < 16; ++offset)
        {
            for (size_t length = 0; length + offset <= 1040; ++length)
            {
                ASSERT_EQ(Clmul(width, 0, bytes.data() + offset, length),
                          Zlib(0, bytes.data() + offset, length))
                    << "width " << width << " offset " << offset << " length " << length;
            }
        }
    }
}

TEST_F(CrcMethods, EveryMethodContinuesARunningValue)
{
    const std::vector<uint8_t> bytes = RandomBytes(5000, 23);
    std::mt19937 generator(24);
    for (int round = 0; round < 200; ++round)
    {
        const uint32_t previous = generator();
        const size_t length = generator() % bytes.size();
        const uint32_t expected = Zlib(previous, bytes.data(), length);
        ASSERT_EQ(Slicing(previous, bytes.data(), length), expected) << "round " << round;
        for (unsigned width : clmulWidths)
            ASSERT_EQ(Clmul(width, previous, bytes.data(), length), expected) << "width " << width;
    }
}

TEST_F(CrcMethods, LargeBuffersAgreeAcrossMethods)
{
    // Runs of equal bytes stress the folding differently from random data.
    std::vector<uint8_t> bytes = RandomBytes(8 * 1024 * 1024 + 13, 25);
    std::fill(bytes.begin() + 1000, bytes.begin() + 300000, 0xFF);
    std::fill(bytes.begin() + 400000, bytes.begin() + 900000, 0x00);
    const uint32_t expected = Zlib(0, bytes.data(), bytes.size());
    EXPECT_EQ(Slicing(0, bytes.data(), bytes.size()), expected);
    for (unsigned width : clmulWidths)
        EXPECT_EQ(Clmul(width, 0, bytes.data(), bytes.size()), expected) << "width " << width;
    CRC crc;
    crc.Init();
    EXPECT_EQ(crc.Extend(0, bytes.data(), bytes.size()), expected);
}

TEST_F(CrcMethods, OneChangedBitChangesEveryMethodsResult)
{
    std::vector<uint8_t> bytes = RandomBytes(4096, 26);
    const uint32_t before = Zlib(0, bytes.data(), bytes.size());
    for (size_t position : {size_t{0}, size_t{15}, size_t{64}, size_t{2049}, bytes.size() - 1})
    {
        bytes[position] ^= 0x10;
        const uint32_t expected = Zlib(0, bytes.data(), bytes.size());
        ASSERT_NE(expected, before);
        EXPECT_EQ(Slicing(0, bytes.data(), bytes.size()), expected) << "position " << position;
        for (unsigned width : clmulWidths)
            EXPECT_EQ(Clmul(width, 0, bytes.data(), bytes.size()), expected) << "width " << width;
        bytes[position] ^= 0x10;
    }
}
