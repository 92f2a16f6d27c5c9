#pragma once

#include "platform/windowmanager.h"

#include <QByteArray>

struct _XDisplay;

namespace corvane {

// The window manager of an X11 session, through the EWMH properties and messages it reads.
class X11WindowManager : public WindowManager
{
public:
    // Opens its own connection to the display; without one every request does nothing.
    explicit X11WindowManager(const QByteArray &displayName);
    ~X11WindowManager() override;

    X11WindowManager(const X11WindowManager &) = delete;
    X11WindowManager &operator=(const X11WindowManager &) = delete;

    void makeFloatingPanel(quint64 windowID) override;
    void requestActivation(quint64 windowID) override;
    bool forceInputFocus(quint64 windowID) override;
    bool hasInputFocus(quint64 windowID) override;
    void resetFocusRecord(quint64 windowID) override;
    bool wasFocusedSinceReset(quint64 windowID) override;

private:
    // Reads the focus changes of the recorded window that reached this connection so far.
    void readFocusChanges();

    _XDisplay *m_display = nullptr;
    // The window whose focus changes this connection receives, and whether it got the focus.
    quint64 m_recordedWindow = 0;
    bool m_wasFocused = false;
};

} // namespace corvane
