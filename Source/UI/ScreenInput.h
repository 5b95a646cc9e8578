#pragma once
// Mouse rules of the screens' hand-drawn buttons, on top of the UI library's input state. Call
// them inside the main window, after the UI frame has started.
//
// A button fires on the release of the left button over it, never on a release that ends a
// window drag (moving), so dropping the dragged window over a glyph does nothing. Registering a
// button as an item makes it block a drag from starting while it is hovered or held.

#include <imgui.h>

namespace nd::ScreenInput
{

// The mouse is inside the rectangle, clipped to the current window.
bool MouseInside(const ImVec2& min, const ImVec2& max);
bool LeftDown();
// Left button released over the rectangle in this frame, and the window was not being dragged.
bool ReleasedInside(const ImVec2& min, const ImVec2& max, bool moving);
// Registers the rectangle as an interactive item; true when it is hovered or active, so the
// caller blocks window dragging for this frame.
bool RegisterItem(const ImVec2& min, const ImVec2& max, const char* identifier);

} // namespace nd::ScreenInput
