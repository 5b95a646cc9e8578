// The side panel's slideshow as the progress screen drives it.

#include "ScreenHarness.h"

#include <gtest/gtest.h>

namespace
{

using screentest::ScreenHarness;

void AddSlides(ScreenHarness& h, int count)
{
    for (int i = 0; i < count; ++i)
        h.screens->slides.push_back(std::make_shared<nd::Texture>("slide", "s" + std::to_string(i)));
}

TEST(SidePanel, SlidesChangeEveryFifteenSecondsOfProgressFrames)
{
    ScreenHarness h;
    h.StartOnProgressScreen();
    AddSlides(h, 3);
    h.services->delta = 0.5f;
    h.Frames(30); // 15 s
    EXPECT_EQ(h.screens->currentSlide, 0);
    h.Frames(2);
    EXPECT_EQ(h.screens->currentSlide, 1);
    h.Frames(31);
    EXPECT_EQ(h.screens->currentSlide, 2);
    h.Frames(31);
    EXPECT_EQ(h.screens->currentSlide, 0);
}

TEST(SidePanel, OneSlideIsNeverDrawnNorAdvanced)
{
    ScreenHarness h;
    h.StartOnProgressScreen();
    AddSlides(h, 1);
    h.services->delta = 1.0f;
    h.Frames(40);
    EXPECT_EQ(h.screens->currentSlide, 0);
    EXPECT_FLOAT_EQ(h.screens->slideCountdown, 15.0f);
}

TEST(SidePanel, SlideshowStandsStillOffTheProgressScreen)
{
    ScreenHarness h;
    h.screens->screen = nd::Screen::StartFailed;
    AddSlides(h, 2);
    h.services->delta = 1.0f;
    h.Frames(40);
    EXPECT_FLOAT_EQ(h.screens->slideCountdown, 15.0f);
}

TEST(SidePanel, SloganFrameFadesWithTheScreen)
{
    ScreenHarness h;
    h.StartOnProgressScreen();
    h.Frames(50);
    const float fade = h.screens->progressFade.Value(); // about 0.5 in the next frame
    h.Frame();
    const ImVec2 min(0.0f, 150.0f), max(600.0f, 280.0f);
    EXPECT_NEAR(fade, 0.5f, 1e-3f);
    EXPECT_TRUE(
        ScreenHarness::DrewColour(ImGui::ColorConvertFloat4ToU32(ImVec4(1.0f, 1.0f, 1.0f, fade)), min, max));
    EXPECT_FALSE(ScreenHarness::DrewColour(IM_COL32(255, 255, 255, 255), min, max));
    h.Frames(60);
    EXPECT_TRUE(ScreenHarness::DrewColour(IM_COL32(255, 255, 255, 255), min, max));
    EXPECT_TRUE(
        ScreenHarness::DrewColour(ImGui::ColorConvertFloat4ToU32(ImVec4(0.1f, 0.1f, 0.1f, 0.4f)), min, max));
}

} // namespace
