#pragma once

#include "platform/workspace.h"
#include "platform/x11/desktopentries.h"

#include <QByteArray>

struct _XDisplay;

namespace corvane {

// The frontmost application of an X11 session: the window manager's _NET_ACTIVE_WINDOW,
// told apart by its WM_CLASS and _NET_WM_PID and named after the installed desktop entry
// that matches (cached; no process is started per question).
class X11Workspace : public Workspace
{
public:
    // Opens its own connection to the display; applicationFolders default to the XDG ones.
    explicit X11Workspace(const QByteArray &displayName,
        const QStringList &applicationFolders = DesktopEntries::standardApplicationFolders());
    ~X11Workspace() override;

    X11Workspace(const X11Workspace &) = delete;
    X11Workspace &operator=(const X11Workspace &) = delete;

    // The desktop entry id (else the window class) and the entry's name (else the window
    // class); nothing when no window is active or the window manager does not say.
    std::optional<RunningApplication> frontmostApplication() override;

private:
    _XDisplay *m_display = nullptr;
    DesktopEntries m_entries;
};

} // namespace corvane
