// The two screens a failed start or a failed download ends on, each with its "Exit" button.

#include "Core/ErrorLog.h"
#include "UI/DownloadManagerInterface.h"
#include "UI/ScreenInput.h"
#include "UI/ScreenServices.h"
#include "UI/ScreenStyle.h"

#include <algorithm>
#include <imgui.h>

namespace nd
{

namespace
{

constexpr float kMessageTop = 369.0f;
constexpr float kExitWidth = 160.0f;
constexpr float kExitHeight = 38.0f;
constexpr float kExitTop = 500.0f;
// Between the message and the button, and between the button and the window's lower edge.
constexpr float kExitGap = 12.0f;

} // namespace

bool DownloadManagerInterface::DrawDownloadErrorScreen()
{
    ScreenServices& host = Services();
    if (!host.UiInitialised())
        return false;
    const float width = static_cast<float>(host.WindowWidth());
    DrawBand();
    const std::string message = host.LastUserMessage();
    const float wrap = width * 0.35f;
    const Float2 s = MeasureText(ScreenStyle::kFont24, 20.0f, message, wrap);
    DrawText(ScreenStyle::kFont24, 20.0f, width * 0.75f - s.x * 0.5f, kMessageTop, ScreenStyle::Dark(),
             message, wrap);
    // A long message (a setup that could not start names its path and why) would run under the
    // button and be cut off there: the button moves down below it, as far as the window allows.
    const float lowest = static_cast<float>(host.WindowHeight()) - kExitHeight - kExitGap;
    const float top = std::max(kExitTop, std::min(kMessageTop + s.y + kExitGap, lowest));
    return DrawExitButton(width * 0.75f, top, true);
}

bool DownloadManagerInterface::DrawSupportScreen()
{
    ScreenServices& host = Services();
    if (!host.UiInitialised())
        return false;
    const float width = static_cast<float>(host.WindowWidth());
    const float height = static_cast<float>(host.WindowHeight());
    ImGui::GetWindowDrawList()->AddRectFilled(ImVec2(0.0f, 0.0f), ImGui::GetWindowSize(),
                                              IM_COL32(100, 100, 100, 255), 0.0f);
    const std::string message =
        "Downloading setup failed. You are now directed to our Support Center for help.";
    const Float2 s = MeasureText(ScreenStyle::kFont24, 20.0f, message, width);
    DrawText(ScreenStyle::kFont24, 20.0f, width * 0.5f - s.x * 0.5f, height * 0.5f - 1.0f,
             ScreenStyle::Dark(), message, width);
    return DrawExitButton(width * 0.5f, kExitTop, false);
}

// White lines suit the grey support screen. The download-error screen's right half is the white
// window background, where white lines would leave the only way out invisible, so there the
// button takes the dark text colour with the same alpha rules.
bool DownloadManagerInterface::DrawExitButton(float centreX, float top, bool onLightBackground)
{
    const ImVec2 min(centreX - kExitWidth * 0.5f, top);
    const ImVec2 max(min.x + kExitWidth, min.y + kExitHeight);
    const auto line = [onLightBackground](int alpha)
    { return onLightBackground ? ScreenStyle::Dark(alpha) : ScreenStyle::White(alpha); };
    const Float2 label = MeasureText(ScreenStyle::kFont32, 20.0f, "Exit", 0.0f);
    const bool inside = ScreenInput::MouseInside(min, max);
    const ImU32 colour = line(inside && ScreenInput::LeftDown() ? 176 : 255);
    ImDrawList* draw = ImGui::GetWindowDrawList();
    if (inside)
    {
        draw->AddRectFilled(min, max, line(40), 0.0f);
        ImGui::SetMouseCursor(ImGuiMouseCursor_Hand);
    }
    draw->AddRect(min, max, colour, 0.0f, 0, 1.0f);
    DrawText(ScreenStyle::kFont32, 20.0f, min.x + 80.0f - label.x * 0.5f, min.y + label.y * 0.5f - 1.0f,
             colour, "Exit", label.x);
    if (ScreenInput::RegisterItem(min, max, "ERROR_EXIT_BUTTON"))
        dragBlocked = true;
    return !ScreenInput::ReleasedInside(min, max, DragInProgress());
}

} // namespace nd
