// The progress screen: the bar, the once-a-second figures, the verification view and the pause glyph.

#include "ScreenHarness.h"

#include "UI/ScreenStyle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

namespace
{

using screentest::ScreenHarness;

nd::ManagerCounters Downloading(int32_t percent)
{
    nd::ManagerCounters counters;
    counters.progressPercent = percent;
    counters.totalBytes = 2480343613ull;
    counters.downloadedBytes = 536870912;
    return counters;
}

ImVec2 PauseGlyph(ScreenHarness& h)
{
    const char* glyph = h.services->paused ? nd::ScreenStyle::kIconPlay : nd::ScreenStyle::kIconPause;
    const nd::Float2 s = h.screens->MeasureText(nd::ScreenStyle::kFont24, 20.0f, glyph, 0.0f);
    return ImVec2(1200.0f - 8.0f - s.x * 0.5f, 640.0f - 6.0f - s.y * 0.5f);
}

// Leftmost and rightmost x of the vertices of a colour inside a rectangle of the last frame.
std::pair<float, float> VertexSpan(ImU32 colour, ImVec2 min, ImVec2 max)
{
    std::pair<float, float> span(1e9f, -1e9f);
    ImDrawData* data = ImGui::GetDrawData();
    for (int list = 0; data && list < data->CmdListsCount; ++list)
        for (const ImDrawVert& vertex : data->CmdLists[list]->VtxBuffer)
            if (vertex.col == colour && vertex.pos.x >= min.x && vertex.pos.x <= max.x &&
                vertex.pos.y >= min.y && vertex.pos.y <= max.y)
                span = {std::min(span.first, vertex.pos.x), std::max(span.second, vertex.pos.x)};
    return span;
}

TEST(ProgressLayout, TitleIsCentredOnTheRightHalfAndNamesTheViewer)
{
    for (const bool viewer : {false, true})
    {
        ScreenHarness h;
        h.StartOnProgressScreen();
        h.screens->viewer = viewer;
        h.Frames(110); // fully faded in
        const std::string title = viewer ? "Please wait while we download Norvia Viewer..."
                                         : "Please wait while we download Norvia...";
        const nd::Float2 s = h.screens->MeasureText(nd::ScreenStyle::kFont24, 20.0f, title, 0.0f);
        EXPECT_NEAR(VertexSpan(nd::ScreenStyle::Dark(), ImVec2(0.0f, 369.0f), ImVec2(1200.0f, 390.0f)).first,
                    900.0f - s.x * 0.5f, 3.0f)
            << (viewer ? "viewer" : "home");
    }
}

TEST(ProgressLayout, PercentageIsWhiteOnTheFillAndDarkOnTheTrough)
{
    ScreenHarness h;
    h.StartOnProgressScreen();
    h.Frames(110);
    const ImVec2 min(870.0f, 398.0f), max(930.0f, 416.0f);
    // At 50 % the fill ends at the bar's middle, through the centred text.
    h.screens->progress = 0.5f;
    h.Frame();
    const auto white = VertexSpan(nd::ScreenStyle::White(), min, max);
    const auto dark = VertexSpan(nd::ScreenStyle::Dark(), min, max);
    EXPECT_LT(white.first, 895.0f);
    EXPECT_LE(white.second, 900.0f);
    EXPECT_GE(dark.first, 900.0f);
    EXPECT_GT(dark.second, 905.0f);
    // Wholly on one side, the text takes one colour.
    for (const auto& [fill, drawn, absent] :
         {std::tuple{0.3f, nd::ScreenStyle::Dark(), nd::ScreenStyle::White()},
          std::tuple{0.9f, nd::ScreenStyle::White(), nd::ScreenStyle::Dark()}})
    {
        h.screens->progress = fill;
        h.Frame();
        EXPECT_TRUE(ScreenHarness::DrewColour(drawn, min, max)) << fill;
        EXPECT_FALSE(ScreenHarness::DrewColour(absent, min, max)) << fill;
    }
}

TEST(ProgressFigures, LongFolderLosesItsMiddleAndEndsInsideTheWindow)
{
    ScreenHarness h;
    h.StartOnProgressScreen();
    h.services->manager = Downloading(40);
    h.services->programFolder =
        u"/home/user/" + std::u16string(60, u'x') + u"\u00e9" + std::u16string(60, u'y') + u"/Downloads";
    h.services->delta = 0.6f;
    h.Frames(110);
    const std::string& shown = h.screens->figures.installerText;
    EXPECT_EQ(shown.rfind("/home/user/xx", 0), 0u) << shown;
    EXPECT_NE(shown.find("..."), std::string::npos) << shown;
    EXPECT_EQ(shown.substr(shown.size() - 13), "yyy/Downloads") << shown;
    const auto drawn = VertexSpan(nd::ScreenStyle::Dark(), ImVec2(800.0f, 488.0f), ImVec2(1300.0f, 508.0f));
    EXPECT_GT(drawn.second, 1150.0f);
    EXPECT_LE(drawn.second, 1200.0f - 8.0f);
}

TEST(ProgressFigures, EmptyDuringTheFirstSecond)
{
    ScreenHarness h;
    h.StartOnProgressScreen();
    h.services->manager = Downloading(40);
    h.services->speed = 1000;
    h.Frames(55); // 0.9 s at 60 frames per second
    EXPECT_EQ(h.services->speedReads, 0);
    EXPECT_EQ(h.screens->figures.installerText, "");
    EXPECT_EQ(h.screens->figures.SizeText(), "0 B");
    EXPECT_FLOAT_EQ(h.screens->progress, 0.0f);
}

TEST(ProgressFigures, SampledOnceASecond)
{
    ScreenHarness h;
    h.StartOnProgressScreen();
    h.services->manager = Downloading(40);
    h.services->speed = 3617587;
    h.services->remaining = {0, 8, 25};
    h.services->delta = 0.25f;
    h.Frames(12); // elapsed 0 to 2.75: samples at 1.25 and 2.5
    EXPECT_EQ(h.services->speedReads, 2);
    EXPECT_EQ(h.screens->figures.installerText, "/home/user/Downloads");
    EXPECT_EQ(h.screens->figures.SizeText(), "2.31 GB");
    EXPECT_EQ(h.screens->figures.DownloadedText(), "512.00 MB");
    EXPECT_EQ(h.screens->figures.SpeedText(), "3.45 MB/s");
    EXPECT_EQ(h.screens->figures.RemainingText(), "0h : 8m : 25s");
    EXPECT_FLOAT_EQ(h.screens->progress, 0.4f);
}

TEST(ProgressFigures, BarNeverMovesBackwardsWhileDownloading)
{
    ScreenHarness h;
    h.StartOnProgressScreen();
    h.services->delta = 0.6f;
    h.services->manager = Downloading(50);
    h.Frames(4);
    EXPECT_FLOAT_EQ(h.screens->progress, 0.5f);
    h.services->manager = Downloading(40); // a retried file lowers the count
    h.Frames(4);
    EXPECT_FLOAT_EQ(h.screens->progress, 0.5f);
    h.services->manager = Downloading(170); // more on disk than listed
    h.Frames(4);
    EXPECT_FLOAT_EQ(h.screens->progress, 1.0f);
}

TEST(ProgressVerification, BarFollowsTheCheckAndFiguresStayPut)
{
    ScreenHarness h;
    h.StartOnProgressScreen();
    h.services->delta = 0.6f;
    h.services->manager = Downloading(100);
    h.Frames(4);
    ASSERT_FLOAT_EQ(h.screens->progress, 1.0f);
    const int reads = h.services->speedReads;

    nd::ManagerCounters checking;
    checking.checkingFile = true;
    checking.verifyPercent = 30;
    checking.checkingFileName = u"Norvia_Setup_3_2.exe";
    h.services->manager = checking;
    h.Frames(6);
    EXPECT_FLOAT_EQ(h.screens->progress, 0.3f); // may drop when checking starts
    EXPECT_EQ(h.services->speedReads, reads);
    EXPECT_EQ(h.screens->figures.SizeText(), "2.31 GB");

    checking.verifyPercent = 250;
    h.services->manager = checking;
    h.Frame();
    EXPECT_FLOAT_EQ(h.screens->progress, 1.0f);
}

TEST(ProgressVerification, NoPauseGlyphWhileChecking)
{
    ScreenHarness h;
    h.StartOnProgressScreen();
    nd::ManagerCounters checking;
    checking.checkingFile = true;
    h.services->manager = checking;
    const ImVec2 pause = PauseGlyph(h);
    EXPECT_TRUE(h.Click(pause.x, pause.y));
    EXPECT_EQ(h.services->togglePauses, 0);
}

TEST(ProgressWithoutManager, OnlyBandTitleAndBar)
{
    ScreenHarness h;
    h.StartOnProgressScreen();
    h.services->delta = 0.5f;
    const ImVec2 pause = PauseGlyph(h);
    EXPECT_TRUE(h.Click(pause.x, pause.y));
    h.Frames(10);
    EXPECT_EQ(h.services->togglePauses, 0);
    EXPECT_EQ(h.services->speedReads, 0);
}

TEST(PauseGlyph, ClickPausesAndTheNextClickResumes)
{
    ScreenHarness h;
    h.StartOnProgressScreen();
    h.services->manager = Downloading(10);
    const ImVec2 pause = PauseGlyph(h);
    EXPECT_TRUE(h.Click(pause.x, pause.y));
    EXPECT_EQ(h.services->togglePauses, 1);
    EXPECT_TRUE(h.services->paused);
    const ImVec2 play = PauseGlyph(h);
    EXPECT_TRUE(h.Click(play.x, play.y));
    EXPECT_EQ(h.services->togglePauses, 2);
    EXPECT_FALSE(h.services->paused);
}

TEST(PauseGlyph, TakesTheAccentColourWhileHovered)
{
    ScreenHarness h;
    h.StartOnProgressScreen();
    h.services->manager = Downloading(10);
    h.Frames(110); // fully faded in
    const ImVec2 pause = PauseGlyph(h);
    const ImVec2 min(pause.x - 20.0f, pause.y - 20.0f), max(1200.0f, 640.0f);
    h.Mouse(600.0f, 600.0f, false);
    h.Frame();
    EXPECT_TRUE(ScreenHarness::DrewColour(nd::ScreenStyle::Dark(), min, max));
    EXPECT_FALSE(ScreenHarness::DrewColour(nd::ScreenStyle::Accent(), min, max));
    h.Mouse(pause.x, pause.y, false);
    h.Frame();
    EXPECT_TRUE(ScreenHarness::DrewColour(nd::ScreenStyle::Accent(), min, max));
}

TEST(PauseGlyph, PressAndDragNeverMovesTheWindow)
{
    ScreenHarness h;
    h.StartOnProgressScreen();
    h.services->manager = Downloading(10);
    const ImVec2 pause = PauseGlyph(h);
    ASSERT_TRUE(h.Press(pause.x, pause.y));
    h.Frame();
    h.services->cursorX = 100.0f;
    h.Mouse(pause.x - 300.0f, pause.y - 300.0f, true);
    h.Frame();
    h.Frame();
    h.Mouse(pause.x - 300.0f, pause.y - 300.0f, false);
    h.Frame();
    EXPECT_TRUE(h.services->positions.empty());
    EXPECT_EQ(h.services->togglePauses, 0);
}

TEST(PauseGlyph, ReleaseEndingADragDoesNotToggle)
{
    ScreenHarness h;
    h.StartOnProgressScreen();
    h.services->manager = Downloading(10);
    const ImVec2 pause = PauseGlyph(h);
    ASSERT_TRUE(h.Press(pause.x - 100.0f, pause.y));
    h.Frame();
    h.Mouse(pause.x, pause.y, true);
    h.Frame();
    h.Mouse(pause.x, pause.y, false);
    h.Frame();
    EXPECT_FALSE(h.services->positions.empty());
    EXPECT_EQ(h.services->togglePauses, 0);
}

} // namespace
