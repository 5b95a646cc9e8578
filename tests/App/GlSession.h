#pragma once
// One window with a current OpenGL context for the tests of a process: a private Xvfb plus the real
// Application::Create (running the test hooks of ApplicationTest.cpp). Made on first use; at exit GLFW
// is terminated before the server stops, so nothing talks to a dead display.

#include "App/Application.h"
#include "App/CoreUI.h"
#include "XvfbDisplay.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace nd::test
{

// What the test hooks do; ApplicationTest.cpp defines the hooks and this state.
struct TestHooks
{
    int createCalls = 0;
    bool createResult = true;
    int frameCalls = 0;
    // Decides OnFrame's result; null means keep running.
    std::function<bool()> onFrame;
};
TestHooks& Hooks();

class GlSession
{
  public:
    static GlSession& Get()
    {
        static GlSession session;
        return session;
    }

    bool Ready() const { return ready; }
    const std::string& Error() const { return error; }
    GLFWwindow* Window() const { return Application::Instance().GetWindow(); }

    // The UI layer as Create left it; made again if an earlier test ended it (Application::Run does).
    static bool EnsureUi() { return CoreUI::Instance()->Init(Application::Instance().GetWindow()); }

    ~GlSession()
    {
        if (ready)
            glfwTerminate();
        display.Stop();
    }

  private:
    GlSession()
    {
        if (!display.Start(error))
            return;
        Application& app = Application::Instance();
        app.SetWindowMode(WindowMode::Borderless);
        app.SetSize(640, 360);
        if (!app.Create() || app.GetWindow() == nullptr)
        {
            error = "Application::Create failed";
            return;
        }
        ready = true;
    }

    XvfbDisplay display;
    bool ready = false;
    std::string error;
};

} // namespace nd::test

// Skips only when no X server can be had at all; any other failure to get a window fails the test.
#define ND_REQUIRE_GL_SESSION()                                                                              \
    do                                                                                                       \
    {                                                                                                        \
        if (!::nd::test::XvfbDisplay::IsInstalled())                                                         \
            GTEST_SKIP() << "Xvfb is not installed (scripts/install-deps.sh installs it)";                   \
        ASSERT_TRUE(::nd::test::GlSession::Get().Ready()) << ::nd::test::GlSession::Get().Error();           \
        ASSERT_TRUE(::nd::test::GlSession::EnsureUi());                                                      \
    } while (false)
