#include "UI/ViewerMode.h"

#include <gtest/gtest.h>

namespace
{

TEST(ViewerMode, WordInTheStemInAnyCase)
{
    EXPECT_TRUE(nd::IsViewerProgram(u"/dl/Setup.Viewer.exe"));
    EXPECT_TRUE(nd::IsViewerProgram(u"/dl/MYVIEWERsetup.exe"));
    EXPECT_TRUE(nd::IsViewerProgram(u"/dl/Norvia_3_2_Viewer_Download"));
}

TEST(ViewerMode, WordOnlyInTheFolderOrTheLastExtension)
{
    EXPECT_FALSE(nd::IsViewerProgram(u"/dl/viewer_tools/setup.exe"));
    EXPECT_FALSE(nd::IsViewerProgram(u"/dl/setup.viewer"));
    EXPECT_FALSE(nd::IsViewerProgram(u"/dl/Norvia_3_2_Home_Download"));
    EXPECT_FALSE(nd::IsViewerProgram(u""));
}

} // namespace
