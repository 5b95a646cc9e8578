// A window drawn through the application frame with hook bodies of its own: the logo, text at every
// font size and the icons the screens use. For looking at the UI layer by eye (e.g. under Xvfb with a
// screenshot). Usage: norvia_app_showcase [frames to draw before quitting, 0 = until closed]

#include "App/Application.h"
#include "App/CoreUI.h"
#include "App/FrameClock.h"
#include "App/Hooks.h"
#include "App/Logo.h"
#include "App/Texture.h"

#include <imgui.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

namespace
{

uint64_t frameLimit = 0;
std::shared_ptr<nd::Texture> logo;

const ImU32 kDark = IM_COL32(10, 10, 10, 255);
const ImU32 kAccent = IM_COL32(65, 117, 139, 255);

void DrawText(ImDrawList* list, int32_t key, float size, ImVec2 at, ImU32 colour, const char* text)
{
    list->AddText(nd::CoreUI::Instance()->GetFont(key), size, at, colour, text);
}

} // namespace

void OnConfigure()
{
    nd::Application& app = nd::Application::Instance();
    app.SetName("UI showcase");
    app.SetWindowMode(nd::WindowMode::Borderless);
    app.SetSize(1200, 640);
}

bool OnCreate()
{
    logo = nd::CreateTexture("logo", nd::LogoPixels(), nd::kLogoWidth, nd::kLogoHeight);
    return logo != nullptr;
}

bool OnFrame()
{
    nd::Application& app = nd::Application::Instance();
    ImGui::SetNextWindowPos(ImVec2(0, 0));
    ImGui::SetNextWindowSize(ImVec2(static_cast<float>(app.GetWidth()), static_cast<float>(app.GetHeight())));
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(0, 0));
    ImGui::PushStyleVar(ImGuiStyleVar_WindowRounding, 0.0f);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowBorderSize, 0.0f);
    ImGui::Begin("##showcase", nullptr,
                 ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove |
                     ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoCollapse);
    ImDrawList* list = ImGui::GetWindowDrawList();

    list->AddImage(logo->UiHandle(), ImVec2(40, 30), ImVec2(40 + nd::kLogoWidth, 30 + nd::kLogoHeight));
    // Title-bar glyphs as the screens draw them: minimize and cross.
    DrawText(list, 3, 16, ImVec2(1130, 10), kDark, "\xEF\x8B\x91");
    DrawText(list, 3, 24, ImVec2(1166, 6), kAccent, "\xEF\x80\x8D");

    float y = 120;
    const float sizes[nd::kFontKeyCount] = {8, 12, 16, 24, 32, 64};
    for (int32_t key = 0; key < nd::kFontKeyCount; ++key)
    {
        const std::string line = "Font key " + std::to_string(key) +
                                 ": Norvia Download Manager \xC3\xA4\xC3\xB6\xC3\xBC "
                                 "\xEF\x81\x8B \xEF\x81\x8C \xEF\x80\x8D \xEF\x8B\x91";
        DrawText(list, key, sizes[key], ImVec2(40, y), key % 2 ? kAccent : kDark, line.c_str());
        y += sizes[key] + 10;
    }

    // The theme's button and default text colour on an accent panel.
    list->AddRectFilled(ImVec2(40, 470), ImVec2(560, 610), kAccent);
    ImGui::SetCursorPos(ImVec2(60, 490));
    ImGui::Text("Default font, theme text colour, frame %llu",
                static_cast<unsigned long long>(nd::FrameClock::Instance().GetFrameCount()));
    ImGui::SetCursorPos(ImVec2(60, 530));
    ImGui::Button("Theme button", ImVec2(180, 48));
    list->AddRectFilled(ImVec2(620, 470), ImVec2(1160, 610), IM_COL32(77, 137, 164, 255), 8.0f);
    DrawText(list, 5, 40, ImVec2(640, 500), IM_COL32(255, 255, 255, 255), "Slogan at 40 px");

    ImGui::End();
    ImGui::PopStyleVar(3);
    return frameLimit == 0 || nd::FrameClock::Instance().GetFrameCount() < frameLimit;
}

int main(int argc, char** argv)
{
    if (argc > 1)
        frameLimit = std::strtoull(argv[1], nullptr, 10);
    OnConfigure();
    nd::Application& app = nd::Application::Instance();
    if (app.Create())
        app.Run();
    return 0;
}
