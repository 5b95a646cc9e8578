#include "Core/Formatting.h"
#include "Core/ProgramFile.h"

#include <gtest/gtest.h>

#include <limits>

#include "Core/StringUtils.h"
#include "Platform/FileIo.h"

TEST(FormatByteSize, UnitsAndRounding)
{
    EXPECT_EQ(nd::FormatByteSize(0), "0 B");
    EXPECT_EQ(nd::FormatByteSize(1023), "1023 B");
    EXPECT_EQ(nd::FormatByteSize(1024), "1.00 kB");
    EXPECT_EQ(nd::FormatByteSize(1536), "1.50 kB");
    EXPECT_EQ(nd::FormatByteSize(1048575), "1024.00 kB");
    EXPECT_EQ(nd::FormatByteSize(1048576), "1.00 MB");
    EXPECT_EQ(nd::FormatByteSize(1073741823), "1024.00 MB");
    EXPECT_EQ(nd::FormatByteSize(1073741824), "1.00 GB");
    EXPECT_EQ(nd::FormatByteSize(5ull * 1073741824), "5.00 GB");
    EXPECT_EQ(nd::FormatByteSize(2684354560ull), "2.50 GB");
}

TEST(FormatByteSize, HugeCountsStayWithinFifteenCharacters)
{
    const uint64_t billionGigabytes = 1000000000ull * 1073741824ull;
    EXPECT_EQ(nd::FormatByteSize(billionGigabytes - 1073741824ull), "999999999.00 GB");
    EXPECT_EQ(nd::FormatByteSize(billionGigabytes), "1000000000 GB");
    std::string largest = nd::FormatByteSize(std::numeric_limits<uint64_t>::max());
    EXPECT_EQ(largest, "17179869184 GB");
    EXPECT_LE(largest.size(), 15u);
}

TEST(ProgramFile, PathNamesThisRunningProgram)
{
    std::u16string path = nd::ProgramFilePath();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.front(), u'/');
    EXPECT_TRUE(Platform::IsRegularFile(nd::StringUtils::ToNarrow(path)));
    EXPECT_NE(nd::FileStem(path).find(u"test"), std::u16string::npos);
}

TEST(ProgramFile, StemDropsOnlyTheLastExtension)
{
    EXPECT_EQ(nd::FileStem(u"C:\\a\\Setup.Viewer.exe"), u"Setup.Viewer");
    EXPECT_EQ(nd::FileStem(u"/opt/Norvia_3_2_Home_Download"), u"Norvia_3_2_Home_Download");
    EXPECT_EQ(nd::FileStem(u"/opt/Norvia_3_2_Viewer_Download.exe"), u"Norvia_3_2_Viewer_Download");
    EXPECT_EQ(nd::FileStem(u"/home/u/.profile"), u".profile");
    EXPECT_EQ(nd::FileStem(u"name."), u"name");
    EXPECT_EQ(nd::FileStem(u"/dir/"), u"");
    EXPECT_EQ(nd::FileStem(u".."), u"..");
}
