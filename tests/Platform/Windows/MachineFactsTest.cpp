// Machine facts, digests, texts and times from the Win32 services the design names.

#include "Platform/Digest.h"
#include "Platform/ErrorText.h"
#include "Platform/FileIo.h"
#include "Platform/MachineInfo.h"
#include "Platform/Shell.h"
#include "Platform/UserFolders.h"
#include "Platform/Windows/ShellCodes.h"

#include <gtest/gtest.h>

#include "Platform/Windows/Win32Api.h"

#include <cstring>
#include <string>
#include <vector>

namespace
{

std::string Hex(const std::vector<uint8_t>& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (uint8_t byte : bytes)
        text += std::string{digits[byte >> 4], digits[byte & 15]};
    return text;
}

TEST(WindowsDigest, KnownDigestsFromBothProviders)
{
    struct Row
    {
        Platform::DigestKind kind;
        const char* abc;
    };
    const Row rows[] = {
        {Platform::DigestKind::Sha1, "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {Platform::DigestKind::Md5, "900150983cd24fb0d6963f7d28e17f72"},
        {Platform::DigestKind::Sha256, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    };
    for (const Row& row : rows)
    {
        std::vector<uint8_t> oneShot;
        ASSERT_TRUE(Platform::ComputeDigest(row.kind, "abc", 3, oneShot));
        EXPECT_EQ(Hex(oneShot), row.abc);
        EXPECT_EQ(oneShot.size(), Platform::DigestLength(row.kind));

        Platform::Digest pieces(row.kind);
        ASSERT_TRUE(pieces.IsValid());
        EXPECT_TRUE(pieces.Update("a", 1) && pieces.Update("bc", 2));
        std::vector<uint8_t> incremental;
        ASSERT_TRUE(pieces.Finish(incremental));
        EXPECT_EQ(Hex(incremental), row.abc);
        EXPECT_FALSE(pieces.Update("x", 1)) << "finished";
    }
}

TEST(WindowsMachineInfo, RegistryVolumeAndProcessorFacts)
{
    std::string guid;
    int error = -1;
    ASSERT_TRUE(Platform::ReadMachineGuid(guid, error));
    EXPECT_EQ(error, 0);
    EXPECT_EQ(guid.size(), 36u) << guid;

    EXPECT_TRUE(Platform::QueryRootVolumeInformation(error)) << error;
    std::string volume;
    ASSERT_TRUE(Platform::GetRootVolumeName(volume, error)) << error;
    EXPECT_EQ(volume.rfind("\\\\?\\Volume{", 0), 0u) << volume;
    EXPECT_EQ(volume.substr(volume.size() - 2), "}\\") << volume;

    int32_t registers[4] = {};
    Platform::ReadCpuidLeaf0(registers);
    char vendor[13] = {};
    std::memcpy(vendor, &registers[1], 4);
    std::memcpy(vendor + 4, &registers[3], 4);
    std::memcpy(vendor + 8, &registers[2], 4);
    EXPECT_TRUE(std::string(vendor) == "GenuineIntel" || std::string(vendor) == "AuthenticAMD") << vendor;
}

TEST(WindowsErrorText, SystemMessagesAsTheSystemGivesThem)
{
    std::string text;
    ASSERT_TRUE(Platform::SystemErrorText(ERROR_FILE_NOT_FOUND, text));
    // "The system cannot find the file specified." on Windows, "File not found." under wine.
    EXPECT_NE(text.find("ile"), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    // A message with an insert and nothing to fill it keeps the insert.
    ASSERT_TRUE(Platform::SystemErrorText(ERROR_BAD_EXE_FORMAT, text));
    EXPECT_NE(text.find("%1"), std::string::npos) << text;
    EXPECT_FALSE(Platform::SystemErrorText(0, text));
    EXPECT_EQ(text, "");
    EXPECT_FALSE(Platform::SystemErrorText(0x2FFFFFFF, text)) << text;
}

TEST(WindowsFolders, DataFolderExistsWithSlashes)
{
    const std::string data = Platform::UserDataFolder();
    EXPECT_TRUE(Platform::IsDirectory(data)) << data;
    EXPECT_EQ(data.find('\\'), std::string::npos) << data;
}

TEST(WindowsShell, MissingFileIsNotStartedAndTellsWhy)
{
    const Platform::ShellResult result =
        Platform::ShellExecute(Platform::ShellVerb::Open, "C:/no/such/Setup_ABC.exe", "C:/no/such");
    EXPECT_FALSE(result.started);
    EXPECT_TRUE(result.errorNumber == ERROR_FILE_NOT_FOUND || result.errorNumber == ERROR_PATH_NOT_FOUND)
        << result.errorNumber;
    EXPECT_NE(result.failure.find("was not found"), std::string::npos) << result.failure;
}

// ShellExecute answers codes of its own, which read as other things taken for system errors.
TEST(WindowsShell, ItsOwnCodesAreToldInTheirOwnMeaningWithTheCode)
{
    const std::pair<intptr_t, const char*> rows[] = {
        {0, "out of memory"},           {2, "file was not found"},         {3, "path was not found"},
        {5, "denied access"},           {8, "not enough memory"},          {11, "not a valid program"},
        {26, "sharing violation"},      {27, "association is incomplete"}, {28, "timed out"},
        {29, "DDE transaction failed"}, {30, "other DDE transactions"},    {31, "no application associated"},
        {32, "DLL was not found"},
    };
    for (const auto& [code, meaning] : rows)
    {
        const std::string text = Platform::ShellExecuteCodeText(code);
        EXPECT_NE(text.find(meaning), std::string::npos) << code << ": " << text;
        EXPECT_NE(text.find("(ShellExecute code " + std::to_string(code) + ")"), std::string::npos) << text;
    }
}

} // namespace
