// Another X client of the session, for the end-to-end tests: it either holds the panel's hot
// key (Super+Shift+V) or stands in for a desktop panel, a dock reserving a strip along the
// bottom of the screen. It prints "ready" once done and keeps going until its input closes.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace {

void grabHotkey(Display *display)
{
    const Window root = DefaultRootWindow(display);
    const KeyCode v = XKeysymToKeycode(display, XK_v);
    // With and without Num Lock (Mod2) and Caps Lock, as any careful grabber does.
    for (unsigned int locks :
        { 0u, unsigned(Mod2Mask), unsigned(LockMask), unsigned(Mod2Mask | LockMask) })
        XGrabKey(
            display, v, Mod4Mask | ShiftMask | locks, root, True, GrabModeAsync, GrabModeAsync);
    XSync(display, False);
}

void showDock(Display *display, int height)
{
    const int screen = DefaultScreen(display);
    const int width = DisplayWidth(display, screen);
    const int top = DisplayHeight(display, screen) - height;
    const Window dock = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, top,
        unsigned(width), unsigned(height), 0, 0, 0x303030);
    Atom type = XInternAtom(display, "_NET_WM_WINDOW_TYPE_DOCK", False);
    XChangeProperty(display, dock, XInternAtom(display, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32,
        PropModeReplace, reinterpret_cast<unsigned char *>(&type), 1);
    // left, right, top, bottom, then the start and end of each of the four edges' strips.
    long strut[12] = { 0, 0, 0, height, 0, 0, 0, 0, 0, 0, 0, width - 1 };
    XChangeProperty(display, dock, XInternAtom(display, "_NET_WM_STRUT_PARTIAL", False),
        XA_CARDINAL, 32, PropModeReplace, reinterpret_cast<unsigned char *>(strut), 12);
    XChangeProperty(display, dock, XInternAtom(display, "_NET_WM_STRUT", False), XA_CARDINAL, 32,
        PropModeReplace, reinterpret_cast<unsigned char *>(strut), 4);
    XMapWindow(display, dock);
    XSync(display, False);
}

} // namespace

int main(int argc, char *argv[])
{
    Display *display = XOpenDisplay(nullptr);
    if (!display || argc < 2)
        return 2;
    if (std::strcmp(argv[1], "grab-hotkey") == 0)
        grabHotkey(display);
    else if (std::strcmp(argv[1], "dock") == 0 && argc > 2)
        showDock(display, std::atoi(argv[2]));
    else
        return 2;
    std::puts("ready");
    std::fflush(stdout);
    while (std::getchar() != EOF) { }
    XCloseDisplay(display);
    return 0;
}
