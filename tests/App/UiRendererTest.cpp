#include "App/UiRenderer.h"
#include "App/CoreUI.h"
#include "App/Texture.h"
#include "GlSession.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>
#include <imgui.h>

#include <functional>
#include <vector>

namespace nd
{
namespace
{

constexpr int kWidth = 320;
constexpr int kHeight = 240;

struct Rgb
{
    int r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};
std::ostream& operator<<(std::ostream& out, const Rgb& c)
{
    return out << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}
const Rgb kWhite{255, 255, 255}, kRed{255, 0, 0}, kBlue{0, 0, 255}, kGreen{0, 255, 0};

// A window-sized, white UI window whose draw list gets the test's shapes; drawn twice so that the
// window is laid out, then read back from the back buffer before any swap.
class UiRendererTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        if (!test::XvfbDisplay::IsInstalled())
            GTEST_SKIP() << "Xvfb is not installed";
        ASSERT_TRUE(test::GlSession::Get().Ready()) << test::GlSession::Get().Error();
        ASSERT_TRUE(test::GlSession::EnsureUi());
        GLFWwindow* window = test::GlSession::Get().Window();
        glfwSetWindowSize(window, kWidth, kHeight);
        // The driver re-reads the drawable's size at a swap; without one the back buffer can keep the
        // size an earlier test gave the window.
        glfwSwapBuffers(window);
    }

    void Draw(const std::function<void(ImDrawList*)>& shapes)
    {
        auto ui = CoreUI::Instance();
        for (int frame = 0; frame < 2; ++frame)
        {
            ui->NewFrame();
            ImGui::SetNextWindowPos(ImVec2(0, 0));
            ImGui::SetNextWindowSize(ImVec2(kWidth, kHeight));
            ImGui::PushStyleVar(ImGuiStyleVar_WindowBorderSize, 0.0f);
            ImGui::Begin("##canvas", nullptr, ImGuiWindowFlags_NoDecoration);
            shapes(ImGui::GetWindowDrawList());
            ImGui::End();
            ImGui::PopStyleVar();
            ui->Render();
        }
    }

    static Rgb PixelAt(int x, int y)
    {
        unsigned char p[4] = {};
        glReadBuffer(GL_BACK);
        glReadPixels(x, kHeight - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
        return {p[0], p[1], p[2]};
    }

    static std::shared_ptr<Texture> SolidTexture(const std::string& name, Rgb colour)
    {
        std::vector<uint8_t> pixels;
        for (int i = 0; i < 16; ++i)
            pixels.insert(pixels.end(), {static_cast<uint8_t>(colour.r), static_cast<uint8_t>(colour.g),
                                         static_cast<uint8_t>(colour.b), 255});
        return CreateTexture(name, pixels.data(), 4, 4);
    }
};

TEST_F(UiRendererTest, TexturedQuadShowsItsTexture)
{
    auto red = SolidTexture("red", kRed);
    ASSERT_NE(red, nullptr);
    Draw([&](ImDrawList* list) { list->AddImage(red->UiHandle(), ImVec2(20, 20), ImVec2(120, 120)); });
    EXPECT_EQ(PixelAt(70, 70), kRed);
    EXPECT_EQ(PixelAt(21, 118), kRed);
    EXPECT_EQ(PixelAt(200, 200), kWhite);
    EXPECT_EQ(PixelAt(70, 125), kWhite);
}

TEST_F(UiRendererTest, UnknownOrEmptyHandleDrawsWithThePreviousTexture)
{
    auto red = SolidTexture("red", kRed);
    auto blue = SolidTexture("blue", kBlue);
    ASSERT_NE(red, nullptr);
    ASSERT_NE(blue, nullptr);
    // Identifiers never contain "p", so this one cannot be registered.
    static char unknown[] = "ppppp";
    static char empty[] = "";
    Draw(
        [&](ImDrawList* list)
        {
            list->AddImage(red->UiHandle(), ImVec2(10, 10), ImVec2(50, 50));
            list->AddImage(unknown, ImVec2(60, 10), ImVec2(100, 50));
            list->AddImage(empty, ImVec2(110, 10), ImVec2(150, 50));
            list->AddImage(blue->UiHandle(), ImVec2(160, 10), ImVec2(200, 50));
            list->AddImage(unknown, ImVec2(210, 10), ImVec2(250, 50));
        });
    EXPECT_EQ(PixelAt(30, 30), kRed);
    EXPECT_EQ(PixelAt(80, 30), kRed);
    EXPECT_EQ(PixelAt(130, 30), kRed);
    EXPECT_EQ(PixelAt(180, 30), kBlue);
    EXPECT_EQ(PixelAt(230, 30), kBlue);
}

TEST_F(UiRendererTest, CommandsWithoutAHandleDrawWithTheFontAtlas)
{
    // An opaque and a fully transparent atlas texel, drawn tinted red: only the opaque one shows, which
    // it would not if the atlas were not bound.
    // The atlas's pixels live only in its texture.
    ImGuiIO& io = ImGui::GetIO();
    const auto& fontTexture = CoreUI::Instance()->GetFontTexture();
    const int w = fontTexture->GetWidth(), h = fontTexture->GetHeight();
    std::vector<unsigned char> pixels(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
    glBindTexture(GL_TEXTURE_2D, fontTexture->GetGlName());
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    const unsigned char* atlas = pixels.data();
    ImVec2 clear(-1, -1);
    for (int y = 1; y + 1 < h && clear.x < 0; ++y)
        for (int x = 1; x + 1 < w && clear.x < 0; ++x)
        {
            bool allClear = true;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    allClear = allClear && atlas[((y + dy) * w + x + dx) * 4 + 3] == 0;
            if (allClear)
                clear = ImVec2((x + 0.5f) / w, (y + 0.5f) / h);
        }
    ASSERT_GE(clear.x, 0.0f);
    const ImVec2 white = io.Fonts->TexUvWhitePixel;
    Draw(
        [&](ImDrawList* list)
        {
            list->AddImage(nullptr, ImVec2(20, 20), ImVec2(60, 60), white, white, IM_COL32(255, 0, 0, 255));
            list->AddImage(nullptr, ImVec2(80, 20), ImVec2(120, 60), clear, clear, IM_COL32(255, 0, 0, 255));
        });
    EXPECT_EQ(PixelAt(40, 40), kRed);
    EXPECT_EQ(PixelAt(100, 40), kWhite);
}

TEST_F(UiRendererTest, ClipRectangleIsScissoredTopDown)
{
    Draw(
        [&](ImDrawList* list)
        {
            list->PushClipRect(ImVec2(20, 20), ImVec2(60, 200), true);
            list->AddRectFilled(ImVec2(0, 0), ImVec2(kWidth, kHeight), IM_COL32(0, 255, 0, 255));
            list->PopClipRect();
        });
    EXPECT_EQ(PixelAt(40, 25), kGreen);
    EXPECT_EQ(PixelAt(40, 195), kGreen);
    EXPECT_EQ(PixelAt(40, 10), kWhite);
    EXPECT_EQ(PixelAt(40, 210), kWhite);
    EXPECT_EQ(PixelAt(100, 100), kWhite);
}

int callbackCalls = 0;
const ImDrawList* callbackList = nullptr;
void RecordCallback(const ImDrawList* list, const ImDrawCmd* cmd)
{
    ++callbackCalls;
    callbackList = list;
    EXPECT_EQ(cmd->UserCallbackData, &callbackCalls);
}

// Draw data made by hand: one list with a red rectangle, a render-state reset and a user callback.
class HandMadeDrawData
{
  public:
    HandMadeDrawData() : list(ImGui::GetDrawListSharedData())
    {
        list._ResetForNewFrame();
        list.PushClipRect(ImVec2(0, 0), ImVec2(kWidth, kHeight));
        list.PushTextureID(nullptr);
        list.AddCallback(ImDrawCallback_ResetRenderState, nullptr);
        list.AddCallback(RecordCallback, &callbackCalls);
        list.AddRectFilled(ImVec2(10, 10), ImVec2(100, 100), IM_COL32(255, 0, 0, 255));
        lists[0] = &list;
        data.Valid = true;
        data.CmdLists = lists;
        data.CmdListsCount = 1;
        data.TotalVtxCount = list.VtxBuffer.Size;
        data.TotalIdxCount = list.IdxBuffer.Size;
        data.DisplayPos = ImVec2(0, 0);
        data.FramebufferScale = ImVec2(1, 1);
    }

    ImDrawList list;
    ImDrawList* lists[1] = {};
    ImDrawData data;
};

void ClearTo(Rgb c)
{
    glViewport(0, 0, kWidth, kHeight);
    glClearColor(c.r / 255.0f, c.g / 255.0f, c.b / 255.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
}

TEST_F(UiRendererTest, ZeroSizedDisplayDrawsNothing)
{
    CoreUI::Instance()->NewFrame(); // shared draw-list data for this frame
    HandMadeDrawData made;
    made.data.DisplaySize = ImVec2(0, 0);
    ClearTo(kBlue);
    callbackCalls = 0;
    UiRenderer::RenderDrawData(&made.data, CoreUI::Instance()->GetFontTexture()->GetGlName());
    EXPECT_EQ(PixelAt(50, 50), kBlue);
    EXPECT_EQ(callbackCalls, 0);
    CoreUI::Instance()->Render();
}

TEST_F(UiRendererTest, RestoresTheStateItChangesAndKeepsMatrixStacksBalanced)
{
    CoreUI::Instance()->NewFrame();
    HandMadeDrawData made;
    made.data.DisplaySize = ImVec2(kWidth, kHeight);
    ClearTo(kBlue);

    GLuint outer = 0;
    glGenTextures(1, &outer);
    glBindTexture(GL_TEXTURE_2D, outer);
    glScissor(1, 2, 3, 4);
    GLint projectionDepth = 0, modelviewDepth = 0;
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &projectionDepth);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &modelviewDepth);
    callbackCalls = 0;

    UiRenderer::RenderDrawData(&made.data, CoreUI::Instance()->GetFontTexture()->GetGlName());

    EXPECT_EQ(PixelAt(50, 50), kRed);
    EXPECT_EQ(PixelAt(150, 150), kBlue);
    EXPECT_EQ(callbackCalls, 1);
    EXPECT_EQ(callbackList, &made.list);
    GLint bound = 0, scissor[4] = {}, depth = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(static_cast<GLuint>(bound), outer);
    glGetIntegerv(GL_SCISSOR_BOX, scissor);
    EXPECT_EQ(scissor[0], 1);
    EXPECT_EQ(scissor[1], 2);
    EXPECT_EQ(scissor[2], 3);
    EXPECT_EQ(scissor[3], 4);
    EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, projectionDepth);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, modelviewDepth);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    glBindTexture(GL_TEXTURE_2D, 0);
    glDeleteTextures(1, &outer);
    CoreUI::Instance()->Render();
}

// Draws through the software renderer, hence in this suite (see scripts/test.sh).
TEST_F(UiRendererTest, OnlyTheFrameLoopSkipsAnUnchangedFrameAndNotAfterAnExpose)
{
    auto ui = CoreUI::Instance();
    GLFWwindow* window = test::GlSession::Get().Window();
    auto frame = [&](bool skipUnchanged)
    {
        ui->NewFrame();
        ImGui::GetForegroundDrawList()->AddRectFilled(ImVec2(5, 5), ImVec2(40, 40), IM_COL32(0, 128, 0, 255));
        return ui->Render(skipUnchanged);
    };
    frame(true);
    EXPECT_FALSE(frame(true)) << "unchanged";
    EXPECT_TRUE(frame(false)) << "drawn by anyone else";
    EXPECT_TRUE(frame(true)) << "after drawing that was not presented";
    EXPECT_FALSE(frame(true));
    GLFWwindowrefreshfun exposed = glfwSetWindowRefreshCallback(window, nullptr);
    glfwSetWindowRefreshCallback(window, exposed);
    ASSERT_NE(exposed, nullptr);
    exposed(window);
    EXPECT_TRUE(frame(true)) << "after an expose";
    EXPECT_FALSE(frame(true));
}

// A half-rate animation leaves out every second changing frame, never one the window needs.
TEST_F(UiRendererTest, HalfRateFramesAlternateAndNeverHoldBackAnExpose)
{
    auto ui = CoreUI::Instance();
    GLFWwindow* window = test::GlSession::Get().Window();
    int shade = 0;
    auto changingFrame = [&](bool halfRate)
    {
        ui->NewFrame();
        ImGui::GetForegroundDrawList()->AddRectFilled(ImVec2(5, 5), ImVec2(40, 40),
                                                      IM_COL32(0, ++shade, 0, 255));
        if (halfRate)
            ui->AllowHalfRate();
        return ui->Render(true);
    };
    EXPECT_TRUE(changingFrame(false));
    EXPECT_FALSE(changingFrame(true)) << "the one after a drawn frame";
    EXPECT_TRUE(changingFrame(true));
    EXPECT_FALSE(changingFrame(true));
    EXPECT_TRUE(changingFrame(true));
    GLFWwindowrefreshfun exposed = glfwSetWindowRefreshCallback(window, nullptr);
    glfwSetWindowRefreshCallback(window, exposed);
    ASSERT_NE(exposed, nullptr);
    exposed(window);
    EXPECT_TRUE(changingFrame(true)) << "after an expose";
    EXPECT_TRUE(changingFrame(false)) << "at full rate again";
    EXPECT_TRUE(changingFrame(false));
}

TEST(UiRendererScale, FramebufferPixelsPerWindowPixel)
{
    EXPECT_FLOAT_EQ(UiRenderer::FramebufferScale(2400, 1200), 2.0f);
    EXPECT_FLOAT_EQ(UiRenderer::FramebufferScale(640, 640), 1.0f);
    EXPECT_FLOAT_EQ(UiRenderer::FramebufferScale(640, 0), 0.0f);
    EXPECT_FLOAT_EQ(UiRenderer::FramebufferScale(640, -3), 0.0f);
}

} // namespace
} // namespace nd
