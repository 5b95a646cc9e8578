#pragma once
// The close request of a window manager, which Xvfb has none of: the WM_DELETE_WINDOW message
// (xdotool's windowclose destroys the window instead, which no program sees as a request).

#include <string>

namespace screentest
{

// Sends the message to the window (decimal X id) on the display of DISPLAY; false when it could
// not be sent.
bool RequestWindowClose(const std::string& windowId);

} // namespace screentest
