#pragma once

#include <QString>

#include <optional>

namespace corvane {

// A running application as capture records it: its bundle identifier (on Linux the desktop
// entry id, else the window class) and its display name; either may be unknown.
struct RunningApplication
{
    std::optional<QString> bundleIdentifier;
    std::optional<QString> localizedName;

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
