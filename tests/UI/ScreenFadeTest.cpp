#include "UI/ScreenFade.h"

#include <gtest/gtest.h>

namespace
{

TEST(ScreenFade, ReachesFullOpacityAfterAHundredFramesNotBefore)
{
    nd::ScreenFade fade;
    for (int frame = 0; frame < 98; ++frame)
        fade.Advance();
    EXPECT_LT(fade.Value(), 1.0f);
    for (int frame = 0; frame < 10; ++frame)
        fade.Advance();
    EXPECT_FLOAT_EQ(fade.Value(), 1.0f);
    fade.Advance();
    EXPECT_FLOAT_EQ(fade.Value(), 1.0f);
}

TEST(ScreenFade, OpaqueWindowOnTheFirstFrameIsNeverTouched)
{
    nd::ScreenFade fade;
    EXPECT_FALSE(fade.Begin(1.0f));
    fade.Advance();
    // Later opacity readings do not matter once the fade has begun.
    EXPECT_FALSE(fade.Begin(0.0f));
}

TEST(ScreenFade, TransparentWindowIsDrivenForTheWholeFade)
{
    nd::ScreenFade fade;
    EXPECT_TRUE(fade.Begin(0.0f));
    fade.Advance();
    EXPECT_TRUE(fade.Begin(1.0f));
}

TEST(FadeAlpha, TruncatesAndStaysInRange)
{
    EXPECT_EQ(nd::FadeAlpha(0.0f), 0);
    EXPECT_EQ(nd::FadeAlpha(0.5f), 127);
    EXPECT_EQ(nd::FadeAlpha(0.999f), 254);
    EXPECT_EQ(nd::FadeAlpha(1.0f), 255);
    // A colour alpha must never wrap around.
    EXPECT_EQ(nd::FadeAlpha(1.5f), 255);
    EXPECT_EQ(nd::FadeAlpha(-0.2f), 0);
}

} // namespace
