// The window's own chrome: the splash, the title-bar glyphs and dragging the borderless window.

#include "App/Logo.h"
#include "App/Texture.h"
#include "Core/Console.h"
#include "UI/DownloadManagerInterface.h"
#include "UI/ScreenInput.h"
#include "UI/ScreenServices.h"
#include "UI/ScreenStyle.h"

#include <imgui.h>

#include <algorithm>

namespace nd
{

void DownloadManagerInterface::DrawSplash(float time)
{
    ScreenServices& host = Services();
    const int32_t width = logo ? logo->GetWidth() : kLogoWidth;
    const int32_t height = logo ? logo->GetHeight() : kLogoHeight;
    host.SetOpacity(std::min(time, 1.0f));
    host.SetSize(width, height);
    host.CenterOnScreen();

    ImDrawList* draw = ImGui::GetWindowDrawList();
    const ImVec2 corner(static_cast<float>(width), static_cast<float>(height));
    draw->AddRectFilled(ImVec2(0.0f, 0.0f), corner, ScreenStyle::White(), 0.0f);
    if (logo)
        draw->AddImage(logo->UiHandle(), ImVec2(0.0f, 0.0f), corner, ImVec2(0.0f, 0.0f), ImVec2(1.0f, 1.0f),
                       ScreenStyle::White());
}

bool DownloadManagerInterface::DrawTitleBar()
{
    if (!Services().UiInitialised())
        return false;
    const float windowWidth = ImGui::GetWindowWidth();

    // Draws one glyph button at its corner and reports whether a release pressed it.
    auto glyphButton = [&](const char* glyph, float pixelSize, float right, float top, const char* identifier)
    {
        const Float2 s = MeasureText(ScreenStyle::kFont24, pixelSize, glyph, 0.0f);
        const ImVec2 min(windowWidth - s.x - right, top);
        const ImVec2 max(min.x + s.x, min.y + s.y);
        ImU32 colour = ScreenStyle::Dark();
        if (ScreenInput::MouseInside(min, max))
            colour = ScreenInput::LeftDown() ? ScreenStyle::AccentPressed() : ScreenStyle::Accent();
        DrawText(ScreenStyle::kFont24, pixelSize, min.x, min.y, colour, glyph);
        if (ScreenInput::RegisterItem(min, max, identifier))
            dragBlocked = true;
        return ScreenInput::ReleasedInside(min, max, DragInProgress());
    };

    if (glyphButton(ScreenStyle::kIconMinimize, 16.0f, 32.0f, 10.0f, "MINIMIZE_BUTTON"))
    {
        Services().Minimize();
        return false;
    }
    return glyphButton(ScreenStyle::kIconCross, 24.0f, 8.0f, 6.0f, "EXIT_BUTTON");
}

void DownloadManagerInterface::HandleWindowDrag()
{
    if (screen == Screen::Splash)
    {
        moving = false;
        return;
    }
    ScreenServices& host = Services();
    if (ImGui::IsMouseClicked(ImGuiMouseButton_Left, false) && ImGui::IsWindowFocused() && !dragBlocked)
    {
        const ImVec2 mouse = ImGui::GetMousePos();
        const ImVec2 origin = ImGui::GetWindowPos();
        grabOffset = {mouse.x - origin.x, mouse.y - origin.y};
        dragging = true;
        PrintInfo("activate moving %u", static_cast<unsigned>(host.FrameCount()));
    }
    if (!ImGui::IsAnyMouseDown() && dragging)
        dragging = false;
    if (ImGui::IsMouseDown(ImGuiMouseButton_Left) && dragging && !dragBlocked)
    {
        float x = 0.0f, y = 0.0f;
        if (!host.CursorScreenPos(x, y))
            return;
        host.SetPosition(static_cast<int32_t>(x - grabOffset.x), static_cast<int32_t>(y - grabOffset.y));
        moving = true;
        return;
    }
    moving = false;
}

} // namespace nd
