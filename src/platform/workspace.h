#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

namespace corvane {

// A running application as capture records it: its bundle identifier (on Linux the desktop
// entry id, else the window class) and its display name; either may be unknown. windowID
// names the window that was active when it was seen, so focus can go back to that very
// window rather than to any window of the application.
struct RunningApplication
{
    std::optional<QString> bundleIdentifier;
    std::optional<QString> localizedName;
    std::optional<quint64> windowID;

    bool operator==(const RunningApplication &) const = default;
};

// The desktop session's view of running applications.
class Workspace
{
public:
    virtual ~Workspace();

    // The application whose window is active, or nothing when no window is or it cannot be
    // told.
    virtual std::optional<RunningApplication> frontmostApplication() = 0;
};

} // namespace corvane
