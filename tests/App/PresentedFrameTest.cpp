#include "App/PresentedFrame.h"

#include <gtest/gtest.h>
#include <imgui.h>

#include <functional>

namespace nd
{
namespace
{

constexpr uint32_t kFontTexture = 7;

// One list of one coloured triangle, made by hand (no UI context needed).
struct OneTriangle
{
    OneTriangle() : list(nullptr)
    {
        for (float x : {10.0f, 50.0f, 30.0f})
            list.VtxBuffer.push_back(ImDrawVert{ImVec2(x, x), ImVec2(0, 0), IM_COL32(255, 0, 0, 255)});
        for (ImDrawIdx i : {0, 1, 2})
            list.IdxBuffer.push_back(i);
        ImDrawCmd command;
        command.ClipRect = ImVec4(0, 0, 100, 100);
        command.ElemCount = 3;
        list.CmdBuffer.push_back(command);
        lists[0] = &list;
        data.Valid = true;
        data.CmdLists = lists;
        data.CmdListsCount = 1;
        data.DisplaySize = ImVec2(100, 100);
        data.FramebufferScale = ImVec2(1, 1);
    }

    ImDrawList list;
    ImDrawList* lists[1] = {};
    ImDrawData data;
};

void NoDrawing(const ImDrawList*, const ImDrawCmd*) {}

TEST(PresentedFrame, TheSameDrawDataIsShownOnlyOnceRememberedAndUntilForgotten)
{
    OneTriangle frame;
    PresentedFrame presented;
    EXPECT_FALSE(presented.Shows(frame.data, kFontTexture));
    presented.Remember();
    EXPECT_TRUE(presented.Shows(frame.data, kFontTexture));
    presented.Forget();
    EXPECT_FALSE(presented.Shows(frame.data, kFontTexture));
}

TEST(PresentedFrame, AnyChangeThatDrawsOtherPixelsIsNotShown)
{
    const std::pair<const char*, std::function<void(OneTriangle&, uint32_t&)>> changes[] = {
        {"vertex colour", [](OneTriangle& f, uint32_t&) { f.list.VtxBuffer[1].col = IM_COL32(0, 0, 255, 255); }},
        {"vertex position", [](OneTriangle& f, uint32_t&) { f.list.VtxBuffer[2].pos.y += 1.0f; }},
        {"index order", [](OneTriangle& f, uint32_t&) { f.list.IdxBuffer[0] = 2; }},
        {"clip rectangle", [](OneTriangle& f, uint32_t&) { f.list.CmdBuffer[0].ClipRect.z = 60; }},
        {"element count", [](OneTriangle& f, uint32_t&) { f.list.CmdBuffer[0].ElemCount = 0; }},
        {"font texture", [](OneTriangle&, uint32_t& font) { font = kFontTexture + 1; }},
        {"display size", [](OneTriangle& f, uint32_t&) { f.data.DisplaySize.x = 120; }},
        {"framebuffer scale", [](OneTriangle& f, uint32_t&) { f.data.FramebufferScale = ImVec2(2, 2); }},
        {"own callback", [](OneTriangle& f, uint32_t&) { f.list.CmdBuffer[0].UserCallback = NoDrawing; }},
    };
    for (const auto& [name, change] : changes)
    {
        OneTriangle frame;
        PresentedFrame presented;
        presented.Shows(frame.data, kFontTexture);
        presented.Remember();
        uint32_t font = kFontTexture;
        change(frame, font);
        EXPECT_FALSE(presented.Shows(frame.data, font)) << name;
        // A frame with a callback of its own is never taken for the one on screen, even itself.
        presented.Remember();
        EXPECT_EQ(presented.Shows(frame.data, font), std::string(name) != "own callback") << name;
    }
}

} // namespace
} // namespace nd
