#include "App/UiInput.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>
#include <imgui.h>

namespace nd
{
namespace
{

// A bare UI context of its own (whatever context was current comes back afterwards): the input
// bodies need no window.
class UiInputTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        previous = ImGui::GetCurrentContext();
        context = ImGui::CreateContext();
        ImGui::SetCurrentContext(context);
    }
    void TearDown() override
    {
        ImGui::DestroyContext(context);
        ImGui::SetCurrentContext(previous);
    }

    ImGuiIO& Io() { return ImGui::GetIO(); }

    ImGuiContext* previous = nullptr;
    ImGuiContext* context = nullptr;
    UiInput input;
};

TEST_F(UiInputTest, CursorPositionIsTakenAsWindowCoordinates)
{
    input.OnCursorPos(Io(), 12.75, 400.5);
    EXPECT_FLOAT_EQ(Io().MousePos.x, 12.75f);
    EXPECT_FLOAT_EQ(Io().MousePos.y, 400.5f);
}

TEST_F(UiInputTest, ButtonsZeroToFourFollowPressAndRelease)
{
    for (int button = 0; button < 5; ++button)
    {
        input.OnMouseButton(Io(), button, GLFW_PRESS);
        EXPECT_TRUE(Io().MouseDown[button]) << button;
        input.OnMouseButton(Io(), button, GLFW_RELEASE);
        EXPECT_FALSE(Io().MouseDown[button]) << button;
    }
}

TEST_F(UiInputTest, ButtonsOutsideZeroToFourChangeNothing)
{
    input.OnMouseButton(Io(), 6, GLFW_PRESS);
    input.OnMouseButton(Io(), 5, GLFW_PRESS);
    input.OnMouseButton(Io(), -1, GLFW_PRESS);
    input.BeginFrame(Io());
    for (bool down : Io().MouseDown)
        EXPECT_FALSE(down);
}

TEST_F(UiInputTest, QuickClickBetweenFramesIsSeenForOneFrame)
{
    input.OnMouseButton(Io(), 0, GLFW_PRESS);
    input.OnMouseButton(Io(), 0, GLFW_RELEASE);
    input.BeginFrame(Io());
    EXPECT_TRUE(Io().MouseDown[0]);
    input.BeginFrame(Io());
    EXPECT_FALSE(Io().MouseDown[0]);
}

TEST_F(UiInputTest, HeldButtonStaysDownAcrossFrames)
{
    input.OnMouseButton(Io(), 1, GLFW_PRESS);
    input.BeginFrame(Io());
    input.BeginFrame(Io());
    EXPECT_TRUE(Io().MouseDown[1]);
    input.OnMouseButton(Io(), 1, GLFW_RELEASE);
    input.BeginFrame(Io());
    EXPECT_FALSE(Io().MouseDown[1]);
}

TEST_F(UiInputTest, SecondScrollReplacesTheFirstAndHorizontalIsIgnored)
{
    input.OnScroll(Io(), 0.0, 1.0);
    input.OnScroll(Io(), 3.0, -2.0);
    EXPECT_FLOAT_EQ(Io().MouseWheel, -2.0f);
    EXPECT_FLOAT_EQ(Io().MouseWheelH, 0.0f);
}

TEST_F(UiInputTest, KeysPressReleaseAndRepeat)
{
    input.OnKey(Io(), GLFW_KEY_A, GLFW_PRESS);
    EXPECT_TRUE(Io().KeysDown[GLFW_KEY_A]);
    input.OnKey(Io(), GLFW_KEY_A, GLFW_REPEAT);
    EXPECT_TRUE(Io().KeysDown[GLFW_KEY_A]);
    input.OnKey(Io(), GLFW_KEY_A, GLFW_RELEASE);
    EXPECT_FALSE(Io().KeysDown[GLFW_KEY_A]);
    // A repeat does not press a released key.
    input.OnKey(Io(), GLFW_KEY_A, GLFW_REPEAT);
    EXPECT_FALSE(Io().KeysDown[GLFW_KEY_A]);
    input.OnKey(Io(), 511, GLFW_PRESS);
    EXPECT_TRUE(Io().KeysDown[511]);
}

TEST_F(UiInputTest, KeyCodesOutsideTheTableAreIgnored)
{
    Io().KeyCtrl = true; // stale on purpose: an ignored event must not recompute the modifiers
    input.OnKey(Io(), -1, GLFW_PRESS);
    input.OnKey(Io(), 512, GLFW_PRESS);
    EXPECT_TRUE(Io().KeyCtrl);
    for (bool down : Io().KeysDown)
        EXPECT_FALSE(down);
}

TEST_F(UiInputTest, ModifiersFollowEitherSideKey)
{
    input.OnKey(Io(), GLFW_KEY_LEFT_CONTROL, GLFW_PRESS);
    input.OnKey(Io(), GLFW_KEY_RIGHT_CONTROL, GLFW_PRESS);
    input.OnKey(Io(), GLFW_KEY_LEFT_CONTROL, GLFW_RELEASE);
    EXPECT_TRUE(Io().KeyCtrl);
    input.OnKey(Io(), GLFW_KEY_RIGHT_CONTROL, GLFW_RELEASE);
    EXPECT_FALSE(Io().KeyCtrl);

    input.OnKey(Io(), GLFW_KEY_RIGHT_SHIFT, GLFW_PRESS);
    input.OnKey(Io(), GLFW_KEY_LEFT_ALT, GLFW_PRESS);
    input.OnKey(Io(), GLFW_KEY_RIGHT_SUPER, GLFW_PRESS);
    EXPECT_FALSE(Io().KeyCtrl);
    EXPECT_TRUE(Io().KeyShift);
    EXPECT_TRUE(Io().KeyAlt);
    EXPECT_TRUE(Io().KeySuper);
}

TEST_F(UiInputTest, OnlyCharactersAboveZeroAndBelowU10000AreQueued)
{
    input.OnChar(Io(), 0);
    input.OnChar(Io(), 0x10000);
    input.OnChar(Io(), 0x1F600);
    EXPECT_EQ(Io().InputQueueCharacters.Size, 0);
    input.OnChar(Io(), 'a');
    input.OnChar(Io(), 0xFFFF);
    ASSERT_EQ(Io().InputQueueCharacters.Size, 2);
    EXPECT_EQ(Io().InputQueueCharacters[0], 'a');
    EXPECT_EQ(Io().InputQueueCharacters[1], 0xFFFF);
}

TEST_F(UiInputTest, KeyMapUsesGlfwKeyCodes)
{
    UiInput::ApplyKeyMap(Io());
    EXPECT_EQ(Io().KeyMap[ImGuiKey_Tab], 258);
    EXPECT_EQ(Io().KeyMap[ImGuiKey_LeftArrow], 263);
    EXPECT_EQ(Io().KeyMap[ImGuiKey_DownArrow], 264);
    EXPECT_EQ(Io().KeyMap[ImGuiKey_Insert], 260);
    EXPECT_EQ(Io().KeyMap[ImGuiKey_Enter], 257);
    EXPECT_EQ(Io().KeyMap[ImGuiKey_KeyPadEnter], 335);
    EXPECT_EQ(Io().KeyMap[ImGuiKey_Space], 32);
    EXPECT_EQ(Io().KeyMap[ImGuiKey_A], 65);
    EXPECT_EQ(Io().KeyMap[ImGuiKey_Z], 90);
}

} // namespace
} // namespace nd
