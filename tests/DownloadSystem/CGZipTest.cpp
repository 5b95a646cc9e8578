#include "DownloadSystem/CGZip.h"
#include "Core/StringUtils.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace
{

namespace fs = std::filesystem;
using zlib::CGZip;

class CGZipTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder =
            fs::temp_directory_path() / ("norvia-gz-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    std::u16string PathOf(const std::string& name) const
    {
        return nd::StringUtils::FromUtf8((folder / name).string());
    }

    static std::string ReadRaw(const fs::path& file)
    {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // Decompresses with the system's gunzip, independent of zlib's file functions.
    static bool Gunzip(const fs::path& file, std::string& content)
    {
        const std::string command = "gunzip -c '" + file.string() + "' 2>/dev/null";
        FILE* pipe = ::popen(command.c_str(), "r");
        if (pipe == nullptr)
            return false;
        char piece[4096];
        size_t got;
        content.clear();
        while ((got = std::fread(piece, 1, sizeof piece, pipe)) > 0)
            content.append(piece, got);
        return ::pclose(pipe) == 0;
    }

    fs::path folder;
};

TEST_F(CGZipTest, WideTextIsWrittenAsUtf16LittleEndianAndReadableByGunzip)
{
    CGZip zip;
    zip.SetCompressionLevel(9);
    ASSERT_TRUE(zip.Open(PathOf("log.gz"), CGZip::kModeWrite));
    EXPECT_EQ(CGZip::kModeWrite, zip.GetMode());
    EXPECT_TRUE(zip.WriteString(u"ab\u00e9\u20ac"));
    EXPECT_TRUE(zip.Close());

    std::string content;
    ASSERT_TRUE(Gunzip(folder / "log.gz", content));
    EXPECT_EQ(std::string("a\0b\0\xe9\0\xac\x20", 8), content);
}

TEST_F(CGZipTest, CompressionLevelNineSetBeforeOpenReachesTheFile)
{
    for (const int level : {-1, 9})
    {
        const std::string name = "level" + std::to_string(level) + ".gz";
        CGZip zip;
        if (level != -1)
            zip.SetCompressionLevel(level);
        ASSERT_TRUE(zip.Open(PathOf(name), CGZip::kModeWrite));
        const std::string text(20000, 'x');
        ASSERT_TRUE(zip.Write(text.data(), text.size()));
        ASSERT_TRUE(zip.Close());
        // The gzip header's extra-flags byte is 2 only for maximum compression.
        const std::string raw = ReadRaw(folder / name);
        ASSERT_GT(raw.size(), 10u);
        EXPECT_EQ(level == 9 ? 2 : 0, raw[8]) << "level " << level;
    }
}

TEST_F(CGZipTest, FileLeftOpenIsCompletedByTheDestructor)
{
    {
        CGZip zip;
        ASSERT_TRUE(zip.Open(PathOf("unclosed.gz"), CGZip::kModeWrite));
        ASSERT_TRUE(zip.Write("records", 7));
    }
    std::string content;
    ASSERT_TRUE(Gunzip(folder / "unclosed.gz", content));
    EXPECT_EQ("records", content);
}

TEST_F(CGZipTest, OperationsOnClosedObjectFail)
{
    CGZip zip;
    EXPECT_FALSE(zip.IsOpen());
    EXPECT_FALSE(zip.Write("x", 1));
    EXPECT_FALSE(zip.WriteString(u"x"));
    EXPECT_FALSE(zip.Close());
    EXPECT_FALSE(zip.Flush(0));
    EXPECT_TRUE(zip.IsEOF());
    char buffer[4];
    EXPECT_EQ(0, zip.Read(buffer, sizeof buffer));

    ASSERT_TRUE(zip.Open(PathOf("closed.gz"), CGZip::kModeWrite));
    ASSERT_TRUE(zip.Close());
    // Close keeps the mode value, but nothing can be written any more.
    EXPECT_EQ(CGZip::kModeWrite, zip.GetMode());
    EXPECT_FALSE(zip.Write("x", 1));
    EXPECT_FALSE(zip.Close());
}

TEST_F(CGZipTest, OpenRefusesSecondOpenUnknownModeAndMissingFolder)
{
    CGZip zip;
    ASSERT_TRUE(zip.Open(PathOf("first.gz"), CGZip::kModeWrite));
    EXPECT_FALSE(zip.Open(PathOf("second.gz"), CGZip::kModeWrite));
    EXPECT_FALSE(fs::exists(folder / "second.gz"));
    zip.Close();

    CGZip other;
    EXPECT_FALSE(other.Open(PathOf("third.gz"), 5));
    EXPECT_EQ(CGZip::kModeClosed, other.GetMode());
    EXPECT_FALSE(other.Open(PathOf("no/such/folder.gz"), CGZip::kModeWrite));
    EXPECT_EQ(CGZip::kModeClosed, other.GetMode());
}

TEST_F(CGZipTest, ReadSideReturnsWhatWasWritten)
{
    const std::string text = "line one\nline two\n";
    {
        CGZip writer;
        ASSERT_TRUE(writer.Open(PathOf("round.gz"), CGZip::kModeWrite));
        ASSERT_TRUE(writer.Write(text.data(), text.size()));
        // Writing is refused on a file opened for reading, and reading on one opened for writing.
        char buffer[4];
        EXPECT_EQ(0, writer.Read(buffer, sizeof buffer));
    }
    CGZip reader;
    ASSERT_TRUE(reader.Open(PathOf("round.gz"), CGZip::kModeRead));
    EXPECT_EQ(static_cast<int64_t>(fs::file_size(folder / "round.gz")), reader.GetCompressedLength());
    EXPECT_FALSE(reader.Write("x", 1));
    uint8_t* bytes = nullptr;
    int64_t length = 0;
    ASSERT_EQ(static_cast<int64_t>(text.size()), reader.ReadAll(&bytes, &length));
    EXPECT_EQ(text, std::string(reinterpret_cast<char*>(bytes), static_cast<size_t>(length)));
    delete[] bytes;
    EXPECT_TRUE(reader.IsEOF());
}

} // namespace
