#include "UI/DownloadManagerInterface.h"

#include "App/Logo.h"
#include "App/Texture.h"
#include "UI/LiveScreenServices.h"
#include "UI/ScreenStyle.h"

#include <imgui.h>

#include <cfloat>
#include <system_error>

namespace nd
{

std::shared_ptr<DownloadManagerInterface> DownloadManagerInterface::Instance()
{
    static const std::shared_ptr<DownloadManagerInterface> instance = []
    {
        // The front-end, and the HTTP library under it, are made first so that at exit they are
        // torn down after this object, whose destructor may still have to stop an artwork transfer.
        DownloadSystem::GetDownloadCore();
        return std::make_shared<DownloadManagerInterface>();
    }();
    return instance;
}

DownloadManagerInterface::~DownloadManagerInterface()
{
    Shutdown();
}

void DownloadManagerInterface::Shutdown()
{
    artworkStopping.store(true);
    if (artworkTask.joinable())
        artworkTask.join();
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
    try
    {
        artworkTask = std::thread([this] { Init(); });
    }
    catch (const std::system_error&)
    {
        artworkReady.store(true, std::memory_order_release); // no thread: the screens go on without artwork
    }
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
    {
        splashTime += host.DeltaSeconds() * kSplashSpeed;
        const bool artworkIn = PollArtwork();
        if (!describing && ((artworkIn && splashTime > kSplashEnd) || splashTime > kSplashLongest))
        {
            host.BeginDescriptionRequest();
            describing = true;
        }
        // The splash stays as it is until the service has answered.
        const std::optional<bool> described = describing ? host.DescriptionResult() : std::nullopt;
        if (described)
            LeaveSplash(*described);
        else
            DrawSplash(splashTime);
        break;
    }
    case Screen::Progress:
        if (progressFade.Begin(host.WindowOpacity()))
            host.SetOpacity(progressFade.Value());
        DrawSidePanel(progressFade.Value());
        // How the run ended decides, not what it recorded on the way.
        if (host.IsFinished() && !host.StartedSetup())
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

    // A run that started the setup quits without the exit step.
    if (screen == Screen::Progress && host.IsFinished() && host.StartedSetup())
        return false;
    if (!keep)
    {
        // Off the screen before the upload begins, so the program ends at once for its user.
        host.HideWindow();
        host.PostLogFile();
        return false;
    }
    return true;
}

// The next screen fades in from a fully transparent window.
void DownloadManagerInterface::LeaveSplash(bool described)
{
    ScreenServices& host = Services();
    describing = false;
    // The splash's decoded artwork is freed by now; what the allocator keeps of it would add to
    // the larger window's frame buffers instead of giving them room.
    host.ReleaseFreedMemory();
    host.SetOpacity(0.0f);
    if (described)
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
                                        const std::string& text, float wrapWidth,
                                        const std::optional<ImVec4>& clip)
{
    ImFont* font = Services().Font(fontKey);
    if (!font || text.empty())
        return;
    ImGui::GetWindowDrawList()->AddText(font, pixelSize, ImVec2(x, y), colour, text.data(),
                                        text.data() + text.size(), wrapWidth, clip ? &*clip : nullptr);
}

} // namespace nd
