#include "UI/ScreenInput.h"

#include <imgui_internal.h>

namespace nd::ScreenInput
{

bool MouseInside(const ImVec2& min, const ImVec2& max)
{
    return ImGui::IsMouseHoveringRect(min, max, true);
}

bool LeftDown()
{
    return ImGui::IsMouseDown(ImGuiMouseButton_Left);
}

bool ReleasedInside(const ImVec2& min, const ImVec2& max, bool moving)
{
    return MouseInside(min, max) && ImGui::IsMouseReleased(ImGuiMouseButton_Left) && !moving;
}

bool RegisterItem(const ImVec2& min, const ImVec2& max, const char* identifier)
{
    const ImRect box(min, max);
    const ImGuiID id = ImGui::GetID(identifier);
    if (!ImGui::ItemAdd(box, id))
        return false;
    return ImGui::IsItemHovered() || ImGui::IsItemActive();
}

} // namespace nd::ScreenInput
