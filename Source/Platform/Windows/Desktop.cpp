#include "Platform/Desktop.h"

#include <windows.h>

namespace Platform
{

bool DesktopSize(int32_t& width, int32_t& height)
{
    RECT desktop{};
    if (!GetWindowRect(GetDesktopWindow(), &desktop))
        return false;
    width = desktop.right;
    height = desktop.bottom;
    return true;
}

bool CursorScreenPosition(int32_t& x, int32_t& y)
{
    POINT cursor{};
    if (!GetCursorPos(&cursor))
        return false;
    x = cursor.x;
    y = cursor.y;
    return true;
}

} // namespace Platform
