#include "App/CoreUI.h"

#include "App/Application.h"
#include "App/EmbeddedData.h"
#include "App/Texture.h"
#include "App/Theme.h"
#include "App/UiRenderer.h"

#include <GLFW/glfw3.h>
#include <imgui.h>

#include <utility>

namespace nd
{

namespace
{

// Pixel size of each font key.
constexpr float kFontPixelSizes[kFontKeyCount] = {8.0f, 12.0f, 16.0f, 24.0f, 32.0f, 64.0f};

// The icons the screens draw (cross, play, pause, window minimize), merged into every text font.
// The whole private-use range of the icon font at six sizes took a 4096 x 4096 atlas, 64 MiB in
// RGBA, for four glyphs. A screen that draws another icon must add it here. The atlas keeps a
// pointer to the ranges.
constexpr ImWchar kIconGlyphRanges[] = {0xF00D, 0xF00D, 0xF04B, 0xF04C, 0xF2D1, 0xF2D1, 0};

// The smallest delta handed to the UI library, which requires a positive one.
constexpr float kMinimumDelta = 1.0e-6f;

} // namespace

std::shared_ptr<CoreUI> CoreUI::Instance()
{
    static std::shared_ptr<CoreUI> holder = std::make_shared<CoreUI>();
    return holder;
}

bool CoreUI::Init()
{
    return Init(Application::Instance().GetWindow());
}

bool CoreUI::Init(GLFWwindow* target)
{
    if (initialised)
        return true;
    if (target == nullptr)
        return false;

    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.BackendFlags |= ImGuiBackendFlags_HasMouseCursors | ImGuiBackendFlags_HasSetMousePos;
    io.BackendPlatformName = "imgui_impl_glfw";
    // No settings file is read or written.
    io.IniFilename = nullptr;

    LoadFonts();
    ApplyTheme(ImGui::GetStyle());
    CreateCursors();
    UiInput::ApplyKeyMap(io);
    window = target;
    InstallCallbacks(target);
    lastTime = 0.0;
    frameOpen = false;
    initialised = true;
    return true;
}

void CoreUI::LoadFonts()
{
    ImGuiIO& io = ImGui::GetIO();
    fonts.clear();
    for (int32_t key = 0; key < kFontKeyCount; ++key)
    {
        // The embedded data lives for the whole process and is never written, so the atlas only
        // borrows it.
        ImFontConfig textConfig;
        textConfig.FontDataOwnedByAtlas = false;
        ImFont* font = io.Fonts->AddFontFromMemoryTTF(const_cast<unsigned char*>(embedded::TextFont),
                                                      static_cast<int>(embedded::TextFontSize),
                                                      kFontPixelSizes[key], &textConfig);
        ImFontConfig iconConfig;
        iconConfig.FontDataOwnedByAtlas = false;
        iconConfig.MergeMode = true;
        iconConfig.PixelSnapH = true;
        io.Fonts->AddFontFromMemoryTTF(const_cast<unsigned char*>(embedded::IconFont),
                                       static_cast<int>(embedded::IconFontSize), kFontPixelSizes[key],
                                       &iconConfig, kIconGlyphRanges);
        fonts[key] = font;
    }
    io.FontDefault = fonts[kDefaultFontKey];

    // Only as high as the glyphs need, not rounded up to a power of two.
    io.Fonts->Flags |= ImFontAtlasFlags_NoPowerOfTwoHeight;
    unsigned char* pixels = nullptr;
    int width = 0, height = 0;
    io.Fonts->GetTexDataAsRGBA32(&pixels, &width, &height);
    // The atlas's own texture handle stays null: the renderer binds fontTexture for it.
    fontTexture = CreateTexture("font_texture", pixels, width, height);
    // The pixels live on in the texture, the glyphs in the fonts: the library's copies of the
    // pixels (RGBA and alpha) and of the font files (one per font added) are not needed again.
    io.Fonts->ClearTexData();
    io.Fonts->ClearInputData();
}

void CoreUI::CreateCursors()
{
    // Process-wide: made once, even if the UI context is made again.
    if (cursors[ImGuiMouseCursor_Arrow] != nullptr)
        return;
    cursors[ImGuiMouseCursor_Arrow] = glfwCreateStandardCursor(GLFW_ARROW_CURSOR);
    cursors[ImGuiMouseCursor_TextInput] = glfwCreateStandardCursor(GLFW_IBEAM_CURSOR);
    cursors[ImGuiMouseCursor_ResizeNS] = glfwCreateStandardCursor(GLFW_VRESIZE_CURSOR);
    cursors[ImGuiMouseCursor_ResizeEW] = glfwCreateStandardCursor(GLFW_HRESIZE_CURSOR);
    cursors[ImGuiMouseCursor_Hand] = glfwCreateStandardCursor(GLFW_HAND_CURSOR);
    cursors[ImGuiMouseCursor_ResizeAll] = glfwCreateStandardCursor(GLFW_ARROW_CURSOR);
    cursors[ImGuiMouseCursor_ResizeNESW] = glfwCreateStandardCursor(GLFW_ARROW_CURSOR);
    cursors[ImGuiMouseCursor_ResizeNWSE] = glfwCreateStandardCursor(GLFW_ARROW_CURSOR);
    cursors[ImGuiMouseCursor_NotAllowed] = glfwCreateStandardCursor(GLFW_ARROW_CURSOR);
}

// [SECTION] Input callbacks
// They feed the single instance and do nothing while no UI context exists (before Init, after
// Shutdown). Earlier callbacks of the window are replaced, not chained.
void CoreUI::InstallCallbacks(GLFWwindow* target)
{
    glfwSetCursorPosCallback(target, CursorPosCallback);
    glfwSetMouseButtonCallback(target, MouseButtonCallback);
    glfwSetScrollCallback(target, ScrollCallback);
    glfwSetKeyCallback(target, KeyCallback);
    glfwSetCharCallback(target, CharCallback);
    // After any of these the screen no longer shows the frame last presented.
    glfwSetWindowRefreshCallback(target, ScreenChangedCallback);
    glfwSetFramebufferSizeCallback(target, [](GLFWwindow* w, int, int) { ScreenChangedCallback(w); });
    glfwSetWindowContentScaleCallback(target, [](GLFWwindow* w, float, float) { ScreenChangedCallback(w); });
}

void CoreUI::ScreenChangedCallback(GLFWwindow*)
{
    Instance()->presented.Forget();
}

void CoreUI::CursorPosCallback(GLFWwindow*, double x, double y)
{
    if (ImGui::GetCurrentContext() != nullptr)
        Instance()->input.OnCursorPos(ImGui::GetIO(), x, y);
}

void CoreUI::MouseButtonCallback(GLFWwindow*, int button, int action, int)
{
    if (ImGui::GetCurrentContext() != nullptr)
        Instance()->input.OnMouseButton(ImGui::GetIO(), button, action);
}

void CoreUI::ScrollCallback(GLFWwindow*, double xOffset, double yOffset)
{
    if (ImGui::GetCurrentContext() != nullptr)
        Instance()->input.OnScroll(ImGui::GetIO(), xOffset, yOffset);
}

void CoreUI::KeyCallback(GLFWwindow*, int key, int, int action, int)
{
    if (ImGui::GetCurrentContext() != nullptr)
        Instance()->input.OnKey(ImGui::GetIO(), key, action);
}

void CoreUI::CharCallback(GLFWwindow*, unsigned int c)
{
    if (ImGui::GetCurrentContext() != nullptr)
        Instance()->input.OnChar(ImGui::GetIO(), c);
}

// [SECTION] Frames
float CoreUI::FrameDelta(double now, double lastTime)
{
    if (lastTime <= 0.0)
        return 1.0f / 60.0f;
    const float delta = static_cast<float>(now - lastTime);
    return delta > kMinimumDelta ? delta : kMinimumDelta;
}

void CoreUI::NewFrame()
{
    if (!initialised)
        return;
    if (frameOpen)
        Render();

    ImGuiIO& io = ImGui::GetIO();
    int width = 0, height = 0, framebufferWidth = 0, framebufferHeight = 0;
    glfwGetWindowSize(window, &width, &height);
    glfwGetFramebufferSize(window, &framebufferWidth, &framebufferHeight);
    io.DisplaySize = ImVec2(static_cast<float>(width), static_cast<float>(height));
    io.DisplayFramebufferScale = ImVec2(UiRenderer::FramebufferScale(framebufferWidth, width),
                                        UiRenderer::FramebufferScale(framebufferHeight, height));

    const double now = glfwGetTime();
    io.DeltaTime = FrameDelta(now, lastTime);
    lastTime = now;

    input.BeginFrame(io);
    ImGui::NewFrame();
    frameOpen = true;
}

bool CoreUI::Render(bool skipUnchanged)
{
    if (!frameOpen)
        return false;

    const ImGuiMouseCursor kind = ImGui::GetMouseCursor();
    GLFWcursor* cursor = kind >= 0 && kind < static_cast<int>(cursors.size()) ? cursors[kind] : nullptr;
    glfwSetCursor(window, cursor != nullptr ? cursor : cursors[ImGuiMouseCursor_Arrow]);

    ImGui::Render();
    frameOpen = false;

    ImDrawData* drawData = ImGui::GetDrawData();
    const uint32_t fontName = fontTexture ? fontTexture->GetGlName() : 0;
    const bool halfRate = std::exchange(halfRateAllowed, false);
    if (skipUnchanged && drawData != nullptr)
    {
        const bool drewLast = std::exchange(drewLastFrame, false);
        if (presented.Shows(*drawData, fontName))
            return false;
        // Every second frame of a half-rate animation is left out; the one on screen then stays
        // for one more iteration. A window that needs drawing (exposed, resized) never waits.
        if (halfRate && drewLast && presented.HasFrame())
            return false;
        drewLastFrame = true;
    }
    int framebufferWidth = 0, framebufferHeight = 0;
    glfwGetFramebufferSize(window, &framebufferWidth, &framebufferHeight);
    glViewport(0, 0, framebufferWidth, framebufferHeight);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    UiRenderer::RenderDrawData(drawData, fontName);
    // Only the frame loop presents what it draws; after any other drawing the screen may show
    // something else.
    if (skipUnchanged && drawData != nullptr)
        presented.Remember();
    else
        presented.Forget();
    return true;
}

void CoreUI::Shutdown()
{
    if (!initialised)
        return;
    presented.Forget();
    ImGui::DestroyContext();
    // The fonts belonged to the context's atlas.
    fonts.clear();
    frameOpen = false;
    initialised = false;
}

ImFont* CoreUI::GetFont(int32_t key) const
{
    auto found = fonts.find(key);
    return found != fonts.end() ? found->second : nullptr;
}

} // namespace nd
