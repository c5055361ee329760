// Asks a window to close the way a window manager does: a WM_DELETE_WINDOW
// client message.   wm_close <window id>
#include <X11/Xlib.h>
#include <cstdlib>

int main(int argc, char *argv[])
{
    Display *display = argc == 2 ? XOpenDisplay(nullptr) : nullptr;
    if (!display)
        return 2;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = std::strtoul(argv[1], nullptr, 0);
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, event.xclient.window, False, NoEventMask, &event);
    XCloseDisplay(display);
    return 0;
}
