#include "DownloadSystem/LocalFiles.h"

#include "DownloadSystem/CRC.h"
#include "Platform/FileIo.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>

namespace DownloadSystem
{
namespace
{

TEST(LocalFileName, SuffixGoesBeforeTheExtension)
{
    EXPECT_EQ(LocalFiles::InsertSuffix(u"Setup.exe", u"_ABC"), u"Setup_ABC.exe");
    EXPECT_EQ(LocalFiles::InsertSuffix(u"Setup-1a.bin", u"_ABC"), u"Setup_ABC-1a.bin");
    // ".exe" anywhere in the name selects the 4-character rule.
    EXPECT_EQ(LocalFiles::InsertSuffix(u"a.exe.txt", u"_X"), u"a.exe_X.txt");
}

TEST(LocalFileName, WholePathGivesTheSameNameAsTheNameAlone)
{
    EXPECT_EQ(LocalFiles::InsertSuffix(u"/dl/Setup-1a.bin", u"_ABC"),
              u"/dl/" + LocalFiles::InsertSuffix(u"Setup-1a.bin", u"_ABC"));
    EXPECT_EQ(LocalFiles::InsertSuffix(u"/dl/Setup.exe", u"_ABC"), u"/dl/Setup_ABC.exe");
}

TEST(LocalFileName, ShortNamesGetTheSuffixInFront)
{
    EXPECT_EQ(LocalFiles::InsertSuffix(u"a.bin", u"_X"), u"_Xa.bin");
    EXPECT_EQ(LocalFiles::InsertSuffix(u"", u"_X"), u"_X");
    EXPECT_EQ(LocalFiles::InsertSuffix(u".exe", u"_X"), u"_X.exe");
}

class FileCrcTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/norvia-crc-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    std::string Write(const std::string& name, const std::string& content)
    {
        const std::string path = folder + "/" + name;
        EXPECT_TRUE(Platform::WriteWholeFile(path, content.data(), content.size()));
        return path;
    }

    std::string folder;
};

TEST_F(FileCrcTest, CheckValueOfTheDigits)
{
    uint32_t crc = 1;
    uint64_t length = 0;
    int error = -1;
    EXPECT_EQ(LocalFiles::ComputeFileCrc(Write("d", "123456789"), crc, length, error),
              LocalFiles::CrcStatus::Computed);
    EXPECT_EQ(crc, 0xCBF43926u);
    EXPECT_EQ(length, 9u);
    EXPECT_EQ(error, 0);
}

TEST_F(FileCrcTest, EmptyFileHasCrcZero)
{
    uint32_t crc = 1;
    uint64_t length = 1;
    int error = 0;
    EXPECT_EQ(LocalFiles::ComputeFileCrc(Write("e", ""), crc, length, error),
              LocalFiles::CrcStatus::Computed);
    EXPECT_EQ(crc, 0u);
    EXPECT_EQ(length, 0u);
}

TEST_F(FileCrcTest, FileLargerThanOnePieceMatchesTheWholeBufferCrc)
{
    std::string content(LocalFiles::kCrcPieceSize * 2 + 12345, '\0');
    std::mt19937 random(7);
    for (char& c : content)
        c = static_cast<char>(random());
    CRC reference;
    reference.Init();
    const uint32_t expected = reference.Compute(reinterpret_cast<const uint8_t*>(content.data()),
                                                static_cast<int32_t>(content.size()));

    uint32_t crc = 0;
    uint64_t length = 0;
    int error = 0;
    EXPECT_EQ(LocalFiles::ComputeFileCrc(Write("big", content), crc, length, error),
              LocalFiles::CrcStatus::Computed);
    EXPECT_EQ(crc, expected);
    EXPECT_EQ(length, content.size());
}

TEST_F(FileCrcTest, MissingFileIsNotOpened)
{
    uint32_t crc = 0;
    uint64_t length = 0;
    int error = 0;
    EXPECT_EQ(LocalFiles::ComputeFileCrc(folder + "/none", crc, length, error),
              LocalFiles::CrcStatus::NotOpened);
    EXPECT_NE(error, 0);
}

TEST_F(FileCrcTest, FolderCannotBeRead)
{
    uint32_t crc = 0;
    uint64_t length = 0;
    int error = 0;
    EXPECT_EQ(LocalFiles::ComputeFileCrc(folder, crc, length, error), LocalFiles::CrcStatus::ReadFailed);
    EXPECT_NE(error, 0);
}

} // namespace
} // namespace DownloadSystem
