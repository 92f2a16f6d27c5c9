// An X client that asks for the clipboard and then stops reading: COUNT windows each ask for
// the CLIPBOARD selection as TARGET, and none deletes the property the owner answers in, which
// is how a requestor takes the next chunk of an incremental (INCR) transfer.
//
//   stalledrequestor COUNT TARGET
//       prints "incr N" once every request was answered, N of them as incremental
//       transfers. Then, for each line "take" on standard input, deletes the property on
//       every window, as taking a chunk would, and prints "continued K": how many owners
//       sent another chunk within two seconds. Ends when its input ends.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <set>
#include <vector>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace {

// Waits up to timeoutMs for an event on the connection; whether one came.
bool nextEvent(Display *display, XEvent &event, int timeoutMs)
{
    while (XPending(display) == 0) {
        pollfd connection { ConnectionNumber(display), POLLIN, 0 };
        if (::poll(&connection, 1, timeoutMs) <= 0)
            return false;
    }
    XNextEvent(display, &event);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fputs("usage: stalledrequestor COUNT TARGET\n", stderr);
        return 2;
    }
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return 1;
    const int count = std::atoi(argv[1]);
    const Atom clipboard = XInternAtom(display, "CLIPBOARD", False);
    const Atom target = XInternAtom(display, argv[2], False);
    const Atom incr = XInternAtom(display, "INCR", False);
    const Atom property = XInternAtom(display, "STALLED_TRANSFER", False);
    std::vector<Window> windows;
    for (int i = 0; i < count; ++i) {
        const Window window
            = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
        XSelectInput(display, window, PropertyChangeMask);
        XConvertSelection(display, clipboard, target, property, window, CurrentTime);
        windows.push_back(window);
    }
    XFlush(display);

    int answered = 0;
    int incremental = 0;
    XEvent event;
    while (answered < count && nextEvent(display, event, 20000)) {
        if (event.type != SelectionNotify)
            continue;
        ++answered;
        Atom type = None;
        int format = 0;
        unsigned long items = 0;
        unsigned long left = 0;
        unsigned char *data = nullptr;
        XGetWindowProperty(display, event.xselection.requestor, property, 0, 0, False,
            AnyPropertyType, &type, &format, &items, &left, &data);
        if (data)
            XFree(data);
        if (type == incr)
            ++incremental;
    }
    std::printf("incr %d\n", incremental);
    std::fflush(stdout);

    char buffer[64];
    while (std::fgets(buffer, sizeof buffer, stdin)) {
        if (std::strcmp(buffer, "take\n") != 0)
            continue;
        for (const Window window : windows)
            XDeleteProperty(display, window, property);
        XFlush(display);
        std::set<Window> continued;
        while (nextEvent(display, event, 2000)) {
            if (event.type == PropertyNotify && event.xproperty.state == PropertyNewValue
                && event.xproperty.atom == property)
                continued.insert(event.xproperty.window);
        }
        std::printf("continued %zu\n", continued.size());
        std::fflush(stdout);
    }
    XCloseDisplay(display);
    return 0;
}
