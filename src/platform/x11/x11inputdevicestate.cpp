#include "platform/x11/x11inputdevicestate.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace corvane {

X11InputDeviceState::X11InputDeviceState(const QByteArray &displayName)
    : m_display(XOpenDisplay(displayName.isEmpty() ? nullptr : displayName.constData()))
{ }

X11InputDeviceState::~X11InputDeviceState()
{
    if (m_display)
        XCloseDisplay(m_display);
}

bool X11InputDeviceState::isMouseButtonPressed()
{
    if (!m_display)
        return false;
    Window root = 0;
    Window child = 0;
    int rootX = 0;
    int rootY = 0;
    int x = 0;
    int y = 0;
    unsigned int mask = 0;
    XQueryPointer(
        m_display, DefaultRootWindow(m_display), &root, &child, &rootX, &rootY, &x, &y, &mask);
    return (mask & (Button1Mask | Button2Mask | Button3Mask | Button4Mask | Button5Mask)) != 0;
}

bool X11InputDeviceState::isEscapeKeyDown()
{
    if (!m_display)
        return false;
    const KeyCode escape = XKeysymToKeycode(m_display, XK_Escape);
    if (!escape)
        return false;
    char keys[32] = {};
    XQueryKeymap(m_display, keys);
    return (keys[escape / 8] & (1 << (escape % 8))) != 0;
}

} // namespace corvane
