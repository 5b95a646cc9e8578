#include "App/Application.h"

#include "App/CoreUI.h"
#include "App/FrameClock.h"
#include "App/FramePacer.h"
#include "App/Hooks.h"
#include "Core/Console.h"
#include "Platform/Desktop.h"

#include <GLFW/glfw3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace nd
{

namespace
{

void GlfwErrorCallback(int code, const char* description)
{
    std::fprintf(stderr, "Error %d: %s\n", code, description);
}

// GLFW must be initialised before any monitor can be asked about; a second call returns at once.
bool InitGlfw()
{
    glfwSetErrorCallback(GlfwErrorCallback);
    return glfwInit() == GLFW_TRUE;
}

const GLFWvidmode* PrimaryVideoMode()
{
    if (!InitGlfw())
        return nullptr;
    GLFWmonitor* monitor = glfwGetPrimaryMonitor();
    return monitor != nullptr ? glfwGetVideoMode(monitor) : nullptr;
}

// The platform's desktop window where there is one (Windows). Elsewhere the desktop is taken to be
// the primary monitor's current video mode: the area the program's window is centred on, and what
// a desktop window spans on a single-monitor system.
bool MeasureDesktop(int32_t& width, int32_t& height)
{
    if (Platform::DesktopSize(width, height))
        return true;
    const GLFWvidmode* mode = PrimaryVideoMode();
    if (mode == nullptr)
        return false;
    width = mode->width;
    height = mode->height;
    return true;
}

// GLFW's content scale of the primary monitor: the monitor the window is centred on. On X11 it is
// Xft.dpi / 96 for every monitor, read when GLFW starts.
float PrimaryContentScale()
{
    if (!InitGlfw())
        return 1.0f;
    GLFWmonitor* monitor = glfwGetPrimaryMonitor();
    float xScale = 1.0f, yScale = 1.0f;
    if (monitor != nullptr)
        glfwGetMonitorContentScale(monitor, &xScale, &yScale);
    return xScale;
}

} // namespace

Application::Application() : Application(MeasureDesktop, PrimaryContentScale) {}

Application::Application(DesktopSizeQuery desktopSize, ContentScaleQuery contentScale)
    : desktopSize(std::move(desktopSize)), contentScaleQuery(std::move(contentScale))
{
}

Application& Application::Instance()
{
    static Application application;
    return application;
}

bool Application::Create()
{
    if (created)
        return true;
    PrintVerbose(" Application::Create() -> Engine starting...'\n");
    if (!InitGlfw())
    {
        PrintError(" Application::Create() -> GLFW: Init failed!\n");
        return false;
    }

    EnsureScale();
    glfwDefaultWindowHints();
    glfwWindowHint(GLFW_CLIENT_API, GLFW_OPENGL_API);
    glfwWindowHint(GLFW_AUTO_ICONIFY, GLFW_TRUE);
    // The UI draws with neither depth nor stencil test: buffers for them would only take memory
    // (3 MiB at 1200 x 640 with software drawing).
    glfwWindowHint(GLFW_DEPTH_BITS, 0);
    glfwWindowHint(GLFW_STENCIL_BITS, 0);
    // No context version is asked for: the UI renderer needs a compatibility context.
    window = CreateWindowForMode();
    if (window == nullptr)
    {
        PrintError(" Application::Create() -> GLFW: Window creation failed!\n");
        return false;
    }
    glfwMakeContextCurrent(window);
    glfwSwapInterval(1);
    opacity = 1.0f;

    // Centred without changing the stored position.
    if (const GLFWvidmode* mode = PrimaryVideoMode())
        glfwSetWindowPos(window, (mode->width - ToDevice(width)) / 2, (mode->height - ToDevice(height)) / 2);

    CoreUI::Instance()->SetScale(scale);
    CoreUI::Instance()->Init(window);
    FrameClock::Instance().Start();
    FrameClock::Instance().Update();
    created = true;
    return OnCreate();
}

GLFWwindow* Application::CreateWindowForMode()
{
    GLFWmonitor* monitor = glfwGetPrimaryMonitor();
    const GLFWvidmode* mode = monitor != nullptr ? glfwGetVideoMode(monitor) : nullptr;
    const int32_t width = ToDevice(this->width);
    const int32_t height = ToDevice(this->height);
    switch (windowMode)
    {
    case WindowMode::Windowed:
        return glfwCreateWindow(width, height, title.c_str(), nullptr, nullptr);
    case WindowMode::Borderless:
        glfwWindowHint(GLFW_DECORATED, GLFW_FALSE);
        return glfwCreateWindow(width, height, title.c_str(), nullptr, nullptr);
    case WindowMode::Fullscreen:
        if (mode != nullptr)
        {
            glfwWindowHint(GLFW_RED_BITS, mode->redBits);
            glfwWindowHint(GLFW_GREEN_BITS, mode->greenBits);
            glfwWindowHint(GLFW_BLUE_BITS, mode->blueBits);
            glfwWindowHint(GLFW_REFRESH_RATE, mode->refreshRate);
        }
        return glfwCreateWindow(width, height, title.c_str(), monitor, nullptr);
    case WindowMode::FullscreenNative:
        if (mode != nullptr)
            return glfwCreateWindow(mode->width, mode->height, title.c_str(), monitor, nullptr);
        return glfwCreateWindow(width, height, title.c_str(), nullptr, nullptr);
    }
    return nullptr;
}

void Application::Run()
{
    if (!created || window == nullptr)
        return;
    std::shared_ptr<CoreUI> ui = CoreUI::Instance();
    FrameClock& clock = FrameClock::Instance();
    FramePacer pacer;
    while (!glfwWindowShouldClose(window))
    {
        pacer.WaitForNextIteration();
        // Input, the clock and the screens (their fades and timers) advance every iteration; only
        // drawing and presenting wait for a frame that differs from the one on screen.
        glfwPollEvents();
        clock.Update();
        ui->NewFrame();
        // Quitting leaves this frame unrendered and unpresented.
        if (!OnFrame())
            break;
        if (ui->Render(true))
        {
            glfwMakeContextCurrent(window);
            glfwSwapBuffers(window);
        }
        glfwSetWindowTitle(window, title.c_str());
    }
    ui->Shutdown();
}

void Application::SetName(const std::string& name)
{
    if (name.empty())
        return;
    title = kTitlePrefix + name;
    if (window != nullptr)
        glfwSetWindowTitle(window, title.c_str());
}

void Application::SetWindowMode(WindowMode mode)
{
    windowMode = mode;
}

// [SECTION] Display scale
float Application::FitScale(float contentScale, int32_t desktopWidth, int32_t desktopHeight)
{
    float fitted = std::isfinite(contentScale) && contentScale > 0.0f ? contentScale : 1.0f;
    if (desktopWidth > 0 && desktopHeight > 0)
        fitted = std::min({fitted, static_cast<float>(desktopWidth) / static_cast<float>(kLargestWidth),
                           static_cast<float>(desktopHeight) / static_cast<float>(kLargestHeight)});
    // Below 1 the design's pixels would be cut in pieces: a low-density display keeps the design.
    return std::max(fitted, 1.0f);
}

void Application::EnsureScale()
{
    if (!scaleTaken)
        UpdateScale(contentScaleQuery ? contentScaleQuery() : 1.0f);
}

void Application::UpdateScale(float contentScale)
{
    int32_t desktopWidth = 0, desktopHeight = 0;
    if (!desktopSize || !desktopSize(desktopWidth, desktopHeight))
        desktopWidth = desktopHeight = 0;
    scale = FitScale(contentScale, desktopWidth, desktopHeight);
    scaleTaken = true;
}

int32_t Application::ToDevice(int32_t length) const
{
    return static_cast<int32_t>(std::lround(static_cast<double>(length) * scale));
}

void Application::OnContentScaleChanged(float contentScale)
{
    const float before = scale;
    UpdateScale(contentScale);
    if (scale == before)
        return;
    if (window != nullptr)
        glfwSetWindowSize(window, ToDevice(width), ToDevice(height));
    CoreUI::Instance()->SetScale(scale);
}

// [SECTION] Window
void Application::SetSize(int32_t newWidth, int32_t newHeight)
{
    EnsureScale();
    int32_t desktopWidth = 0, desktopHeight = 0;
    // Without a desktop to measure (no display yet) the size is kept as asked.
    if (desktopSize && desktopSize(desktopWidth, desktopHeight))
    {
        // The desktop in design pixels; the scale was lowered so that the largest window fits.
        newWidth = std::min(newWidth, static_cast<int32_t>(static_cast<float>(desktopWidth) / scale));
        newHeight = std::min(newHeight, static_cast<int32_t>(static_cast<float>(desktopHeight) / scale));
    }
    width = newWidth;
    height = newHeight;
    if (window != nullptr)
        glfwSetWindowSize(window, ToDevice(width), ToDevice(height));
}

void Application::SetPosition(int32_t newX, int32_t newY)
{
    x = newX;
    y = newY;
    if (window != nullptr)
        glfwSetWindowPos(window, ToDevice(x), ToDevice(y));
}

void Application::SetOpacity(float value)
{
    if (window == nullptr || std::isnan(value))
        return;
    opacity = std::clamp(value, 0.0f, 1.0f);
    glfwSetWindowOpacity(window, opacity);
}

void Application::CenterOnScreen()
{
    int32_t monitorWidth = 0, monitorHeight = 0;
    if (const GLFWvidmode* mode = PrimaryVideoMode())
    {
        monitorWidth = mode->width;
        monitorHeight = mode->height;
    }
    // Centred in device pixels, where the rounding of the scaled size is known.
    const auto centre = [this](int32_t monitor, int32_t length) {
        return static_cast<int32_t>(
            std::lround(static_cast<double>((monitor - ToDevice(length)) / 2) / scale));
    };
    SetPosition(centre(monitorWidth, width), centre(monitorHeight, height));
}

void Application::Minimize()
{
    if (created && window != nullptr)
        glfwIconifyWindow(window);
}

void Application::Hide()
{
    if (window != nullptr)
        glfwHideWindow(window);
}

bool Application::GetCursorScreenPos(float& screenX, float& screenY) const
{
    if (window == nullptr)
        return false;
    int32_t desktopX = 0, desktopY = 0;
    if (Platform::CursorScreenPosition(desktopX, desktopY))
    {
        screenX = static_cast<float>(desktopX) / scale;
        screenY = static_cast<float>(desktopY) / scale;
        return true;
    }
    int windowX = 0, windowY = 0;
    double cursorX = 0.0, cursorY = 0.0;
    glfwGetWindowPos(window, &windowX, &windowY);
    glfwGetCursorPos(window, &cursorX, &cursorY);
    screenX = static_cast<float>(windowX + cursorX) / scale;
    screenY = static_cast<float>(windowY + cursorY) / scale;
    return true;
}

} // namespace nd
