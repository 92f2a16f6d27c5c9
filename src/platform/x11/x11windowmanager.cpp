#include "platform/x11/x11windowmanager.h"

#include "platform/x11/clipboardxlib.h"
#include "platform/x11/x11connection.h"

#include <array>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace corvane {

X11WindowManager::X11WindowManager(const QByteArray &displayName)
    : m_display(xlib::openDisplay(displayName))
{ }

X11WindowManager::~X11WindowManager()
{
    xlib::closeDisplay(m_display);
}

void X11WindowManager::makeFloatingPanel(quint64 windowID)
{
    if (!m_display)
        return;
    std::array<Atom, 4> states {
        XInternAtom(m_display, "_NET_WM_STATE_ABOVE", False),
        XInternAtom(m_display, "_NET_WM_STATE_STICKY", False),
        XInternAtom(m_display, "_NET_WM_STATE_SKIP_TASKBAR", False),
        XInternAtom(m_display, "_NET_WM_STATE_SKIP_PAGER", False),
    };
    // A withdrawn window's _NET_WM_STATE is what the window manager reads when it maps it.
    // Qt merges its own states into the atoms it finds, so the server must have ours before
    // the toolkit shows the window: hence the round trip.
    X11ErrorTrap trap(m_display);
    XChangeProperty(m_display, static_cast<Window>(windowID),
        XInternAtom(m_display, "_NET_WM_STATE", False), XA_ATOM, 32, PropModeReplace,
        reinterpret_cast<unsigned char *>(states.data()), int(states.size()));
    trap.succeeded();
}

void X11WindowManager::requestActivation(quint64 windowID)
{
    // The panel appears because the user pressed its hot key: a request on the user's behalf.
    if (m_display)
        xlib::requestActivation(m_display, static_cast<Window>(windowID));
}

bool X11WindowManager::forceInputFocus(quint64 windowID)
{
    if (!m_display)
        return false;
    X11ErrorTrap trap(m_display);
    XSetInputFocus(m_display, static_cast<Window>(windowID), RevertToParent, CurrentTime);
    return trap.succeeded();
}

bool X11WindowManager::hasInputFocus(quint64 windowID)
{
    if (!m_display)
        return false;
    Window focus = None;
    int revertTo = 0;
    XGetInputFocus(m_display, &focus, &revertTo);
    return focus == static_cast<Window>(windowID);
}

void X11WindowManager::resetFocusRecord(quint64 windowID)
{
    if (!m_display)
        return;
    if (m_recordedWindow != windowID) {
        // This connection's own selection on the window: the toolkit's stays as it is.
        X11ErrorTrap trap(m_display);
        XSelectInput(m_display, static_cast<Window>(windowID), FocusChangeMask);
        if (!trap.succeeded())
            return;
        m_recordedWindow = windowID;
    }
    readFocusChanges();
    m_wasFocused = false;
}

bool X11WindowManager::wasFocusedSinceReset(quint64 windowID)
{
    if (!m_display || m_recordedWindow != windowID)
        return false;
    readFocusChanges();
    return m_wasFocused;
}

void X11WindowManager::readFocusChanges()
{
    // The round trip brings in every change the server made before it.
    XSync(m_display, False);
    XEvent event;
    while (XCheckWindowEvent(
        m_display, static_cast<Window>(m_recordedWindow), FocusChangeMask, &event)) {
        // Focus that only follows the pointer into the window is not the keyboard's.
        if (event.type == FocusIn && event.xfocus.detail != NotifyPointer)
            m_wasFocused = true;
    }
}

} // namespace corvane
