#include "clipboardxlib.h"

#include <QGuiApplication>
#include <QSet>

#include <cstring>
#include <mutex>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace corvane::xlib {

namespace {

std::mutex errorMutex;
QSet<Display *> quietDisplays;
XErrorHandler previousHandler = nullptr;

int filterError(Display *display, XErrorEvent *event)
{
    XErrorHandler previous = nullptr;
    {
        const std::lock_guard lock(errorMutex);
        if (quietDisplays.contains(display))
            return 0;
        previous = previousHandler;
    }
    return previous ? previous(display, event) : 0;
}

} // namespace

QByteArray applicationDisplayName()
{
    if (auto *x11
        = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr) {
        if (Display *display = x11->display())
            return QByteArray(DisplayString(display));
    }
    return qgetenv("DISPLAY");
}

_XDisplay *openDisplay(const QByteArray &name)
{
    Display *display = XOpenDisplay(name.isEmpty() ? nullptr : name.constData());
    if (!display)
        return nullptr;
    const std::lock_guard lock(errorMutex);
    // Installed once and chained, so errors on Qt's or anyone else's connections still reach
    // the handler that was there before.
    if (!previousHandler)
        previousHandler = XSetErrorHandler(filterError);
    quietDisplays.insert(display);
    return display;
}

void closeDisplay(_XDisplay *display)
{
    if (!display)
        return;
    XCloseDisplay(display);
    const std::lock_guard lock(errorMutex);
    quietDisplays.remove(display);
}

std::optional<Property> readProperty(_XDisplay *display, unsigned long window,
    unsigned long property, bool deleteIt, qsizetype maxBytes)
{
    // Pieces of 4 MiB keep each reply well under any server's request limit.
    constexpr long pieceLongs = 1 << 20;
    Property result;
    long offset = 0;
    for (;;) {
        Atom type = None;
        int format = 0;
        unsigned long items = 0;
        unsigned long remaining = 0;
        unsigned char *data = nullptr;
        const int status = XGetWindowProperty(display, window, property, offset, pieceLongs, False,
            AnyPropertyType, &type, &format, &items, &remaining, &data);
        if (status != Success || type == None) {
            if (data)
                XFree(data);
            return std::nullopt;
        }
        result.type = type;
        result.format = format;
        // Xlib hands 32-bit items out as longs, whatever the width of long.
        if (format == 32) {
            const auto *longs = reinterpret_cast<const unsigned long *>(data);
            for (unsigned long i = 0; i < items; ++i) {
                const quint32 item = quint32(longs[i]);
                result.bytes.append(reinterpret_cast<const char *>(&item), sizeof item);
            }
        } else {
            result.bytes.append(
                reinterpret_cast<const char *>(data), qsizetype(items) * (format / 8));
        }
        XFree(data);
        if (result.bytes.size() > maxBytes)
            return std::nullopt;
        if (remaining == 0)
            break;
        offset += long(items) * format / 32;
    }
    if (deleteIt)
        XDeleteProperty(display, window, property);
    return result;
}

void requestActivation(Display *display, Window window)
{
    XEvent event {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2;
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, DefaultRootWindow(display), False,
        SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(display);
}

} // namespace corvane::xlib
