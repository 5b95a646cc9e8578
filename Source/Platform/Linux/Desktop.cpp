#include "Platform/Desktop.h"

namespace Platform
{

// X11 has a root window but no desktop window in this sense, and the cursor is asked for through
// GLFW, which owns the display connection: both stay with the window layer.
bool DesktopSize(int32_t&, int32_t&)
{
    return false;
}

bool CursorScreenPosition(int32_t&, int32_t&)
{
    return false;
}

} // namespace Platform
