#pragma once

#include <QtGlobal>

namespace corvane {

// What the application asks of the desktop's window manager for its own windows.
class WindowManager
{
public:
    virtual ~WindowManager();

    // Marks a window, before it is shown, as a floating panel: above ordinary windows, on
    // every workspace, and left out of the task bar and the pager.
    virtual void makeFloatingPanel(quint64 windowID) = 0;
    // Asks the window manager to activate the window, as a task bar would for the user.
    virtual void requestActivation(quint64 windowID) = 0;
    // Gives the window the keyboard focus directly, for window managers that refuse the
    // request; false when the window cannot take it (not viewable).
    virtual bool forceInputFocus(quint64 windowID) = 0;
    // Whether the window holds the keyboard focus now, as the display server says. A
    // toolkit may learn of a change late: a focus lost when the window was hidden can reach
    // it only after the window is shown again.
    virtual bool hasInputFocus(quint64 windowID) = 0;
    // Starts noting whether the window gets the keyboard focus, forgetting what was noted.
    virtual void resetFocusRecord(quint64 windowID) = 0;
    // Whether the window got the keyboard focus since the record was reset, even if it
    // lost it again since.
    virtual bool wasFocusedSinceReset(quint64 windowID) = 0;
};

} // namespace corvane
