#include "Platform/FileIo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>
#include <unistd.h>

#include "Platform/Clock.h"
#include "Platform/ErrorText.h"
#include "Platform/ProcessInfo.h"

namespace
{

class FileIoTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = ::testing::TempDir() + "norvia_fileio_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        ASSERT_TRUE(Platform::CreateDirectories(root));
    }
    void TearDown() override { std::system(("rm -rf '" + root + "'").c_str()); }

    std::string root;
};

} // namespace

TEST_F(FileIoTest, WriteReadAndSize)
{
    const std::string path = root + "/data.bin";
    const std::string content("a\0b\xff", 4);
    ASSERT_TRUE(Platform::WriteWholeFile(path, content.data(), content.size()));
    uint64_t size = 0;
    ASSERT_TRUE(Platform::GetFileSize(path, size));
    EXPECT_EQ(size, 4u);
    std::string back;
    ASSERT_TRUE(Platform::ReadWholeFile(path, back));
    EXPECT_EQ(back, content);

    Platform::NativeHandle handle = Platform::OpenFileForReading(path);
    ASSERT_NE(handle, Platform::kInvalidHandle);
    char buffer[16];
    size_t read = 0;
    ASSERT_TRUE(Platform::ReadFully(handle, buffer, sizeof buffer, read));
    EXPECT_EQ(read, 4u);
    ASSERT_TRUE(Platform::ReadFile(handle, buffer, sizeof buffer, read));
    EXPECT_EQ(read, 0u);
    Platform::CloseNativeHandle(handle);
}

TEST_F(FileIoTest, CreateAlwaysEmptiesAnExistingFile)
{
    const std::string path = root + "/f";
    ASSERT_TRUE(Platform::WriteWholeFile(path, "long content", 12));
    Platform::NativeHandle handle = Platform::CreateFileForWriting(path);
    ASSERT_NE(handle, Platform::kInvalidHandle);
    EXPECT_TRUE(Platform::WriteAll(handle, "ab", 2));
    Platform::CloseNativeHandle(handle);
    std::string back;
    ASSERT_TRUE(Platform::ReadWholeFile(path, back));
    EXPECT_EQ(back, "ab");
}

TEST_F(FileIoTest, OpenForWritingKeepsContentAndSeeks)
{
    const std::string path = root + "/f";
    ASSERT_TRUE(Platform::WriteWholeFile(path, "abcdef", 6));
    Platform::NativeHandle handle = Platform::OpenFileForWriting(path);
    ASSERT_NE(handle, Platform::kInvalidHandle);
    ASSERT_TRUE(Platform::SeekTo(handle, 4));
    EXPECT_TRUE(Platform::WriteAll(handle, "XY", 2));
    uint64_t size = 0;
    EXPECT_TRUE(Platform::GetFileSize(handle, size));
    EXPECT_EQ(size, 6u);
    Platform::CloseNativeHandle(handle);
    std::string back;
    ASSERT_TRUE(Platform::ReadWholeFile(path, back));
    EXPECT_EQ(back, "abcdXY");
}

TEST_F(FileIoTest, FailuresLeaveTheErrorNumber)
{
    EXPECT_EQ(Platform::OpenFileForReading(root + "/absent"), Platform::kInvalidHandle);
    EXPECT_EQ(Platform::LastErrorNumber(), ENOENT);
    uint64_t size = 7;
    EXPECT_FALSE(Platform::GetFileSize(root + "/absent", size));
    EXPECT_EQ(Platform::LastErrorNumber(), ENOENT);
    std::string content = "stale";
    EXPECT_FALSE(Platform::ReadWholeFile(root + "/absent", content));
    EXPECT_EQ(content, "");
    EXPECT_FALSE(Platform::WriteWholeFile(root + "/no/such/folder", "x", 1));
    EXPECT_EQ(Platform::LastErrorNumber(), ENOENT);
    EXPECT_FALSE(Platform::DeleteFile(root + "/absent"));
    EXPECT_EQ(Platform::LastErrorNumber(), ENOENT);
}

TEST_F(FileIoTest, FoldersAndKinds)
{
    const std::string one = root + "/one";
    EXPECT_TRUE(Platform::CreateDirectory(one));
    EXPECT_FALSE(Platform::CreateDirectory(one));
    EXPECT_EQ(Platform::LastErrorNumber(), EEXIST);
    EXPECT_FALSE(Platform::CreateDirectory(root + "/a/b"));
    EXPECT_TRUE(Platform::CreateDirectories(root + "/a/b/c"));
    EXPECT_TRUE(Platform::CreateDirectories(root + "/a/b/c"));
    EXPECT_TRUE(Platform::IsDirectory(root + "/a/b/c"));
    EXPECT_FALSE(Platform::IsRegularFile(root + "/a/b/c"));

    const std::string file = root + "/a/file";
    ASSERT_TRUE(Platform::WriteWholeFile(file, "", 0));
    EXPECT_TRUE(Platform::PathExists(file));
    EXPECT_TRUE(Platform::IsRegularFile(file));
    EXPECT_FALSE(Platform::CreateDirectories(file + "/below"));
    EXPECT_TRUE(Platform::RenameFile(file, file + "2"));
    EXPECT_FALSE(Platform::PathExists(file));
    EXPECT_TRUE(Platform::DeleteFile(file + "2"));
    EXPECT_FALSE(Platform::PathExists(file + "2"));
}

TEST(PlatformFacts, ErrorTextsOnlyForKnownNumbers)
{
    std::string text;
    EXPECT_TRUE(Platform::SystemErrorText(ENOENT, text));
    EXPECT_EQ(text, "No such file or directory");
    EXPECT_FALSE(Platform::SystemErrorText(0, text));
    EXPECT_FALSE(Platform::SystemErrorText(-3, text));
    EXPECT_FALSE(Platform::SystemErrorText(99999, text));
    EXPECT_EQ(text, "");
}

TEST(PlatformFacts, LocalTimeHasTheAsctimeForm)
{
    std::optional<std::string> now = Platform::AsciiLocalTime();
    ASSERT_TRUE(now.has_value());
    ASSERT_EQ(now->size(), 25u) << *now;
    EXPECT_EQ(now->back(), '\n');
    EXPECT_EQ((*now)[3], ' ');
    EXPECT_EQ((*now)[13], ':');
}

TEST(PlatformFacts, SteadyTickAdvances)
{
    uint64_t before = Platform::SteadyTickMs();
    ::usleep(20000);
    EXPECT_GE(Platform::SteadyTickMs() - before, 15u);
}

TEST(PlatformFacts, ExecutableAndEnvironment)
{
    std::string path = Platform::ExecutablePath();
    ASSERT_FALSE(path.empty());
    EXPECT_TRUE(Platform::IsRegularFile(path));
    ::setenv("NORVIA_FILEIO_TEST_VARIABLE", "value", 1);
    EXPECT_EQ(Platform::EnvironmentVariable("NORVIA_FILEIO_TEST_VARIABLE").value_or(""), "value");
    ::unsetenv("NORVIA_FILEIO_TEST_VARIABLE");
    EXPECT_FALSE(Platform::EnvironmentVariable("NORVIA_FILEIO_TEST_VARIABLE").has_value());
}

namespace
{

uint64_t ResidentKib()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stoull(line.substr(6));
    return 0;
}

} // namespace

// Freed blocks in the middle of the heap stay resident until they are handed back.
TEST(PlatformFacts, ReleasedMemoryLeavesTheResidentSet)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizer's allocator keeps freed blocks itself";
#endif
    constexpr size_t kBlock = 64 * 1024, kBlocks = 128; // each below the size the allocator maps apart
    std::vector<void*> blocks;
    for (size_t i = 0; i <= kBlocks; ++i)
    {
        blocks.push_back(std::malloc(kBlock));
        for (size_t offset = 0; offset < kBlock; offset += 4096)
            static_cast<volatile char*>(blocks.back())[offset] = 1;
    }
    // The last one stays: it keeps the others off the heap's top, which shrinks by itself.
    for (size_t i = 0; i < kBlocks; ++i)
        std::free(blocks[i]);
    const uint64_t before = ResidentKib();
    Platform::ReleaseFreedMemory();
    EXPECT_GE(before - std::min(before, ResidentKib()), kBlock * kBlocks / 1024 / 2);
    std::free(blocks.back());
}
