#include "DownloadSystem/FileSystem.h"
#include "Core/ByteBuffer.h"
#include "Core/ErrorLog.h"
#include "Core/StringUtils.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>

namespace
{

namespace fs = std::filesystem;
using nd::StringUtils;
namespace FileSystem = DownloadSystem::FileSystem;

class FileSystemTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder =
            fs::temp_directory_path() / ("norvia-fs-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
        nd::ClearErrors();
    }
    void TearDown() override { fs::remove_all(folder); }

    std::u16string Write(const std::string& name, const std::string& content)
    {
        const fs::path file = folder / name;
        std::ofstream(file, std::ios::binary) << content;
        return StringUtils::FromUtf8(file.string());
    }

    fs::path folder;
};

std::string Text(const nd::ByteBuffer& buffer)
{
    return std::string(reinterpret_cast<const char*>(buffer.Data()), buffer.Size());
}

TEST_F(FileSystemTest, SizeOfMissingFileIsZeroAndNotReported)
{
    EXPECT_EQ(0u, FileSystem::GetSizeOfFile(StringUtils::FromUtf8((folder / "missing.bin").string())));
    EXPECT_TRUE(nd::GetLogRecords().empty());
}

TEST_F(FileSystemTest, SizeOfEmptyAndFilledFiles)
{
    EXPECT_EQ(0u, FileSystem::GetSizeOfFile(Write("empty.bin", "")));
    EXPECT_EQ(5u, FileSystem::GetSizeOfFile(Write("five.bin", "12345")));
    EXPECT_EQ(0u, FileSystem::GetSizeOfFile(StringUtils::FromUtf8(folder.string())));
    EXPECT_TRUE(nd::GetLogRecords().empty());
}

TEST_F(FileSystemTest, ReadsWholeFileAndReleasesOldContentFirst)
{
    std::string content(3 * 1024 * 1024 + 7, '\0');
    std::mt19937 random(7);
    for (char& c : content)
        c = static_cast<char>(random());
    nd::ByteBuffer buffer;
    buffer.Append(std::string("old content that must go"));

    FileSystem::ReadFileToBuffer(Write("big.bin", content), buffer);

    EXPECT_EQ(content, Text(buffer));
    EXPECT_EQ(0u, nd::GetErrorCount());
}

TEST_F(FileSystemTest, EmptyFileGivesEmptyBufferWithoutRecord)
{
    nd::ByteBuffer buffer;
    buffer.Append(std::string("x"));
    FileSystem::ReadFileToBuffer(Write("empty.bin", ""), buffer);
    EXPECT_EQ(0u, buffer.Size());
    EXPECT_TRUE(nd::GetLogRecords().empty());
}

TEST_F(FileSystemTest, MissingFileIsReportedWithPathAsPassed)
{
    const std::u16string path = StringUtils::FromUtf8((folder / "not here.bin").string());
    nd::ByteBuffer buffer;
    buffer.Append(std::string("x"));

    FileSystem::ReadFileToBuffer(path, buffer);

    EXPECT_EQ(0u, buffer.Size());
    ASSERT_EQ(1u, nd::GetErrorCount());
    const auto records = nd::GetLogRecords();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ("Couldn't read file " + StringUtils::ToNarrow(path), records[0]["message"].get<std::string>());
    EXPECT_EQ(ENOENT, records[0]["error_number"].get<int>());
    EXPECT_EQ("DownloadSystem/FileSystem.cpp", records[0]["file"].get<std::string>());
}

TEST_F(FileSystemTest, FolderIsNotReadAsFile)
{
    nd::ByteBuffer buffer;
    FileSystem::ReadFileToBuffer(StringUtils::FromUtf8(folder.string()), buffer);
    EXPECT_EQ(0u, buffer.Size());
    EXPECT_EQ(1u, nd::GetErrorCount());
}

TEST_F(FileSystemTest, PiecewiseReadIsBoundedAndComplete)
{
    std::string content(10000, '\0');
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(i * 31);
    std::string joined;
    size_t largest = 0;
    size_t calls = 0;

    const bool ok = FileSystem::ReadFileInPieces(Write("pieces.bin", content), 4096,
                                                 [&](const uint8_t* bytes, size_t n)
                                                 {
                                                     joined.append(reinterpret_cast<const char*>(bytes), n);
                                                     largest = std::max(largest, n);
                                                     ++calls;
                                                 });

    EXPECT_TRUE(ok);
    EXPECT_EQ(content, joined);
    EXPECT_LE(largest, 4096u);
    EXPECT_GE(calls, 3u);
}

TEST_F(FileSystemTest, PiecewiseReadOfMissingFileFailsWithReadMessage)
{
    const std::u16string path = StringUtils::FromUtf8((folder / "gone.bin").string());
    bool called = false;
    EXPECT_FALSE(FileSystem::ReadFileInPieces(path, 1024, [&](const uint8_t*, size_t) { called = true; }));
    EXPECT_FALSE(called);
    const auto records = nd::GetLogRecords();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ("Couldn't read file " + StringUtils::ToNarrow(path), records[0]["message"].get<std::string>());
}

TEST(FileSystemExecutableFolder, IsTheProgramFolderWithoutTrailingSlash)
{
    std::string folder = "previous";
    const std::string& result = FileSystem::GetExecutableFolder(folder);
    EXPECT_EQ(&folder, &result);
    EXPECT_EQ(fs::read_symlink("/proc/self/exe").parent_path().string(), folder);
    EXPECT_NE('/', folder.back());
}

} // namespace
