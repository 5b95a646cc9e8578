#pragma once
// The desktop the program's window lives on, for sizing the window and dragging it by its title
// bar. Coordinates are pixels of the whole desktop, origin at its top left.

#include <cstdint>

namespace Platform
{

// The desktop window's extent (its right and bottom edges). False where the platform has no
// desktop window to ask: the window layer then measures the primary monitor itself.
bool DesktopSize(int32_t& width, int32_t& height);

// Where the mouse cursor is on the desktop. False where only the window layer knows (X11 reports
// the cursor relative to a window).
bool CursorScreenPosition(int32_t& x, int32_t& y);

} // namespace Platform
