// The right half of the window while the download runs: band, title, progress bar with its
// percentage, and either the verification status or the figures table with the pause glyph.

#include "App/Texture.h"
#include "Core/StringUtils.h"
#include "UI/DownloadManagerInterface.h"
#include "UI/ScreenInput.h"
#include "UI/ScreenServices.h"
#include "UI/ScreenStyle.h"

#include <imgui.h>

#include <algorithm>
#include <cfloat>

namespace nd
{

namespace
{

constexpr float kTitleTop = 369.0f;
constexpr float kBarTop = 400.0f;
constexpr float kBarHeight = 14.0f;
constexpr float kStatusTop = 490.0f;
constexpr float kValueColumnOffset = 145.0f;
constexpr float kValueMargin = 8.0f; // least room between a value's end and the window's edge

float Clamp01(double value)
{
    return static_cast<float>(std::clamp(value, 0.0, 1.0));
}

} // namespace

void DownloadManagerInterface::DrawBand()
{
    const std::shared_ptr<Texture> band = FindCoreTexture("logo_background");
    if (!band)
        return;
    const float width = static_cast<float>(Services().WindowWidth());
    ImGui::GetWindowDrawList()->AddImage(band->UiHandle(), ImVec2(static_cast<float>(band->GetWidth()), 0.0f),
                                         ImVec2(width, static_cast<float>(band->GetHeight())),
                                         ImVec2(0.0f, 0.0f), ImVec2(1.0f, 1.0f), ScreenStyle::White());
}

void DownloadManagerInterface::DrawProgressScreen(float fade)
{
    ScreenServices& host = Services();
    if (!host.UiInitialised())
        return;
    const float width = static_cast<float>(host.WindowWidth());
    const float height = static_cast<float>(host.WindowHeight());
    const float windowWidth = ImGui::GetWindowWidth();
    const int alpha = FadeAlpha(fade);
    ImDrawList* draw = ImGui::GetWindowDrawList();

    DrawBand();

    const std::string title =
        std::string("Please wait while we download Norvia") + (viewer ? " Viewer..." : "...");
    const Float2 titleSize = MeasureText(ScreenStyle::kFont24, 20.0f, title, 0.0f);
    DrawText(ScreenStyle::kFont24, 20.0f, width * 0.75f - titleSize.x * 0.5f, kTitleTop,
             ScreenStyle::Dark(alpha), title);

    const ImVec2 bar(width * 0.4f, kBarHeight);
    const ImVec2 barPos(width * 0.75f - bar.x * 0.5f, kBarTop);
    draw->AddRectFilled(ImVec2(barPos.x - 1.0f, barPos.y - 1.0f),
                        ImVec2(barPos.x + bar.x + 1.0f, barPos.y + bar.y + 1.0f), ScreenStyle::White(alpha),
                        0.0f);
    draw->AddRectFilled(barPos, ImVec2(barPos.x + bar.x * progress, barPos.y + kBarHeight),
                        ScreenStyle::Accent(alpha), 0.0f);

    // The percentage is drawn twice, each time cut at the fill's edge: white where it lies on the
    // fill, dark where it lies on the white trough, so that every part of it can be read.
    const std::string percent = ScreenStyle::PercentText(progress);
    const Float2 percentSize = MeasureText(ScreenStyle::kFont16, 16.0f, percent, 0.0f);
    const float percentX = barPos.x + bar.x * 0.5f - percentSize.x * 0.5f;
    const float fillEdge = barPos.x + bar.x * progress;
    if (fillEdge > percentX)
        DrawText(ScreenStyle::kFont16, 16.0f, percentX, barPos.y - 1.0f, ScreenStyle::White(alpha), percent,
                 0.0f, ImVec4(-FLT_MAX, -FLT_MAX, fillEdge, FLT_MAX));
    if (fillEdge < percentX + percentSize.x)
        DrawText(ScreenStyle::kFont16, 16.0f, percentX, barPos.y - 1.0f, ScreenStyle::Dark(alpha), percent,
                 0.0f, ImVec4(fillEdge, -FLT_MAX, FLT_MAX, FLT_MAX));

    const std::optional<ManagerCounters> manager = host.ReadManager();
    if (!manager)
        return;

    if (manager->checkingFile)
    {
        // The bar follows the check from the next frame on; it may drop to 0 % when checking starts.
        progress = Clamp01(static_cast<double>(manager->verifyPercent) / 100.0);
        const std::string status =
            manager->checkingFileName.empty()
                ? std::string("Verifying setup...")
                : "Verifying file: " + StringUtils::ToNarrow(manager->checkingFileName);
        const Float2 statusSize = MeasureText(ScreenStyle::kFont16, 16.0f, status, windowWidth * 0.5f);
        DrawText(ScreenStyle::kFont16, 16.0f, windowWidth * 0.75f - statusSize.x * 0.5f, kStatusTop,
                 ScreenStyle::Dark(alpha), status);
        return;
    }

    if (figures.SampleDue(host.ElapsedSeconds()))
    {
        // A long folder loses its middle, so that its end stays inside the window.
        const float room = windowWidth - kValueMargin - (barPos.x + kValueColumnOffset);
        figures.installerText =
            ScreenStyle::ShortenInMiddle(StringUtils::ToNarrow(host.ProgramFolder()), room,
                                         [this](const std::string& text)
                                         { return MeasureText(ScreenStyle::kFont16, 16.0f, text, 0.0f).x; });
        figures.totalBytes = manager->totalBytes;
        figures.downloadedBytes = manager->downloadedBytes;
        figures.bytesPerSecond = host.Speed();
        const DownloadSystem::RemainingTime remaining = host.RemainingTime();
        figures.hours = remaining.hours;
        figures.minutes = remaining.minutes;
        figures.seconds = remaining.seconds;
        // While downloading the bar never moves backwards.
        progress = std::max(progress, Clamp01(static_cast<double>(manager->progressPercent) / 100.0));
    }

    // The glyph chosen before a click is still the one drawn in the click's frame.
    const char* glyph = host.IsPaused() ? ScreenStyle::kIconPlay : ScreenStyle::kIconPause;
    const Float2 glyphSize = MeasureText(ScreenStyle::kFont24, 20.0f, glyph, 0.0f);
    const ImVec2 glyphMin(width - glyphSize.x - 8.0f, height - glyphSize.y - 6.0f);
    const ImVec2 glyphMax(glyphMin.x + glyphSize.x, glyphMin.y + glyphSize.y);
    if (ScreenInput::ReleasedInside(glyphMin, glyphMax, DragInProgress()))
        host.TogglePause();
    const bool hovered = ScreenInput::MouseInside(glyphMin, glyphMax);
    DrawText(ScreenStyle::kFont24, 20.0f, glyphMin.x, glyphMin.y,
             hovered ? ScreenStyle::Accent(alpha) : ScreenStyle::Dark(alpha), glyph);
    if (ScreenInput::RegisterItem(glyphMin, glyphMax, "PAUSE_BUTTON"))
        dragBlocked = true;

    ImGui::PushStyleColor(ImGuiCol_Text, ScreenStyle::Dark(alpha));
    ImGui::SetCursorPos(ImVec2(barPos.x, kStatusTop));
    ImGui::BeginGroup();
    for (const char* label :
         {"Norvia Installer:", "Download Size:", "Total Downloaded:", "Download Speed:", "Time Remaining:"})
        ImGui::TextUnformatted(label);
    ImGui::EndGroup();

    // Values are plain text: a "%" in a folder name is shown as it is.
    ImGui::SetCursorPos(ImVec2(barPos.x + kValueColumnOffset, kStatusTop));
    ImGui::BeginGroup();
    for (const std::string& value : {figures.installerText, figures.SizeText(), figures.DownloadedText(),
                                     figures.SpeedText(), figures.RemainingText()})
        ImGui::TextUnformatted(value.c_str(), value.c_str() + value.size());
    ImGui::EndGroup();
    ImGui::PopStyleColor();
}

} // namespace nd
