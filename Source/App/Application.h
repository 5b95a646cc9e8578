#pragma once
// The one window, its OpenGL context and the frame loop. Everything here runs on the main thread.

#include "App/WindowMode.h"

#include <cstdint>
#include <functional>
#include <string>

struct GLFWwindow;

namespace nd
{

class Application
{
public:
    // Reports the desktop size in pixels; false when it is not known.
    using DesktopSizeQuery = std::function<bool(int32_t& width, int32_t& height)>;
    // Reports the display's content scale (1 at 96 dpi); null or 0 means 1.
    using ContentScaleQuery = std::function<float()>;

    // The largest window the screens ask for, in design pixels: the scale is lowered until a window
    // of this size, scaled, fits the desktop.
    static constexpr int32_t kLargestWidth = 1200;
    static constexpr int32_t kLargestHeight = 640;

    // The desktop is the platform's desktop window, or else the primary monitor's current video mode.
    // The monitor query initialises GLFW on first use, because OnConfigure sizes the window before
    // Create runs.
    Application();
    // For callers that know the desktop (and the content scale) by other means (tests).
    explicit Application(DesktopSizeQuery desktopSize, ContentScaleQuery contentScale = {});

    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The process-wide instance the entry point and the screens use.
    static Application& Instance();

    // Opens the window, makes its context current, sets up the UI layer and the frame clock, then
    // returns OnCreate's result. A second call after success does nothing and returns true.
    bool Create();
    // The frame loop; returns when the window is asked to close or OnFrame returns false, after
    // destroying the UI context. Does nothing before Create has succeeded.
    void Run();

    // Empty names are ignored; otherwise the title becomes "Halden | " + name.
    void SetName(const std::string& name);
    void SetWindowMode(WindowMode mode);
    // Sizes and positions are in design pixels; the window gets them times GetScale, rounded.
    // Each side is clamped to the desktop (no lower bound); applied at once when the window exists.
    void SetSize(int32_t width, int32_t height);
    void SetPosition(int32_t x, int32_t y);
    // Clamped to [0, 1]; ignored before the window exists.
    void SetOpacity(float opacity);
    // Moves the window to the middle of the primary monitor's current video mode.
    void CenterOnScreen();
    // Takes a content scale GLFW reported for the window (it moved to another monitor, or the
    // user changed the display's scaling) and resizes the window to keep its design size.
    void OnContentScaleChanged(float contentScale);
    void Minimize();
    // Takes the window off the screen at once (the request reaches the display before this
    // returns), so that what the program still does before it ends goes unseen.
    void Hide();

    // The opacity last applied (1 before any). Kept here because a window manager without
    // compositing reports 1 whatever was set, and the screens' fades decide on this value.
    float GetOpacity() const { return opacity; }
    // Cursor position in desktop coordinates divided by the scale (from the platform, or else
    // window position + cursor position in the window); false when there is no window.
    bool GetCursorScreenPos(float& x, float& y) const;

    bool IsCreated() const { return created; }
    int32_t GetWidth() const { return width; }
    int32_t GetHeight() const { return height; }
    // Device pixels per design pixel: the content scale, lowered (never below 1) until
    // kLargestWidth x kLargestHeight fits the desktop. Taken at the first sizing or at Create.
    float GetScale() const { return scale; }
    // A design length in device pixels.
    int32_t ToDevice(int32_t length) const;
    // The scale for a content scale on a desktop of the given device size (0 x 0 when unknown).
    static float FitScale(float contentScale, int32_t desktopWidth, int32_t desktopHeight);
    int32_t GetX() const { return x; }
    int32_t GetY() const { return y; }
    WindowMode GetWindowMode() const { return windowMode; }
    const std::string& GetTitle() const { return title; }
    // Owned by GLFW for the rest of the process: the window is never destroyed explicitly.
    GLFWwindow* GetWindow() const { return window; }

    static constexpr const char* kTitlePrefix = "Halden | ";

private:
    GLFWwindow* CreateWindowForMode();
    // Takes the scale once, before the first size is stored.
    void EnsureScale();
    void UpdateScale(float contentScale);

    bool created = false;
    int32_t width = 800;
    int32_t height = 600;
    int32_t x = 0;
    int32_t y = 0;
    WindowMode windowMode = WindowMode::Fullscreen;
    std::string title = "Unnamed Application";
    GLFWwindow* window = nullptr;
    float opacity = 1.0f;
    DesktopSizeQuery desktopSize;
    ContentScaleQuery contentScaleQuery;
    float scale = 1.0f;
    bool scaleTaken = false;
};

} // namespace nd
