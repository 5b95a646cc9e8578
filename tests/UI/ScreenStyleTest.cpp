#include "UI/ScreenStyle.h"

#include <gtest/gtest.h>

namespace
{

using namespace nd::ScreenStyle;

TEST(PercentText, TruncatesTowardZero)
{
    EXPECT_EQ(PercentText(0.0f), "0%");
    EXPECT_EQ(PercentText(0.5f), "50%");
    EXPECT_EQ(PercentText(0.999f), "99%");
    EXPECT_EQ(PercentText(1.0f), "100%");
}

TEST(PercentColour, WhiteOnTheFillDarkBesideIt)
{
    // A 480-pixel bar at 480 with the text about 30 pixels wide, centred.
    const float barX = 480.0f, barWidth = 480.0f;
    const float textX = barX + barWidth * 0.5f - 15.0f;
    EXPECT_FALSE(PercentTextIsDark(textX, barX, barWidth, 0.5f)); // 50% drawn white
    EXPECT_TRUE(PercentTextIsDark(textX, barX, barWidth, 0.3f));  // 30% drawn dark
    EXPECT_FALSE(PercentTextIsDark(textX, barX, barWidth, 1.0f));
}

TEST(Colours, AccentsAndDarkText)
{
    EXPECT_EQ(Accent(), IM_COL32(65, 117, 139, 255));
    EXPECT_EQ(AccentPressed(), IM_COL32(77, 137, 164, 255));
    EXPECT_EQ(Dark(128), IM_COL32(10, 10, 10, 128));
}

} // namespace
