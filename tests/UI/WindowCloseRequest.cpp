// Xlib's macros (Status, None, Bool...) would clash with the tests' own names, so this one X
// client call lives in a file of its own.

#include <X11/Xlib.h>

#include <cstdlib>
#include <string>

namespace screentest
{

// Sent to the window (decimal X id) on the display of DISPLAY.
bool RequestWindowClose(const std::string& windowId)
{
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr)
        return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = std::strtoul(windowId.c_str(), nullptr, 10);
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(display, event.xclient.window, False, NoEventMask, &event) != 0;
    XCloseDisplay(display); // flushes the event out
    return sent;
}

} // namespace screentest
