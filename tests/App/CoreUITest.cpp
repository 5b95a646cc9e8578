#include "App/CoreUI.h"
#include "App/Texture.h"
#include "App/Theme.h"
#include "GlSession.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>
#include <imgui.h>

#include <cstring>

namespace nd
{
namespace
{

TEST(CoreUIFrame, FirstDeltaIsOneSixtiethThenMeasured)
{
    EXPECT_FLOAT_EQ(CoreUI::FrameDelta(12.5, 0.0), 1.0f / 60.0f);
    EXPECT_FLOAT_EQ(CoreUI::FrameDelta(12.5, 12.25), 0.25f);
    // The UI library needs a positive delta even when the clock did not move.
    EXPECT_GT(CoreUI::FrameDelta(12.5, 12.5), 0.0f);
    EXPECT_GT(CoreUI::FrameDelta(12.5, 13.0), 0.0f);
}

TEST(CoreUIFrame, UninitialisedLayerDoesNothing)
{
    ImGuiContext* current = ImGui::GetCurrentContext();
    CoreUI ui;
    EXPECT_FALSE(ui.IsInitialised());
    EXPECT_FALSE(ui.Init(nullptr));
    EXPECT_EQ(ui.GetFont(kDefaultFontKey), nullptr);
    ui.NewFrame();
    ui.Render();
    ui.Shutdown();
    EXPECT_EQ(ImGui::GetCurrentContext(), current);
}

TEST(Theme, SetsTheNamedColoursAndLeavesTheOthers)
{
    ImGuiStyle style;
    const ImVec4 tableHeader = style.Colors[ImGuiCol_TableHeaderBg];
    const float rounding = style.WindowRounding;
    ApplyTheme(style);
    const ImVec4& bg = style.Colors[ImGuiCol_WindowBg];
    EXPECT_EQ(bg.x + bg.y + bg.z + bg.w, 4.0f);
    EXPECT_FLOAT_EQ(style.Colors[ImGuiCol_Text].x, 0.98f);
    EXPECT_FLOAT_EQ(style.Colors[ImGuiCol_Button].y, 0.46f);
    EXPECT_FLOAT_EQ(style.Colors[ImGuiCol_TextSelectedBg].w, 0.35f);
    EXPECT_FLOAT_EQ(style.Colors[ImGuiCol_ModalWindowDimBg].w, 0.35f);
    EXPECT_EQ(std::memcmp(&style.Colors[ImGuiCol_TableHeaderBg], &tableHeader, sizeof(ImVec4)), 0);
    EXPECT_EQ(style.WindowRounding, rounding);
}

TEST(CoreUIFonts, SixSizesWithTheIconsMerged)
{
    ND_REQUIRE_GL_SESSION();
    auto ui = CoreUI::Instance();
    const float sizes[kFontKeyCount] = {8, 12, 16, 24, 32, 64};
    for (int32_t key = 0; key < kFontKeyCount; ++key)
    {
        ImFont* font = ui->GetFont(key);
        ASSERT_NE(font, nullptr) << key;
        EXPECT_FLOAT_EQ(font->FontSize, sizes[key]);
        for (ImWchar icon : {0xF00D, 0xF04B, 0xF04C, 0xF2D1})
            EXPECT_NE(font->FindGlyphNoFallback(icon), nullptr)
                << "key " << key << " icon " << std::hex << icon;
        EXPECT_NE(font->FindGlyphNoFallback(0x00E4), nullptr) << "Latin-1 in key " << key;
    }
    EXPECT_EQ(ui->GetFont(kFontKeyCount), nullptr);
    EXPECT_EQ(ui->GetFont(-1), nullptr);
    EXPECT_EQ(ImGui::GetIO().FontDefault, ui->GetFont(kDefaultFontKey));
}

TEST(CoreUIFonts, AtlasIsARegisteredTextureWithoutAHandleOfItsOwn)
{
    ND_REQUIRE_GL_SESSION();
    auto ui = CoreUI::Instance();
    ASSERT_NE(ui->GetFontTexture(), nullptr);
    EXPECT_TRUE(ui->GetFontTexture()->IsLoaded());
    EXPECT_EQ(ui->GetFontTexture()->GetName(), "font_texture");
    EXPECT_EQ(FindTexture(ui->GetFontTexture()->GetIdentifier()), ui->GetFontTexture());
    EXPECT_EQ(ImGui::GetIO().Fonts->TexID, nullptr);
    EXPECT_EQ(ImGui::GetIO().Fonts->TexWidth, ui->GetFontTexture()->GetWidth());
    // The pixels live on in the texture only, and the font files are not kept a second time.
    EXPECT_EQ(ImGui::GetIO().Fonts->TexPixelsRGBA32, nullptr);
    EXPECT_EQ(ImGui::GetIO().Fonts->TexPixelsAlpha8, nullptr);
    EXPECT_TRUE(ImGui::GetIO().Fonts->ConfigData.empty());
}

TEST(CoreUISetup, SettingsAndBackendFlags)
{
    ND_REQUIRE_GL_SESSION();
    const ImGuiIO& io = ImGui::GetIO();
    EXPECT_EQ(io.IniFilename, nullptr);
    EXPECT_STREQ(io.BackendPlatformName, "imgui_impl_glfw");
    EXPECT_TRUE(io.BackendFlags & ImGuiBackendFlags_HasMouseCursors);
    EXPECT_TRUE(io.BackendFlags & ImGuiBackendFlags_HasSetMousePos);
    EXPECT_FLOAT_EQ(ImGui::GetStyle().Colors[ImGuiCol_WindowBg].x, 1.0f);
}

TEST(CoreUISetup, WindowCallbacksFeedTheContext)
{
    ND_REQUIRE_GL_SESSION();
    GLFWwindow* window = test::GlSession::Get().Window();
    // Read the installed callbacks back by swapping them out and in again.
    GLFWcursorposfun cursor = glfwSetCursorPosCallback(window, nullptr);
    glfwSetCursorPosCallback(window, cursor);
    GLFWscrollfun scroll = glfwSetScrollCallback(window, nullptr);
    glfwSetScrollCallback(window, scroll);
    GLFWcharfun character = glfwSetCharCallback(window, nullptr);
    glfwSetCharCallback(window, character);
    ASSERT_NE(cursor, nullptr);
    ASSERT_NE(scroll, nullptr);
    ASSERT_NE(character, nullptr);

    ImGuiIO& io = ImGui::GetIO();
    io.InputQueueCharacters.resize(0);
    cursor(window, 17.0, 23.0);
    scroll(window, 0.0, 2.0);
    character(window, 'n');
    EXPECT_FLOAT_EQ(io.MousePos.x, 17.0f);
    EXPECT_FLOAT_EQ(io.MousePos.y, 23.0f);
    EXPECT_FLOAT_EQ(io.MouseWheel, 2.0f);
    ASSERT_EQ(io.InputQueueCharacters.Size, 1);
    io.MouseWheel = 0.0f;
    io.InputQueueCharacters.resize(0);

    // Without a context the callbacks do nothing.
    CoreUI::Instance()->Shutdown();
    cursor(window, 1.0, 1.0);
    character(window, 'x');
    EXPECT_EQ(ImGui::GetCurrentContext(), nullptr);
}

int rendered = 0;
void CountRender(const ImDrawList*, const ImDrawCmd*)
{
    ++rendered;
}

TEST(CoreUIFrame, NewFrameRendersAFrameLeftOpen)
{
    ND_REQUIRE_GL_SESSION();
    auto ui = CoreUI::Instance();
    rendered = 0;
    ui->NewFrame();
    ImGui::GetForegroundDrawList()->AddCallback(CountRender, nullptr);
    ui->NewFrame();
    EXPECT_EQ(rendered, 1);
    ui->Render();
    ui->Render(); // nothing open: no second render
    EXPECT_EQ(rendered, 1);
}

TEST(CoreUIFrame, DisplayFollowsTheWindowAndTheFirstDeltaIsOneSixtieth)
{
    ND_REQUIRE_GL_SESSION();
    auto ui = CoreUI::Instance();
    ui->Shutdown();
    ASSERT_TRUE(ui->Init(test::GlSession::Get().Window()));
    glfwSetWindowSize(test::GlSession::Get().Window(), 320, 240);
    ui->NewFrame();
    const ImGuiIO& io = ImGui::GetIO();
    EXPECT_FLOAT_EQ(io.DeltaTime, 1.0f / 60.0f);
    EXPECT_FLOAT_EQ(io.DisplaySize.x, 320.0f);
    EXPECT_FLOAT_EQ(io.DisplaySize.y, 240.0f);
    EXPECT_FLOAT_EQ(io.DisplayFramebufferScale.x, 1.0f);
    ui->Render();
    ui->NewFrame();
    EXPECT_NE(io.DeltaTime, 1.0f / 60.0f);
    ui->Render();
}

} // namespace
} // namespace nd
