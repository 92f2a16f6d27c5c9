#include "platform/x11/x11pastekeystrokeposter.h"

#include "platform/x11/clipboardxlib.h"

#include <QString>

#include <algorithm>
#include <vector>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace corvane {

namespace {

// The windows the window manager lists, topmost first.
std::vector<Window> clientWindows(Display *display)
{
    std::vector<Window> windows;
    for (const char *name : { "_NET_CLIENT_LIST_STACKING", "_NET_CLIENT_LIST" }) {
        const Atom property = XInternAtom(display, name, False);
        Atom type = 0;
        int format = 0;
        unsigned long count = 0;
        unsigned long remaining = 0;
        unsigned char *data = nullptr;
        const int status = XGetWindowProperty(display, DefaultRootWindow(display), property, 0,
            4096, False, XA_WINDOW, &type, &format, &count, &remaining, &data);
        if (status == Success && data && format == 32 && count > 0) {
            // Format 32 properties come back as longs, whatever the platform's word size.
            const auto *list = reinterpret_cast<const unsigned long *>(data);
            for (unsigned long i = count; i > 0; --i)
                windows.push_back(static_cast<Window>(list[i - 1]));
        }
        if (data)
            XFree(data);
        if (!windows.empty())
            break;
    }
    return windows;
}

bool classMatches(Display *display, Window window, const QString &identifier)
{
    XClassHint hint {};
    if (!XGetClassHint(display, window, &hint))
        return false;
    const QString instance = QString::fromLocal8Bit(hint.res_name);
    const QString windowClass = QString::fromLocal8Bit(hint.res_class);
    XFree(hint.res_name);
    XFree(hint.res_class);
    const QString lastPart = identifier.section(QLatin1Char('.'), -1);
    for (const QString &candidate : { identifier, lastPart }) {
        if (candidate.isEmpty())
            continue;
        if (candidate.compare(instance, Qt::CaseInsensitive) == 0
            || candidate.compare(windowClass, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

X11PasteKeystrokePoster::X11PasteKeystrokePoster(const QByteArray &displayName)
    : m_display(XOpenDisplay(displayName.isEmpty() ? nullptr : displayName.constData()))
{
    if (!m_display)
        return;
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    m_hasXTest = XTestQueryExtension(m_display, &eventBase, &errorBase, &major, &minor);
}

X11PasteKeystrokePoster::~X11PasteKeystrokePoster()
{
    if (m_display)
        XCloseDisplay(m_display);
}

bool X11PasteKeystrokePoster::activate(const RunningApplication &application)
{
    if (!m_display)
        return false;
    const std::vector<Window> windows = clientWindows(m_display);
    // The very window that was active comes first, while the window manager still lists
    // it; otherwise the topmost window of the same application.
    if (application.windowID) {
        const auto window = static_cast<Window>(*application.windowID);
        if (std::find(windows.begin(), windows.end(), window) != windows.end()) {
            xlib::requestActivation(m_display, window);
            return true;
        }
    }
    if (!application.bundleIdentifier)
        return false;
    for (Window window : windows) {
        if (classMatches(m_display, window, *application.bundleIdentifier)) {
            xlib::requestActivation(m_display, window);
            return true;
        }
    }
    return false;
}

bool X11PasteKeystrokePoster::postPasteKeystroke(PasteShortcut shortcut)
{
    if (!m_display || !m_hasXTest)
        return false;
    const KeyCode control = XKeysymToKeycode(m_display, XK_Control_L);
    const KeyCode shift = XKeysymToKeycode(m_display, XK_Shift_L);
    const KeyCode v = XKeysymToKeycode(m_display, XK_v);
    if (!control || !v || (shortcut == PasteShortcut::controlShiftV && !shift))
        return false;
    const bool withShift = shortcut == PasteShortcut::controlShiftV;
    XTestFakeKeyEvent(m_display, control, True, CurrentTime);
    if (withShift)
        XTestFakeKeyEvent(m_display, shift, True, CurrentTime);
    XTestFakeKeyEvent(m_display, v, True, CurrentTime);
    XTestFakeKeyEvent(m_display, v, False, CurrentTime);
    if (withShift)
        XTestFakeKeyEvent(m_display, shift, False, CurrentTime);
    XTestFakeKeyEvent(m_display, control, False, CurrentTime);
    XFlush(m_display);
    return true;
}

} // namespace corvane
