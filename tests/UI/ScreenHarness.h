#pragma once
// Runs the screens without a window or GPU: a UI library context with the program's own fonts
// (the atlas builds on the CPU), injected mouse input, and FakeScreenServices standing in for the
// window, the frame clock, the textures and the download front-end.

#include "App/EmbeddedData.h"
#include "App/Texture.h"
#include "UI/DownloadManagerInterface.h"
#include "UI/ScreenServices.h"

#include <imgui.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace screentest
{

class FakeScreenServices : public nd::ScreenServices
{
public:
    // [SECTION] What the fake reports
    int32_t width = 1200;
    int32_t height = 640;
    float opacity = 1.0f;
    bool cursorKnown = true;
    float cursorX = 0.0f, cursorY = 0.0f;
    float delta = 1.0f / 60.0f;
    double elapsed = 0.0;
    bool uiInitialised = true;
    std::optional<bool> descriptionResult = true; // empty: the service has not answered yet
    bool finished = false;
    bool setupStarted = false;
    bool paused = false;
    std::optional<nd::ManagerCounters> manager;
    uint32_t speed = 0;
    DownloadSystem::RemainingTime remaining;
    std::u16string programFolder = u"/home/user/Downloads";
    std::string lastUserMessage;
    std::array<ImFont*, 6> fonts{};

    // [SECTION] What the screens did
    std::vector<float> opacities;
    std::vector<std::pair<int32_t, int32_t>> sizes;
    std::vector<std::pair<int32_t, int32_t>> positions;
    std::vector<std::string> createdTextures;
    std::vector<std::string> calls; // the front-end, window and browser operations, in order
    int speedReads = 0;
    int togglePauses = 0;
    int minimizes = 0;
    int postLogs = 0;

    int32_t WindowWidth() override { return width; }
    int32_t WindowHeight() override { return height; }
    float WindowOpacity() override { return opacity; }
    void SetOpacity(float value) override
    {
        opacity = value;
        opacities.push_back(value);
    }
    void SetSize(int32_t w, int32_t h) override
    {
        width = w;
        height = h;
        sizes.emplace_back(w, h);
        calls.push_back("SetSize");
    }
    void CenterOnScreen() override { calls.push_back("CenterOnScreen"); }
    void SetPosition(int32_t x, int32_t y) override { positions.emplace_back(x, y); }
    void Minimize() override { ++minimizes; }
    void HideWindow() override { calls.push_back("HideWindow"); }
    void ReleaseFreedMemory() override {}
    bool CursorScreenPos(float& x, float& y) override
    {
        x = cursorX;
        y = cursorY;
        return cursorKnown;
    }
    float DeltaSeconds() override { return delta; }
    double ElapsedSeconds() override { return elapsed; }
    uint64_t FrameCount() override { return 1; }

    bool UiInitialised() override { return uiInitialised; }
    ImFont* Font(int key) override { return key >= 0 && key < 6 ? fonts[key] : nullptr; }
    std::shared_ptr<nd::Texture> CreateTexture(const std::string& name, const uint8_t* rgba, int32_t w,
                                               int32_t h) override
    {
        if (rgba == nullptr || w <= 0 || h <= 0)
            return nullptr;
        createdTextures.push_back(name);
        // No GPU here: a registered-looking texture without pixels.
        return std::make_shared<nd::Texture>(name, "t" + std::to_string(createdTextures.size()));
    }

    void BeginDescriptionRequest() override { calls.push_back("RequestDescription"); }
    std::optional<bool> DescriptionResult() override { return descriptionResult; }
    void StartDownload() override { calls.push_back("StartDownload"); }
    bool IsFinished() override { return finished; }
    bool StartedSetup() override { return setupStarted; }
    void PostLogFile() override
    {
        ++postLogs;
        calls.push_back("PostLogFile");
    }
    bool IsPaused() override { return paused; }
    bool TogglePause() override
    {
        ++togglePauses;
        paused = !paused;
        return paused;
    }
    std::optional<nd::ManagerCounters> ReadManager() override { return manager; }
    uint32_t Speed() override
    {
        ++speedReads;
        return speed;
    }
    DownloadSystem::RemainingTime RemainingTime() override { return remaining; }
    std::u16string ProgramFolder() override { return programFolder; }

    std::string LastUserMessage() override { return lastUserMessage; }
    void OpenSupportArticle() override { calls.push_back("OpenSupportArticle"); }
};

// One UI context per harness; the screens object under test is a fresh one, not the program's.
class ScreenHarness
{
public:
    ScreenHarness()
    {
        context = ImGui::CreateContext();
        ImGuiIO& io = ImGui::GetIO();
        io.IniFilename = nullptr;
        io.DisplaySize = ImVec2(1200.0f, 640.0f);
        io.DeltaTime = 1.0f / 60.0f;
        static const ImWchar kIconRange[] = {0xE005, 0xF8FF, 0};
        const float sizes[6] = {8.0f, 12.0f, 16.0f, 24.0f, 32.0f, 64.0f};
        for (int key = 0; key < 6; ++key)
        {
            ImFontConfig text;
            text.FontDataOwnedByAtlas = false;
            services->fonts[key] = io.Fonts->AddFontFromMemoryTTF(
                const_cast<unsigned char*>(nd::embedded::TextFont),
                static_cast<int>(nd::embedded::TextFontSize), sizes[key], &text);
            ImFontConfig icons;
            icons.FontDataOwnedByAtlas = false;
            icons.MergeMode = true;
            icons.PixelSnapH = true;
            io.Fonts->AddFontFromMemoryTTF(const_cast<unsigned char*>(nd::embedded::IconFont),
                                           static_cast<int>(nd::embedded::IconFontSize), sizes[key], &icons,
                                           kIconRange);
        }
        io.FontDefault = services->fonts[2];
        io.Fonts->Build();
        screens->SetServices(services);
    }
    ~ScreenHarness() { ImGui::DestroyContext(context); }
    ScreenHarness(const ScreenHarness&) = delete;
    ScreenHarness& operator=(const ScreenHarness&) = delete;

    // Puts the mouse somewhere and sets the left button, for the next frame.
    void Mouse(float x, float y, bool leftDown)
    {
        ImGuiIO& io = ImGui::GetIO();
        io.MousePos = ImVec2(x, y);
        io.MouseDown[0] = leftDown;
    }

    // One whole frame: UI frame start, DrawFrame, render. Returns DrawFrame's result.
    bool Frame()
    {
        ImGui::GetIO().DisplaySize =
            ImVec2(static_cast<float>(services->width), static_cast<float>(services->height));
        ImGui::NewFrame();
        const bool keep = screens->DrawFrame();
        ImGui::Render();
        services->elapsed += services->delta;
        return keep;
    }

    // Frames until DrawFrame returns false or count frames ran; the number of frames run.
    int Frames(int count)
    {
        for (int i = 1; i <= count; ++i)
            if (!Frame())
                return i;
        return count;
    }

    // A frame of hovering at a point, then the left button goes down there for the next frame.
    // False when the hovering frame ended the program.
    [[nodiscard]] bool Press(float x, float y)
    {
        Mouse(x, y, false);
        if (!Frame())
            return false;
        Mouse(x, y, true);
        return true;
    }

    // A press and a release at one point, one frame each, after a frame of hovering.
    bool Click(float x, float y)
    {
        if (!Press(x, y) || !Frame())
            return false;
        Mouse(x, y, false);
        return Frame();
    }

    // Moves straight to the progress screen as a successful splash would leave it.
    void StartOnProgressScreen()
    {
        screens->screen = nd::Screen::Progress;
        services->opacity = 1.0f;
    }

    // True when the last rendered frame holds a vertex of exactly this colour (inside the
    // rectangle, when one is given).
    static bool DrewColour(ImU32 colour, ImVec2 min = ImVec2(-1e9f, -1e9f), ImVec2 max = ImVec2(1e9f, 1e9f))
    {
        ImDrawData* data = ImGui::GetDrawData();
        for (int list = 0; data && list < data->CmdListsCount; ++list)
            for (const ImDrawVert& vertex : data->CmdLists[list]->VtxBuffer)
                if (vertex.col == colour && vertex.pos.x >= min.x && vertex.pos.x <= max.x &&
                    vertex.pos.y >= min.y && vertex.pos.y <= max.y)
                    return true;
        return false;
    }

    std::shared_ptr<FakeScreenServices> services = std::make_shared<FakeScreenServices>();
    std::shared_ptr<nd::DownloadManagerInterface> screens = std::make_shared<nd::DownloadManagerInterface>();

private:
    ImGuiContext* context = nullptr;
};

} // namespace screentest
