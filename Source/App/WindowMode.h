#pragma once

#include <cstdint>

namespace nd
{

// How Application::Create makes its window; read only there.
enum class WindowMode : int32_t
{
    Windowed = 0,         // decorated window of the stored size
    Borderless = 1,       // undecorated window of the stored size
    Fullscreen = 2,       // the stored size on the primary monitor, with its colour depths and refresh rate
    FullscreenNative = 3, // the primary monitor's current video-mode size
};

} // namespace nd
