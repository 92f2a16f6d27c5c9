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
};

} // namespace corvane
