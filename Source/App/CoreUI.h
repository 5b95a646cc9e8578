#pragma once
// The immediate-mode UI layer: the Dear ImGui context, its GLFW input, fonts, theme and renderer.
// Main thread only; the input callbacks run inside glfwPollEvents on that thread.

#include "App/PresentedFrame.h"
#include "App/UiInput.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>

struct GLFWwindow;
struct GLFWcursor;
struct ImFont;

namespace nd
{

class Texture;

// Font keys: the text font with the icon font merged, at 8, 12, 16, 24, 32 and 64 pixels.
constexpr int32_t kFontKeyCount = 6;
constexpr int32_t kDefaultFontKey = 2;

class CoreUI
{
  public:
    // The single instance, created on first use and kept until the process ends.
    static std::shared_ptr<CoreUI> Instance();

    CoreUI() = default;
    CoreUI(const CoreUI&) = delete;
    CoreUI& operator=(const CoreUI&) = delete;

    // Creates the UI context for Application's window (after its context is current): settings,
    // fonts and font texture, theme, cursors, key map and input callbacks (replacing earlier ones).
    // False only when there is no window; true at once when already initialised.
    bool Init();
    bool Init(GLFWwindow* window);

    // Starts a UI frame (rendering one left open first). Does nothing before Init.
    void NewFrame();
    // Ends the open UI frame, clears the back buffer and draws the frame into it; true when it drew.
    // With skipUnchanged (the frame loop, which presents every frame drawn so) a frame that would
    // draw what the last one presented shows is not drawn, and false tells the loop not to present
    // it; the window being exposed, resized or rescaled ends that until the next frame is drawn.
    bool Render(bool skipUnchanged = false);
    // Lets the frame loop skip the next frame if it drew the one before (the open frame belongs to
    // an animation that may run at half the frame rate: the slide cross-fade). Asked for each frame.
    void AllowHalfRate() { halfRateAllowed = true; }
    // Destroys the UI context; the layer is then uninitialised. The font texture and cursors stay.
    void Shutdown();

    // The font under key 0 to 5, or null for any other key or before Init.
    ImFont* GetFont(int32_t key) const;
    bool IsInitialised() const { return initialised; }
    const std::shared_ptr<Texture>& GetFontTexture() const { return fontTexture; }

    // Seconds since the previous frame; 1/60 on the first frame (lastTime 0).
    static float FrameDelta(double now, double lastTime);

  private:
    void LoadFonts();
    void CreateCursors();
    void InstallCallbacks(GLFWwindow* target);

    static void CursorPosCallback(GLFWwindow* w, double x, double y);
    static void MouseButtonCallback(GLFWwindow* w, int button, int action, int mods);
    static void ScrollCallback(GLFWwindow* w, double xOffset, double yOffset);
    static void KeyCallback(GLFWwindow* w, int key, int scancode, int action, int mods);
    static void CharCallback(GLFWwindow* w, unsigned int c);
    static void ScreenChangedCallback(GLFWwindow* w);

    std::shared_ptr<Texture> fontTexture;
    std::map<int32_t, ImFont*> fonts;
    bool initialised = false;
    double lastTime = 0.0;
    bool frameOpen = false;

    GLFWwindow* window = nullptr;
    UiInput input;
    PresentedFrame presented;
    bool halfRateAllowed = false;
    bool drewLastFrame = false; // the frame loop drew and presented the previous iteration's frame
    // Standard cursors by the library's cursor kind; GLFW frees them when it terminates.
    std::array<GLFWcursor*, 9> cursors{};
};

} // namespace nd
