// The support screen, the download-error screen and their "Exit" buttons.

#include "ScreenHarness.h"

#include "UI/ScreenStyle.h"

#include <gtest/gtest.h>

namespace
{

using screentest::ScreenHarness;

const ImVec2 kSupportExit(600.0f, 519.0f);
const ImVec2 kDownloadErrorExit(900.0f, 519.0f);

void ShowDownloadError(ScreenHarness& h)
{
    h.StartOnProgressScreen();
    h.services->finished = true;
    h.services->lastUserMessage =
        "Downloading setup failed. You are now directed to our Support Center for help.";
}

TEST(SupportScreen, ExitButtonQuitsThroughTheExitStep)
{
    ScreenHarness h;
    h.screens->screen = nd::Screen::StartFailed;
    EXPECT_FALSE(h.Click(kSupportExit.x, kSupportExit.y));
    EXPECT_EQ(h.services->postLogs, 1);
}

TEST(SupportScreen, PressDarkensTheButtonAndAReleaseOutsideDoesNothing)
{
    ScreenHarness h;
    h.screens->screen = nd::Screen::StartFailed;
    const ImVec2 min(520.0f, 500.0f), max(680.0f, 538.0f);
    h.Mouse(kSupportExit.x, kSupportExit.y, false);
    h.Frame();
    EXPECT_TRUE(ScreenHarness::DrewColour(nd::ScreenStyle::White(40), min, max)); // hover fill
    EXPECT_TRUE(ScreenHarness::DrewColour(nd::ScreenStyle::White(255), min, max));
    EXPECT_EQ(ImGui::GetMouseCursor(), ImGuiMouseCursor_Hand);
    h.Mouse(kSupportExit.x, kSupportExit.y, true);
    h.Frame();
    EXPECT_TRUE(ScreenHarness::DrewColour(nd::ScreenStyle::White(176), min, max));
    EXPECT_FALSE(ScreenHarness::DrewColour(nd::ScreenStyle::White(255), min, max));
    h.Mouse(100.0f, 100.0f, true);
    EXPECT_TRUE(h.Frame());
    h.Mouse(100.0f, 100.0f, false);
    EXPECT_TRUE(h.Frame());
    EXPECT_EQ(h.services->postLogs, 0);
}

TEST(SupportScreen, GreyBackgroundOverTheWholeWindow)
{
    ScreenHarness h;
    h.screens->screen = nd::Screen::StartFailed;
    h.Frame();
    EXPECT_TRUE(ScreenHarness::DrewColour(IM_COL32(100, 100, 100, 255), ImVec2(1199.0f, 639.0f)));
    EXPECT_TRUE(
        ScreenHarness::DrewColour(IM_COL32(100, 100, 100, 255), ImVec2(-1.0f, -1.0f), ImVec2(1.0f, 1.0f)));
}

TEST(DownloadErrorScreen, ReplacesTheProgressScreenAndExitQuits)
{
    ScreenHarness h;
    ShowDownloadError(h);
    h.services->manager = nd::ManagerCounters{};
    EXPECT_EQ(h.Frames(5), 5);
    EXPECT_EQ(h.services->speedReads, 0); // no figures table
    EXPECT_FALSE(h.Click(kDownloadErrorExit.x, kDownloadErrorExit.y));
    EXPECT_EQ(h.services->postLogs, 1);
}

TEST(DownloadErrorScreen, ExitButtonIsDrawnDarkOnTheWhiteHalf)
{
    // White lines on the white window background would hide the only way out.
    ScreenHarness h;
    ShowDownloadError(h);
    const ImVec2 min(820.0f, 500.0f), max(980.0f, 538.0f);
    h.Mouse(kDownloadErrorExit.x, kDownloadErrorExit.y, false);
    h.Frame();
    EXPECT_TRUE(ScreenHarness::DrewColour(nd::ScreenStyle::Dark(255), min, max));
    EXPECT_FALSE(ScreenHarness::DrewColour(nd::ScreenStyle::White(255), min, max));
    h.Mouse(kDownloadErrorExit.x, kDownloadErrorExit.y, true);
    h.Frame();
    EXPECT_TRUE(ScreenHarness::DrewColour(nd::ScreenStyle::Dark(176), min, max));
}

TEST(DownloadErrorScreen, ReleaseEndingADragOverExitDoesNotQuit)
{
    ScreenHarness h;
    ShowDownloadError(h);
    h.Mouse(kDownloadErrorExit.x, kDownloadErrorExit.y + 60.0f, false);
    h.Frame();
    h.Mouse(kDownloadErrorExit.x, kDownloadErrorExit.y + 60.0f, true);
    h.Frame();
    h.Mouse(kDownloadErrorExit.x, kDownloadErrorExit.y, true);
    h.Frame();
    h.Mouse(kDownloadErrorExit.x, kDownloadErrorExit.y, false);
    EXPECT_TRUE(h.Frame());
    EXPECT_EQ(h.services->postLogs, 0);
}

TEST(DownloadErrorScreen, LongMessageMovesExitBelowItsLastLine)
{
    ScreenHarness h;
    ShowDownloadError(h);
    std::string message = "Failed to run setup";
    for (int line = 0; line < 4; ++line)
        message += " Z:/a/very/long/folder/of/the/release/Norvia_3_2_Home/Setup_Norvia_3_2_Home.exe";
    h.services->lastUserMessage = message;
    // Where the button is, by its hover fill.
    float top = 0.0f;
    for (float y = 500.0f; y < 640.0f && top == 0.0f; y += 2.0f)
    {
        h.Mouse(kDownloadErrorExit.x, y, false);
        ASSERT_TRUE(h.Frame());
        if (ScreenHarness::DrewColour(nd::ScreenStyle::Dark(40)))
            top = y;
    }
    ASSERT_GT(top, 540.0f) << "the button stays where the message runs";
    EXPECT_LE(top + 38.0f, 640.0f);
    // Beside the button, at its height, no line of the message.
    EXPECT_FALSE(ScreenHarness::DrewColour(nd::ScreenStyle::Dark(), ImVec2(600.0f, top - 2.0f),
                                           ImVec2(818.0f, 640.0f)));
    EXPECT_FALSE(ScreenHarness::DrewColour(nd::ScreenStyle::Dark(), ImVec2(982.0f, top - 2.0f),
                                           ImVec2(1200.0f, 640.0f)));
    EXPECT_FALSE(h.Click(kDownloadErrorExit.x, top + 19.0f));
    EXPECT_EQ(h.services->postLogs, 1);
}

} // namespace
