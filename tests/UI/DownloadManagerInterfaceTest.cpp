// The screen flow and the window chrome, driven frame by frame with injected mouse input.

#include "ScreenHarness.h"
#include "TestImages.h"

#include "Core/ErrorLog.h"
#include "UI/ScreenStyle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>

namespace
{

using nd::Screen;
using screentest::ScreenHarness;

size_t Count(const std::vector<std::string>& calls, const std::string& name)
{
    return static_cast<size_t>(std::count(calls.begin(), calls.end(), name));
}

// Centre of a title-bar glyph in a window of the given width, as DrawTitleBar lays it out.
ImVec2 GlyphCentre(ScreenHarness& h, const char* glyph, float pixelSize, float right, float top)
{
    const nd::Float2 s = h.screens->MeasureText(nd::ScreenStyle::kFont24, pixelSize, glyph, 0.0f);
    return ImVec2(static_cast<float>(h.services->width) - right - s.x * 0.5f, top + s.y * 0.5f);
}

ImVec2 ExitGlyph(ScreenHarness& h)
{
    return GlyphCentre(h, nd::ScreenStyle::kIconCross, 24.0f, 8.0f, 6.0f);
}

ImVec2 MinimizeGlyph(ScreenHarness& h)
{
    return GlyphCentre(h, nd::ScreenStyle::kIconMinimize, 16.0f, 32.0f, 10.0f);
}

// [SECTION] Splash and leaving it

TEST(ScreenFlow, NothingIsDrawnBeforeTheUiLayerExists)
{
    ScreenHarness h;
    h.services->uiInitialised = false;
    EXPECT_FALSE(h.Frame());
    EXPECT_TRUE(h.services->calls.empty());
    EXPECT_EQ(h.services->postLogs, 0);
}

TEST(ScreenFlow, SplashWaitsForTheArtworkTwentySecondsAtMost)
{
    ScreenHarness h;
    h.screens->pendingCoreImages["logo_background"] = nd::ByteBuffer(); // never to be read
    h.services->delta = 0.5f;
    EXPECT_EQ(h.Frames(40), 40); // 20 s
    EXPECT_EQ(h.screens->screen, Screen::Splash);
    EXPECT_EQ(Count(h.services->calls, "RequestDescription"), 0u);
    h.Frame();
    EXPECT_EQ(Count(h.services->calls, "RequestDescription"), 1u);
    EXPECT_EQ(h.screens->screen, Screen::Progress);
    EXPECT_EQ(h.screens->pendingCoreImages.size(), 1u);
}

TEST(ScreenFlow, SplashStaysAsItIsUntilTheServiceHasAnswered)
{
    ScreenHarness h;
    h.screens->artworkReady = true;
    h.services->descriptionResult.reset();
    h.services->delta = 0.5f;
    EXPECT_EQ(h.Frames(60), 60);
    EXPECT_EQ(h.screens->screen, Screen::Splash);
    EXPECT_EQ(Count(h.services->calls, "RequestDescription"), 1u);
    EXPECT_EQ(Count(h.services->calls, "StartDownload"), 0u);
    EXPECT_FLOAT_EQ(h.services->opacities.back(), 1.0f);
    EXPECT_EQ(h.services->sizes.back(), std::make_pair(340, 60));

    h.services->descriptionResult = true;
    EXPECT_TRUE(h.Frame());
    EXPECT_EQ(h.screens->screen, Screen::Progress);
    EXPECT_EQ(Count(h.services->calls, "StartDownload"), 1u);
}

TEST(ScreenFlow, SplashLastsItsMinimumEvenWithTheArtworkAlreadyIn)
{
    ScreenHarness h;
    h.screens->artworkReady = true;
    h.services->delta = 0.1f; // splash time grows by 0.15 per frame
    for (int frame = 1; frame <= 13; ++frame)
    {
        ASSERT_TRUE(h.Frame());
        ASSERT_EQ(Count(h.services->calls, "RequestDescription"), 0u) << "frame " << frame;
    }
    ASSERT_TRUE(h.Frame()); // splash time 2.1
    EXPECT_EQ(Count(h.services->calls, "RequestDescription"), 1u);
    EXPECT_EQ(h.screens->screen, Screen::Progress);
}

TEST(ScreenFlow, SplashFadesInAndKeepsTheLogoSizeCentred)
{
    ScreenHarness h;
    h.services->delta = 0.2f; // splash time grows by 0.3 per frame
    h.Frames(5);
    ASSERT_GE(h.services->opacities.size(), 5u);
    EXPECT_NEAR(h.services->opacities[0], 0.3f, 1e-5f);
    EXPECT_NEAR(h.services->opacities[1], 0.6f, 1e-5f);
    EXPECT_FLOAT_EQ(h.services->opacities[4], 1.0f); // 1.5 capped at full opacity
    EXPECT_EQ(h.services->sizes.back(), std::make_pair(340, 60));
    EXPECT_EQ(Count(h.services->calls, "CenterOnScreen"), 5u);
}

TEST(ScreenFlow, SuccessfulRequestStartsTheDownloadBehindATransparentWindow)
{
    ScreenHarness h;
    h.screens->artworkReady = true;
    h.services->delta = 1.0f;
    h.Frames(2);
    ASSERT_EQ(h.screens->screen, Screen::Progress);
    const std::vector<std::string> expected{"SetSize",       "CenterOnScreen", "RequestDescription",
                                            "StartDownload", "SetSize",        "CenterOnScreen"};
    EXPECT_EQ(h.services->calls, expected);
    EXPECT_FLOAT_EQ(h.services->opacities.back(), 0.0f);
    EXPECT_EQ(h.services->sizes.back(), std::make_pair(1200, 640));
}

TEST(ScreenFlow, FailedRequestShowsTheSupportScreenAndOpensTheArticle)
{
    ScreenHarness h;
    h.screens->artworkReady = true;
    h.services->descriptionResult = false;
    h.services->delta = 1.0f;
    EXPECT_EQ(h.Frames(2), 2);
    EXPECT_EQ(h.screens->screen, Screen::StartFailed);
    EXPECT_EQ(Count(h.services->calls, "OpenSupportArticle"), 1u);
    EXPECT_EQ(Count(h.services->calls, "StartDownload"), 0u);
    EXPECT_EQ(h.services->sizes.back(), std::make_pair(1200, 640));
    // The user can only leave.
    EXPECT_EQ(h.Frames(50), 50);
    EXPECT_EQ(Count(h.services->calls, "OpenSupportArticle"), 1u);
}

// [SECTION] Fades and the end of the run

TEST(ScreenFlow, NewScreenFadesTheWindowInOverAHundredFrames)
{
    ScreenHarness h;
    h.screens->screen = Screen::Progress;
    h.services->opacity = 0.0f; // as leaving the splash left it
    h.Frames(120);
    const std::vector<float>& set = h.services->opacities;
    ASSERT_EQ(set.size(), 120u);
    EXPECT_FLOAT_EQ(set[0], 0.0f);
    EXPECT_NEAR(set[50], 0.5f, 1e-4f);
    EXPECT_LT(set[98], 1.0f);
    EXPECT_FLOAT_EQ(set[119], 1.0f);
    EXPECT_TRUE(std::is_sorted(set.begin(), set.end()));
}

TEST(ScreenFlow, OpaqueWindowOnTheFirstFrameKeepsItsOpacity)
{
    ScreenHarness h;
    h.screens->screen = Screen::StartFailed;
    h.services->opacity = 1.0f;
    h.Frames(30);
    EXPECT_TRUE(h.services->opacities.empty());
}

TEST(ScreenFlow, RunThatStartedTheSetupEndsTheProgramWithoutTheExitStep)
{
    ScreenHarness h;
    h.StartOnProgressScreen();
    EXPECT_TRUE(h.Frame());
    h.services->finished = true;
    h.services->setupStarted = true;
    EXPECT_FALSE(h.Frame());
    EXPECT_EQ(h.services->postLogs, 0);
}

TEST(ScreenFlow, RunThatEndedWithoutTheSetupStaysOnTheErrorScreenUntilExit)
{
    ScreenHarness h;
    h.StartOnProgressScreen();
    h.services->finished = true;
    h.services->lastUserMessage = "Downloading setup failed.";
    EXPECT_EQ(h.Frames(20), 20);
    // The download-error screen's Exit button, centred on the right half.
    EXPECT_FALSE(h.Click(900.0f, 519.0f));
    EXPECT_EQ(h.services->postLogs, 1);
}

// [SECTION] Title bar

TEST(TitleBar, ClickOnTheExitGlyphRunsTheExitStepAndQuits)
{
    ScreenHarness h;
    h.StartOnProgressScreen();
    const ImVec2 exit = ExitGlyph(h);
    EXPECT_FALSE(h.Click(exit.x, exit.y));
    EXPECT_EQ(h.services->postLogs, 1);
    // Off the screen before the upload starts.
    const std::vector<std::string>& calls = h.services->calls;
    ASSERT_EQ(Count(calls, "HideWindow"), 1u);
    EXPECT_LT(std::find(calls.begin(), calls.end(), "HideWindow"),
              std::find(calls.begin(), calls.end(), "PostLogFile"));
}

TEST(TitleBar, PressOnTheExitGlyphReleasedElsewhereDoesNothing)
{
    ScreenHarness h;
    h.StartOnProgressScreen();
    const ImVec2 exit = ExitGlyph(h);
    ASSERT_TRUE(h.Press(exit.x, exit.y));
    h.Frame();
    h.Mouse(exit.x - 200.0f, exit.y + 200.0f, true);
    EXPECT_TRUE(h.Frame());
    h.Mouse(exit.x - 200.0f, exit.y + 200.0f, false);
    EXPECT_TRUE(h.Frame());
    EXPECT_EQ(h.services->postLogs, 0);
    // A press on the glyph never starts a window drag.
    EXPECT_TRUE(h.services->positions.empty());
}

TEST(TitleBar, ExitGlyphTakesTheAccentWhileHoveredAndThePressedAccentWhileHeld)
{
    ScreenHarness h;
    h.StartOnProgressScreen();
    const ImVec2 exit = ExitGlyph(h);
    const ImVec2 min(exit.x - 20.0f, 0.0f), max(1200.0f, 40.0f);
    h.Mouse(10.0f, 600.0f, false);
    h.Frame();
    EXPECT_TRUE(ScreenHarness::DrewColour(nd::ScreenStyle::Dark(), min, max));
    EXPECT_FALSE(ScreenHarness::DrewColour(nd::ScreenStyle::Accent(), min, max));
    h.Mouse(exit.x, exit.y, false);
    h.Frame();
    EXPECT_TRUE(ScreenHarness::DrewColour(nd::ScreenStyle::Accent(), min, max));
    h.Mouse(exit.x, exit.y, true);
    h.Frame();
    EXPECT_TRUE(ScreenHarness::DrewColour(nd::ScreenStyle::AccentPressed(), min, max));
}

TEST(TitleBar, ClickOnTheMinimizeGlyphMinimizesAndGoesOn)
{
    ScreenHarness h;
    h.StartOnProgressScreen();
    const ImVec2 minimize = MinimizeGlyph(h);
    EXPECT_TRUE(h.Click(minimize.x, minimize.y));
    EXPECT_EQ(h.services->minimizes, 1);
    EXPECT_EQ(h.services->postLogs, 0);
}

TEST(TitleBar, SplashHasNoGlyphsAndCannotBeDragged)
{
    ScreenHarness h;
    h.services->delta = 0.001f;
    h.Frame();
    h.Mouse(330.0f, 20.0f, true);
    h.Frame();
    h.services->cursorX = 900.0f;
    h.Mouse(200.0f, 30.0f, true);
    h.Frame();
    h.Mouse(330.0f, 20.0f, false);
    EXPECT_TRUE(h.Frame());
    EXPECT_TRUE(h.services->positions.empty());
    EXPECT_EQ(h.services->postLogs, 0);
    EXPECT_EQ(h.services->minimizes, 0);
}

// [SECTION] Dragging the window

TEST(WindowDrag, DraggingTheBackgroundMovesTheWindowWithTheCursor)
{
    ScreenHarness h;
    h.StartOnProgressScreen();
    ASSERT_TRUE(h.Press(300.0f, 250.0f));
    h.services->cursorX = 1000.0f;
    h.services->cursorY = 700.0f;
    h.Frame();
    ASSERT_FALSE(h.services->positions.empty());
    EXPECT_EQ(h.services->positions.back(), std::make_pair(700, 450));
    EXPECT_TRUE(h.screens->moving);
    h.services->cursorX = 1050.5f;
    h.services->cursorY = 690.9f;
    h.Frame();
    EXPECT_EQ(h.services->positions.back(), std::make_pair(750, 440)); // truncated
    h.Mouse(300.0f, 250.0f, false);
    h.Frame();
    EXPECT_FALSE(h.screens->moving);
    EXPECT_FALSE(h.screens->dragging);
}

TEST(WindowDrag, ReleaseEndingADragOverTheMinimizeGlyphDoesNotMinimize)
{
    ScreenHarness h;
    h.StartOnProgressScreen();
    const ImVec2 minimize = MinimizeGlyph(h);
    // Grab the background just left of the glyph; the window lags behind a fast pointer so the
    // pointer ends over the glyph when the button is released.
    ASSERT_TRUE(h.Press(minimize.x - 60.0f, minimize.y));
    h.Frame();
    h.Mouse(minimize.x, minimize.y, true);
    h.Frame();
    h.Mouse(minimize.x, minimize.y, false);
    h.Frame();
    h.Frame();
    EXPECT_EQ(h.services->minimizes, 0);
}

TEST(WindowDrag, ReleaseEndingADragOverTheExitGlyphDoesNotQuit)
{
    ScreenHarness h;
    h.StartOnProgressScreen();
    const ImVec2 exit = ExitGlyph(h);
    ASSERT_TRUE(h.Press(exit.x - 80.0f, exit.y));
    h.Frame();
    h.Mouse(exit.x - 40.0f, exit.y, true);
    h.Frame();
    h.Mouse(exit.x, exit.y, true);
    EXPECT_TRUE(h.Frame());
    h.Mouse(exit.x, exit.y, false);
    EXPECT_TRUE(h.Frame());
    EXPECT_EQ(h.services->postLogs, 0);
}

TEST(WindowDrag, UnknownCursorPositionLeavesTheWindowWhereItIs)
{
    ScreenHarness h;
    h.StartOnProgressScreen();
    h.services->cursorKnown = false;
    ASSERT_TRUE(h.Press(300.0f, 250.0f));
    h.Frame();
    h.Frame();
    EXPECT_TRUE(h.services->positions.empty());
}

// [SECTION] Measuring and artwork

TEST(MeasureText, RoundsTheWidthAndKeepsTheMeasuredHeight)
{
    ScreenHarness h;
    const std::string text = "Please wait while we download Norvia...";
    const ImVec2 raw = h.services->fonts[3]->CalcTextSizeA(20.0f, FLT_MAX, 0.0f, text.c_str());
    const nd::Float2 s = h.screens->MeasureText(3, 20.0f, text, 0.0f);
    EXPECT_EQ(s.x, static_cast<float>(static_cast<int>(raw.x + 0.95f)));
    EXPECT_FLOAT_EQ(s.y, raw.y);
    EXPECT_GT(s.x, 200.0f);
    EXPECT_FLOAT_EQ(s.y, 20.0f);
}

TEST(MeasureText, EmptyTextHasThePixelHeightAndNoWidth)
{
    ScreenHarness h;
    const nd::Float2 s = h.screens->MeasureText(2, 16.0f, "", 0.0f);
    EXPECT_EQ(s.x, 0.0f);
    EXPECT_EQ(s.y, 16.0f);
}

TEST(MeasureText, WrapsOnlyWithAPositiveWidthAndTakesHashesLiterally)
{
    ScreenHarness h;
    const std::string message =
        "Downloading setup failed. You are now directed to our Support Center for help.";
    const nd::Float2 line = h.screens->MeasureText(3, 20.0f, message, 0.0f);
    const nd::Float2 wrapped = h.screens->MeasureText(3, 20.0f, message, 420.0f);
    EXPECT_LE(wrapped.x, 420.0f);
    EXPECT_GE(wrapped.y, 2.0f * line.y);
    EXPECT_GT(h.screens->MeasureText(2, 16.0f, "A##B", 0.0f).x,
              h.screens->MeasureText(2, 16.0f, "A", 0.0f).x);
}

TEST(MeasureText, NothingWithoutTheUiLayer)
{
    ScreenHarness h;
    h.services->uiInitialised = false;
    const nd::Float2 s = h.screens->MeasureText(2, 16.0f, "text", 0.0f);
    EXPECT_EQ(s.x, 0.0f);
    EXPECT_EQ(s.y, 0.0f);
}

TEST(Artwork, NothingIsTakenBeforeTheTaskHasEnded)
{
    ScreenHarness h;
    h.screens->pendingCoreImages["logo_background"] = nd::ByteBuffer();
    EXPECT_FALSE(h.screens->PollArtwork());
    EXPECT_EQ(h.screens->pendingCoreImages.size(), 1u);
}

TEST(Artwork, OneImageOfEachKindPerFrameInNameOrder)
{
    ScreenHarness h;
    const std::string kPng = screentest::SolidPng(4, 3, 200, 30, 30);
    nd::ByteBuffer png;
    png.Append(kPng);
    h.screens->pendingCoreImages["logo_background"] = png;
    h.screens->pendingCoreImages["a_missing"] = nd::ByteBuffer(); // a failed download
    h.screens->pendingMediaImages["slide_2"] = png;
    h.screens->pendingMediaImages["slide_1"] = png;
    h.screens->pendingMediaImages["slide_3"] = png;
    h.screens->artworkReady = true;

    const size_t errorsBefore = nd::GetErrorCount();
    EXPECT_FALSE(h.screens->PollArtwork());
    EXPECT_EQ(h.services->createdTextures, (std::vector<std::string>{"slide_1"}));
    EXPECT_EQ(nd::GetErrorCount(), errorsBefore + 1);
    EXPECT_EQ(nd::GetLogRecords().back()["message"], "Texture::LoadTexture -> failed loading a_missing");
    EXPECT_FALSE(h.screens->PollArtwork());
    EXPECT_TRUE(h.screens->PollArtwork());
    EXPECT_EQ(h.services->createdTextures,
              (std::vector<std::string>{"slide_1", "logo_background", "slide_2", "slide_3"}));
    ASSERT_EQ(h.screens->slides.size(), 3u);
    EXPECT_EQ(h.screens->slides[1]->GetName(), "slide_2");
    EXPECT_NE(h.screens->FindCoreTexture("logo_background"), nullptr);
    EXPECT_EQ(h.screens->FindCoreTexture("a_missing"), nullptr);
    EXPECT_EQ(h.screens->FindCoreTexture(""), nullptr);
}

} // namespace
