// Asks an X11 window to close, as a window manager's close button would: a WM_DELETE_WINDOW
// message. Usage: close_window WINDOW_ID (decimal or 0x hex). Exits 0 when the message was
// sent.
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[]) {
    Display *display = argc == 2 ? XOpenDisplay(nullptr) : nullptr;
    if (display == nullptr) {
        std::fprintf(stderr, argc == 2 ? "close_window: cannot open the display\n"
                                       : "usage: close_window WINDOW_ID\n");
        return argc == 2 ? 1 : 2;
    }
    XEvent event{}; // the time stamp stays 0, CurrentTime
    event.xclient.type = ClientMessage;
    event.xclient.window = std::strtoul(argv[1], nullptr, 0);
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    XSendEvent(display, event.xclient.window, False, NoEventMask, &event);
    XSync(display, False);
    XCloseDisplay(display);
    return 0;
}
