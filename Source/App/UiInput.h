#pragma once
// GLFW input events applied to the UI library's input state. The bodies take the ImGuiIO so that they
// can run against any context, without a window.

#include <array>

struct ImGuiIO;

namespace nd
{

class UiInput
{
public:
    static constexpr int kMouseButtons = 5;
    static constexpr int kKeys = 512;

    // Window client coordinates, divided by the display scale into the screens' design pixels; the
    // only source of the mouse position.
    void OnCursorPos(ImGuiIO& io, double x, double y);
    // Device pixels per design pixel; ignored unless positive.
    void SetScale(float value);
    // Buttons 0 to 4 only; down unless the action is a release.
    void OnMouseButton(ImGuiIO& io, int button, int action);
    // The vertical offset replaces the wheel value of this frame; the horizontal one is ignored.
    void OnScroll(ImGuiIO& io, double xOffset, double yOffset);
    // Key codes 0 to 511: press sets, release clears, repeat keeps; then the modifiers are derived.
    void OnKey(ImGuiIO& io, int key, int action);
    // Queues 0 < c < 0x10000; anything else is dropped.
    void OnChar(ImGuiIO& io, unsigned int c);

    // Called before each UI frame starts. A button pressed and released between two frames is shown
    // down for one frame, so that quick clicks are not lost.
    void BeginFrame(ImGuiIO& io);

    // Maps the library's named keys to GLFW key codes.
    static void ApplyKeyMap(ImGuiIO& io);

private:
    std::array<bool, kMouseButtons> held{};
    std::array<bool, kMouseButtons> pressedSinceFrame{};
    float scale = 1.0f;
};

} // namespace nd
