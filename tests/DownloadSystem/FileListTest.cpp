#include "DownloadSystem/FileList.h"

#include "Core/StringUtils.h"

#include <gtest/gtest.h>

namespace DownloadSystem
{
namespace
{

using Entries = std::vector<FileListEntry>;
using nd::StringUtils;

TEST(FileListParse, TwoFilesWithLeadingText)
{
    const std::string text =
        "release 3.2;Setup.exe\r\n1048576\r\n-873187034\r\n;Setup-1a.bin\r\n2097152\r\n305419896";
    const Entries entries = FileList::Parse(text);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0], (FileListEntry{u"Setup.exe", u"1048576", u"-873187034"}));
    EXPECT_EQ(entries[1], (FileListEntry{u"Setup-1a.bin", u"2097152", u"305419896"}));
}

TEST(FileListParse, TextWithoutSemicolonIsAnEmptyList)
{
    EXPECT_TRUE(FileList::Parse("abc").empty());
    EXPECT_TRUE(FileList::Parse("").empty());
}

TEST(FileListParse, TrailingEmptyFieldsAreDropped)
{
    const Entries entries = FileList::Parse("x;a\r\n10\r\n5\r\n\r\n");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0], (FileListEntry{u"a", u"10", u"5"}));
}

TEST(FileListParse, PiecesThatNameNothingAreSkipped)
{
    // The piece after a final ";" and a piece without "\r\n" carry no fields.
    const Entries entries = FileList::Parse(";a\r\n1\r\n2\r\n;;noseparator;\r\n\r\n;");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0][0], u"a");
}

TEST(FileListParse, EmptyFieldInTheMiddleIsKept)
{
    const Entries entries = FileList::Parse(";a\r\n\r\n7\r\n");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0], (FileListEntry{u"a", u"", u"7"}));
}

TEST(FileListText, ZeroBytesAreRemoved)
{
    nd::ByteBuffer bytes;
    const char raw[] = {';', 0, 'a', '\r', 0, '\n', '1'};
    bytes.Append(raw, sizeof(raw));
    EXPECT_EQ(FileList::TextFromBytes(bytes), ";a\r\n1");
}

TEST(FileListFields, SizeUsesBaseZero)
{
    EXPECT_EQ(FileList::ReadSize({u"a", u"0x10"}), 16u);
    EXPECT_EQ(FileList::ReadSize({u"a", u"010"}), 8u);
    EXPECT_EQ(FileList::ReadSize({u"a", u"2097152"}), 2097152u);
    EXPECT_EQ(FileList::ReadSize({u"a", u"size"}), 0u);
    EXPECT_EQ(FileList::ReadSize({u"a"}), 0u);
}

TEST(FileListFields, SizesBeyond32BitsAreNotCut)
{
    EXPECT_EQ(FileList::ReadSize({u"a", u"4294967295"}), 4294967295u);
    EXPECT_EQ(FileList::ReadSize({u"a", u"4294967296"}), 4294967296u);
    EXPECT_GT(FileList::ReadSize({u"a", u"-1"}), FileList::kMaxFileSize);
}

TEST(FileListFields, CrcIsSignedDecimal)
{
    EXPECT_EQ(static_cast<uint32_t>(FileList::ReadCrc({u"a", u"1", u"-873187034"})), 0xCBF43926u);
    EXPECT_EQ(FileList::ReadCrc({u"a", u"1", u"891568578"}), 0x352441C2);
    EXPECT_EQ(FileList::ReadCrc({u"a", u"1", u"letters"}), 0);
    EXPECT_EQ(FileList::ReadCrc({u"a", u"1"}), 0);
}

TEST(FileListFields, CrcOverflowSaturates)
{
    EXPECT_EQ(FileList::ReadCrc({u"a", u"1", u"99999999999"}), INT32_MAX);
    EXPECT_EQ(FileList::ReadCrc({u"a", u"1", u"-99999999999"}), INT32_MIN);
}

TEST(FileListRefusal, OrdinaryNamesPass)
{
    EXPECT_EQ(FileList::Refusal({u"Setup.exe", u"10", u"1"}), "");
    EXPECT_EQ(FileList::Refusal({u"data/Setup-1a.bin", u"10", u"1"}), "");
    EXPECT_EQ(FileList::Refusal({u"..Setup-1a.bin", u"10", u"1"}), "");
    EXPECT_EQ(FileList::Refusal({u"only-a-name"}), "");
}

TEST(FileListRefusal, NamesThatLeaveTheFolderAreRefused)
{
    EXPECT_NE(FileList::Refusal({u"/etc/passwd", u"1", u"1"}), "");
    EXPECT_NE(FileList::Refusal({u"../evil.exe", u"1", u"1"}), "");
    EXPECT_NE(FileList::Refusal({u"a/../../evil.exe", u"1", u"1"}), "");
    EXPECT_NE(FileList::Refusal({u"a/..", u"1", u"1"}), "");
    EXPECT_NE(FileList::Refusal({u"..", u"1", u"1"}), "");
    EXPECT_NE(FileList::Refusal({u"..\\evil.exe", u"1", u"1"}), "");
    EXPECT_NE(FileList::Refusal({std::u16string(u"a\0b", 3), u"1", u"1"}), "");
    EXPECT_NE(FileList::Refusal({u"", u"1", u"1"}), "");
}

// The release is made for Windows: names it cannot store as listed are refused on every build.
TEST(FileListRefusal, NamesWindowsCannotStoreAreRefused)
{
    for (const char16_t* name :
         {u"Set\tup.exe", u"Set\x7fup.exe", u"Setup.exe:hidden", u"a*b", u"a\"b", u"a<b", u"a>b", u"a|b",
          u"CON", u"con.bin", u"Aux.tar.gz", u"NUL .txt", u"com1", u"LPT9.dat", u"nul/Setup.exe",
          u"Setup.exe.", u"Setup.exe ", u"data./Setup.exe"})
        EXPECT_NE(FileList::Refusal({name, u"1", u"1"}), "") << StringUtils::ToUtf8(name);
    for (const char16_t* name : {u"CONSOLE.bin", u"COM0", u"COM10", u"LPT", u"5%41x-4a.bin", u"con-1a.bin"})
        EXPECT_EQ(FileList::Refusal({name, u"1", u"1"}), "") << StringUtils::ToUtf8(name);
}

TEST(FileListRefusal, SizesOf4GiBAndMoreAreRefused)
{
    EXPECT_EQ(FileList::Refusal({u"big.bin", u"4294967295", u"1"}), "");
    const std::string refusal = FileList::Refusal({u"big.bin", u"4294967296", u"1"});
    EXPECT_NE(refusal.find("4 GiB"), std::string::npos) << refusal;
    EXPECT_NE(refusal.find("big.bin"), std::string::npos) << refusal;
}

} // namespace
} // namespace DownloadSystem
