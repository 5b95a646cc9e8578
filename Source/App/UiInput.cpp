#include "App/UiInput.h"

#include <GLFW/glfw3.h>
#include <imgui.h>

namespace nd
{

void UiInput::OnCursorPos(ImGuiIO& io, double x, double y)
{
    io.MousePos = ImVec2(static_cast<float>(x / scale), static_cast<float>(y / scale));
}

void UiInput::SetScale(float value)
{
    if (value > 0.0f)
        scale = value;
}

void UiInput::OnMouseButton(ImGuiIO& io, int button, int action)
{
    if (button < 0 || button >= kMouseButtons)
        return;
    held[button] = action != GLFW_RELEASE;
    if (action == GLFW_PRESS)
        pressedSinceFrame[button] = true;
    io.MouseDown[button] = held[button];
}

void UiInput::OnScroll(ImGuiIO& io, double /*xOffset*/, double yOffset)
{
    io.MouseWheel = static_cast<float>(yOffset);
}

void UiInput::OnKey(ImGuiIO& io, int key, int action)
{
    if (key < 0 || key >= kKeys)
        return;
    if (action == GLFW_PRESS)
        io.KeysDown[key] = true;
    else if (action == GLFW_RELEASE)
        io.KeysDown[key] = false;
    io.KeyCtrl = io.KeysDown[GLFW_KEY_LEFT_CONTROL] || io.KeysDown[GLFW_KEY_RIGHT_CONTROL];
    io.KeyShift = io.KeysDown[GLFW_KEY_LEFT_SHIFT] || io.KeysDown[GLFW_KEY_RIGHT_SHIFT];
    io.KeyAlt = io.KeysDown[GLFW_KEY_LEFT_ALT] || io.KeysDown[GLFW_KEY_RIGHT_ALT];
    io.KeySuper = io.KeysDown[GLFW_KEY_LEFT_SUPER] || io.KeysDown[GLFW_KEY_RIGHT_SUPER];
}

void UiInput::OnChar(ImGuiIO& io, unsigned int c)
{
    if (c > 0 && c < 0x10000)
        io.AddInputCharacter(c);
}

void UiInput::BeginFrame(ImGuiIO& io)
{
    for (int button = 0; button < kMouseButtons; ++button)
    {
        io.MouseDown[button] = held[button] || pressedSinceFrame[button];
        pressedSinceFrame[button] = false;
    }
}

void UiInput::ApplyKeyMap(ImGuiIO& io)
{
    io.KeyMap[ImGuiKey_Tab] = GLFW_KEY_TAB;
    io.KeyMap[ImGuiKey_LeftArrow] = GLFW_KEY_LEFT;
    io.KeyMap[ImGuiKey_RightArrow] = GLFW_KEY_RIGHT;
    io.KeyMap[ImGuiKey_UpArrow] = GLFW_KEY_UP;
    io.KeyMap[ImGuiKey_DownArrow] = GLFW_KEY_DOWN;
    io.KeyMap[ImGuiKey_PageUp] = GLFW_KEY_PAGE_UP;
    io.KeyMap[ImGuiKey_PageDown] = GLFW_KEY_PAGE_DOWN;
    io.KeyMap[ImGuiKey_Home] = GLFW_KEY_HOME;
    io.KeyMap[ImGuiKey_End] = GLFW_KEY_END;
    io.KeyMap[ImGuiKey_Insert] = GLFW_KEY_INSERT;
    io.KeyMap[ImGuiKey_Delete] = GLFW_KEY_DELETE;
    io.KeyMap[ImGuiKey_Backspace] = GLFW_KEY_BACKSPACE;
    io.KeyMap[ImGuiKey_Space] = GLFW_KEY_SPACE;
    io.KeyMap[ImGuiKey_Enter] = GLFW_KEY_ENTER;
    io.KeyMap[ImGuiKey_Escape] = GLFW_KEY_ESCAPE;
    io.KeyMap[ImGuiKey_KeyPadEnter] = GLFW_KEY_KP_ENTER;
    io.KeyMap[ImGuiKey_A] = GLFW_KEY_A;
    io.KeyMap[ImGuiKey_C] = GLFW_KEY_C;
    io.KeyMap[ImGuiKey_V] = GLFW_KEY_V;
    io.KeyMap[ImGuiKey_X] = GLFW_KEY_X;
    io.KeyMap[ImGuiKey_Y] = GLFW_KEY_Y;
    io.KeyMap[ImGuiKey_Z] = GLFW_KEY_Z;
}

} // namespace nd
