// The Win32 file layer: UTF-8 paths with "/" reach the wide calls intact, the sharing modes of
// the part files, and the engine's own error numbers match what the system answers.

#include "Platform/FileIo.h"
#include "Core/StringUtils.h"
#include "DownloadSystem/CGZip.h"
#include "Platform/ProcessInfo.h"

#include <gtest/gtest.h>

#include "Platform/Windows/WideText.h"
#include "Platform/Windows/Win32Api.h"

#include <string>

namespace
{

// A fresh folder under the system's temporary folder, as a "/" path.
std::string TempFolder(const std::string& name)
{
    wchar_t base[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, base);
    std::string path;
    for (const wchar_t* c = base; *c; ++c)
        path += *c == L'\\' ? '/' : static_cast<char>(*c);
    path += "norvia-" + name + "-" + std::to_string(::GetCurrentProcessId());
    return path;
}

TEST(WindowsFileIo, NonAsciiNamesInNestedFoldersRoundTrip)
{
    const std::string folder = TempFolder("names") + "/Ünïcode €/inner";
    ASSERT_TRUE(Platform::CreateDirectories(folder));
    EXPECT_TRUE(Platform::IsDirectory(folder));
    EXPECT_TRUE(Platform::CreateDirectories(folder)) << "an existing folder is fine";

    const std::string file = folder + "/Säte_ABC-1a.bin";
    ASSERT_TRUE(Platform::WriteWholeFile(file, "payload", 7));
    std::string content;
    ASSERT_TRUE(Platform::ReadWholeFile(file, content));
    EXPECT_EQ(content, "payload");
    uint64_t size = 0;
    EXPECT_TRUE(Platform::GetFileSize(file, size));
    EXPECT_EQ(size, 7u);
    EXPECT_TRUE(Platform::IsRegularFile(file));

    ASSERT_TRUE(Platform::WriteWholeFile(folder + "/other", "x", 1));
    EXPECT_TRUE(Platform::RenameFile(folder + "/other", file)) << "renaming replaces, as on Linux";
    EXPECT_TRUE(Platform::DeleteFile(file));
    EXPECT_FALSE(Platform::PathExists(file));
    EXPECT_FALSE(Platform::DeleteFile(file));
    EXPECT_EQ(Platform::LastErrorNumber(), ERROR_FILE_NOT_FOUND);
}

TEST(WindowsFileIo, PartFileIsNotSharedWhileItIsWritten)
{
    const std::string folder = TempFolder("sharing");
    ASSERT_TRUE(Platform::CreateDirectories(folder));
    const std::string file = folder + "/part.bin";
    const Platform::NativeHandle writing = Platform::CreateFileForWriting(file);
    ASSERT_NE(writing, Platform::kInvalidHandle);
    EXPECT_EQ(Platform::OpenFileForReading(file), Platform::kInvalidHandle);
    EXPECT_EQ(Platform::LastErrorNumber(), ERROR_SHARING_VIOLATION);
    EXPECT_TRUE(Platform::WriteAll(writing, "abc", 3));
    Platform::CloseNativeHandle(writing);

    const Platform::NativeHandle reading = Platform::OpenFileForReading(file);
    ASSERT_NE(reading, Platform::kInvalidHandle);
    char bytes[8] = {};
    size_t read = 0;
    EXPECT_TRUE(Platform::ReadFully(reading, bytes, sizeof bytes, read));
    EXPECT_EQ(std::string(bytes, read), "abc");
    Platform::CloseNativeHandle(reading);
}

TEST(WindowsFileIo, FolderOpenedAsAFileFailsWithTheNumberTheEngineReportsForIt)
{
    const std::string folder = TempFolder("folder");
    ASSERT_TRUE(Platform::CreateDirectories(folder));
    EXPECT_EQ(Platform::OpenFileForReading(folder), Platform::kInvalidHandle);
    EXPECT_EQ(Platform::LastErrorNumber(), Platform::FileError::kIsDirectory);
}

// The log is compressed in the per-user data folder, whose path holds the user's name.
TEST(WindowsFileIo, GzipFileUnderANonAsciiFolderIsWrittenAndReadBack)
{
    const std::string folder = TempFolder("gzip") + "/José";
    ASSERT_TRUE(Platform::CreateDirectories(folder));
    const std::u16string path = nd::StringUtils::FromUtf8(folder + "/logfile.gz");
    zlib::CGZip writer;
    ASSERT_TRUE(writer.Open(path, zlib::CGZip::kModeWrite));
    EXPECT_TRUE(writer.Write("log text", 8));
    EXPECT_TRUE(writer.Close());

    zlib::CGZip reader;
    ASSERT_TRUE(reader.Open(path, zlib::CGZip::kModeRead));
    char text[16] = {};
    EXPECT_EQ(reader.Read(text, sizeof text), 8);
    EXPECT_EQ(std::string(text), "log text");
}

// The system takes paths of 260 units and more only in the extended-length form, which it takes
// literally: absolute, "\" only, no "." or "..". Wine takes both, so the forms are checked here.
TEST(WindowsFileIo, LongPathsTakeTheExtendedLengthFormAndEveryFileCallWorksThere)
{
    const std::string segment(60, 'L');
    const std::wstring wideSegment(60, L'L');
    struct Row
    {
        std::string path;
        std::wstring expected;
    };
    const Row rows[] = {
        {"C:/short/file.bin", L"C:\\short\\file.bin"},
        {"C:/" + segment + "/" + segment + "/" + segment + "/" + segment + "/f",
         L"\\\\?\\C:\\" + wideSegment + L"\\" + wideSegment + L"\\" + wideSegment + L"\\" + wideSegment +
             L"\\f"},
        {"C:/" + segment + "/./x/../" + segment + "/" + segment + "/" + segment + "/f",
         L"\\\\?\\C:\\" + wideSegment + L"\\" + wideSegment + L"\\" + wideSegment + L"\\" + wideSegment +
             L"\\f"},
        {"//server/share/" + segment + "/" + segment + "/" + segment + "/" + segment + "/f",
         L"\\\\?\\UNC\\server\\share\\" + wideSegment + L"\\" + wideSegment + L"\\" + wideSegment + L"\\" +
             wideSegment + L"\\f"},
        {"//?/C:/" + segment + "/" + segment + "/" + segment + "/" + segment + "/f",
         L"\\\\?\\C:\\" + wideSegment + L"\\" + wideSegment + L"\\" + wideSegment + L"\\" + wideSegment +
             L"\\f"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(Platform::FileCallPath(row.path), row.expected) << row.path;
    EXPECT_EQ(Platform::Utf8PathFromNative(L"\\\\?\\UNC\\server\\share\\f"), "//server/share/f");
    EXPECT_EQ(Platform::Utf8PathFromNative(L"\\\\?\\C:\\a\\f"), "C:/a/f");

    std::string folder = TempFolder("long");
    while (folder.size() < 300)
        folder += "/" + segment;
    ASSERT_TRUE(Platform::CreateDirectories(folder)) << Platform::LastErrorNumber();
    EXPECT_TRUE(Platform::IsDirectory(folder));
    const std::string file = folder + "/Setup_ABC-1a.bin";
    ASSERT_TRUE(Platform::WriteWholeFile(file + ".part", "payload", 7));
    EXPECT_TRUE(Platform::RenameFile(file + ".part", file));
    std::string content;
    ASSERT_TRUE(Platform::ReadWholeFile(file, content));
    EXPECT_EQ(content, "payload");
    uint64_t size = 0;
    EXPECT_TRUE(Platform::GetFileSize(file, size));
    EXPECT_EQ(size, 7u);
    const int descriptor = Platform::OpenRuntimeDescriptor(file, false);
    EXPECT_GE(descriptor, 0);
    Platform::CloseRuntimeDescriptor(descriptor);
    EXPECT_TRUE(Platform::DeleteFile(file));
    EXPECT_FALSE(Platform::PathExists(file));
}

TEST(WindowsFileIo, ExecutablePathUsesSlashes)
{
    const std::string path = Platform::ExecutablePath();
    EXPECT_NE(path.find("/norvia_windows_platform_tests.exe"), std::string::npos) << path;
    EXPECT_EQ(path.find('\\'), std::string::npos) << path;
    EXPECT_TRUE(Platform::IsRegularFile(path));
}

} // namespace
