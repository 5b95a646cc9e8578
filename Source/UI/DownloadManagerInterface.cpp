#include "UI/DownloadManagerInterface.h"

#include "App/Logo.h"
#include "App/Texture.h"
#include "UI/LiveScreenServices.h"
#include "UI/ScreenStyle.h"

#include <imgui.h>

#include <cfloat>
#include <thread>

namespace nd
{

std::shared_ptr<DownloadManagerInterface> DownloadManagerInterface::Instance()
{
    static const std::shared_ptr<DownloadManagerInterface> instance =
        std::make_shared<DownloadManagerInterface>();
    return instance;
}

ScreenServices& DownloadManagerInterface::Services()
{
    if (!services)
        services = std::make_shared<LiveScreenServices>();
    return *services;
}

void DownloadManagerInterface::SetServices(std::shared_ptr<ScreenServices> replacement)
{
    services = std::move(replacement);
}

void DownloadManagerInterface::Prepare(bool viewerMode)
{
    if (prepared)
        return;
    viewer = viewerMode;
    prepared = true;
    logo = Services().CreateTexture("logo", LogoPixels(), kLogoWidth, kLogoHeight);

    // The task holds a reference so the object outlives it even when the window is closed while
    // the artwork still loads and the process begins to tear down its static objects.
    std::shared_ptr<DownloadManagerInterface> self = weak_from_this().lock();
    DownloadManagerInterface* target = this;
    std::thread([self, target] { target->Init(); }).detach();
}

bool DownloadManagerInterface::DrawFrame()
{
    ScreenServices& host = Services();
    if (!host.UiInitialised())
        return false;
    bool keep = true;
    dragBlocked = false;

    ImFont* font = host.Font(ScreenStyle::kFont16);
    if (font)
        ImGui::PushFont(font);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(0.0f, 0.0f));
    ImGui::PushStyleVar(ImGuiStyleVar_WindowRounding, 0.0f);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowBorderSize, 0.0f);

    ImVec2 size(static_cast<float>(host.WindowWidth()), static_cast<float>(host.WindowHeight()));
    if (screen == Screen::Splash)
        size = logo ? ImVec2(static_cast<float>(logo->GetWidth()), static_cast<float>(logo->GetHeight()))
                    : ImVec2(static_cast<float>(kLogoWidth), static_cast<float>(kLogoHeight));
    ImGui::SetNextWindowSize(size);
    ImGui::SetNextWindowPos(ImVec2(0.0f, 0.0f), ImGuiCond_Always, ImVec2(0.0f, 0.0f));
    ImGui::Begin("##main_window", nullptr,
                 ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove |
                     ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoCollapse |
                     ImGuiWindowFlags_NoBringToFrontOnFocus);

    switch (screen)
    {
    case Screen::Splash:
        splashTime += host.DeltaSeconds() * kSplashSpeed;
        if (PollArtwork() && splashTime > kSplashEnd)
            LeaveSplash();
        else
            DrawSplash(splashTime);
        break;
    case Screen::Progress:
        if (progressFade.Begin(host.WindowOpacity()))
            host.SetOpacity(progressFade.Value());
        DrawSidePanel(progressFade.Value());
        if (host.IsFinished() && host.ErrorCount() != 0)
            keep = DrawDownloadErrorScreen();
        else
            DrawProgressScreen(progressFade.Value());
        if (keep)
            keep = !DrawTitleBar();
        progressFade.Advance();
        break;
    case Screen::StartFailed:
        if (startFailedFade.Begin(host.WindowOpacity()))
            host.SetOpacity(startFailedFade.Value());
        keep = DrawSupportScreen();
        if (keep)
            keep = !DrawTitleBar();
        startFailedFade.Advance();
        break;
    }

    HandleWindowDrag();
    ImGui::End();
    ImGui::PopStyleVar(3);
    if (font)
        ImGui::PopFont();

    // A run that ended without recording an error has started the setup: quit without the exit step.
    if (screen == Screen::Progress && host.IsFinished() && host.ErrorCount() == 0)
        return false;
    if (!keep)
    {
        host.PostLogFile();
        return false;
    }
    return true;
}

// The description request blocks this frame while the window is fully transparent; the next
// screen then fades in from there.
void DownloadManagerInterface::LeaveSplash()
{
    ScreenServices& host = Services();
    host.SetOpacity(0.0f);
    if (host.RequestDescription())
    {
        host.StartDownload();
        screen = Screen::Progress;
    }
    else
    {
        screen = Screen::StartFailed;
        host.OpenSupportArticle();
    }
    host.SetSize(1200, 640);
    host.CenterOnScreen();
}

Float2 DownloadManagerInterface::MeasureText(int fontKey, float pixelSize, const std::string& text,
                                             float wrapWidth)
{
    ScreenServices& host = Services();
    if (!host.UiInitialised())
        return {};
    if (text.empty())
        return {0.0f, pixelSize};
    ImFont* font = host.Font(fontKey);
    if (!font)
        return {};
    const ImVec2 measured =
        font->CalcTextSizeA(pixelSize, FLT_MAX, wrapWidth, text.data(), text.data() + text.size());
    return {static_cast<float>(static_cast<int>(measured.x + 0.95f)), measured.y};
}

std::shared_ptr<Texture> DownloadManagerInterface::FindCoreTexture(const std::string& name) const
{
    if (name.empty())
        return nullptr;
    const auto found = coreTextures.find(name);
    return found == coreTextures.end() ? nullptr : found->second;
}

void DownloadManagerInterface::DrawText(int fontKey, float pixelSize, float x, float y, unsigned int colour,
                                        const std::string& text, float wrapWidth)
{
    ImFont* font = Services().Font(fontKey);
    if (!font || text.empty())
        return;
    ImGui::GetWindowDrawList()->AddText(font, pixelSize, ImVec2(x, y), colour, text.data(),
                                        text.data() + text.size(), wrapWidth);
}

} // namespace nd
