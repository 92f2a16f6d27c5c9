#pragma once

#include "platform/workspace.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

class QSocketNotifier;
struct wl_display;
struct wl_registry;
struct zwlr_foreign_toplevel_manager_v1;

namespace corvane {

// The frontmost application of a Wayland session whose compositor tells it (the wlroots
// foreign-toplevel protocol: sway, Hyprland and the other wlroots compositors): the window in
// the "activated" state, named by its app_id, which Wayland applications set to their
// desktop entry's id. Its own connection is read on this thread whenever the compositor
// sends something, never waiting for it.
class WaylandWorkspace : public Workspace
{
public:
    // The workspace of the compositor at socketName (empty: the session's WAYLAND_DISPLAY).
    // Nothing when no compositor answers or it does not tell about other clients' windows;
    // `reason` then says which.
    static std::unique_ptr<WaylandWorkspace> create(
        const QByteArray &socketName = {}, QString *reason = nullptr);
    ~WaylandWorkspace() override;

    WaylandWorkspace(const WaylandWorkspace &) = delete;
    WaylandWorkspace &operator=(const WaylandWorkspace &) = delete;

    // The app_id of the activated window as both identifier and name; nothing when no
    // window is activated or it has no app_id.
    std::optional<RunningApplication> frontmostApplication() override;

    struct Toplevel;
    struct Listeners;

private:
    WaylandWorkspace() = default;
    void readEvents();
    void onClosed(Toplevel *toplevel);

    wl_display *m_display = nullptr;
    wl_registry *m_registry = nullptr;
    zwlr_foreign_toplevel_manager_v1 *m_manager = nullptr;
    std::vector<std::unique_ptr<Toplevel>> m_toplevels;
    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_lost = false;
};

} // namespace corvane
