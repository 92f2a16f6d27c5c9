#include "waylandworkspace.h"

#include "common/logging.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

#include <QSocketNotifier>

#include <algorithm>
#include <cstring>
#include <poll.h>
#include <wayland-client.h>

namespace corvane {

// One window of another client, with the state the compositor last completed ("done").
struct WaylandWorkspace::Toplevel
{
    WaylandWorkspace *owner = nullptr;
    zwlr_foreign_toplevel_handle_v1 *handle = nullptr;
    QString appID;
    bool activated = false;
    bool pendingActivated = false;

    ~Toplevel() { zwlr_foreign_toplevel_handle_v1_destroy(handle); }
};

struct WaylandWorkspace::Listeners
{
    static const zwlr_foreign_toplevel_manager_v1_listener manager;
    static const zwlr_foreign_toplevel_handle_v1_listener handle;
};

const zwlr_foreign_toplevel_manager_v1_listener WaylandWorkspace::Listeners::manager {
    .toplevel =
        [](void *data, zwlr_foreign_toplevel_manager_v1 *,
            zwlr_foreign_toplevel_handle_v1 *handle) {
            auto *workspace = static_cast<WaylandWorkspace *>(data);
            auto toplevel = std::make_unique<Toplevel>();
            toplevel->owner = workspace;
            toplevel->handle = handle;
            zwlr_foreign_toplevel_handle_v1_add_listener(
                handle, &Listeners::handle, toplevel.get());
            workspace->m_toplevels.push_back(std::move(toplevel));
        },
    .finished = [](void *, zwlr_foreign_toplevel_manager_v1 *) {},
};

const zwlr_foreign_toplevel_handle_v1_listener WaylandWorkspace::Listeners::handle {
    .title = [](void *, zwlr_foreign_toplevel_handle_v1 *, const char *) {},
    .app_id
    = [](void *data, zwlr_foreign_toplevel_handle_v1 *,
          const char *appID) { static_cast<Toplevel *>(data)->appID = QString::fromUtf8(appID); },
    .output_enter = [](void *, zwlr_foreign_toplevel_handle_v1 *, wl_output *) {},
    .output_leave = [](void *, zwlr_foreign_toplevel_handle_v1 *, wl_output *) {},
    .state =
        [](void *data, zwlr_foreign_toplevel_handle_v1 *, wl_array *states) {
            auto *toplevel = static_cast<Toplevel *>(data);
            toplevel->pendingActivated = false;
            const auto *state = static_cast<const std::uint32_t *>(states->data);
            for (std::size_t i = 0; i < states->size / sizeof(std::uint32_t); ++i) {
                if (state[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED)
                    toplevel->pendingActivated = true;
            }
        },
    .done =
        [](void *data, zwlr_foreign_toplevel_handle_v1 *) {
            auto *toplevel = static_cast<Toplevel *>(data);
            toplevel->activated = toplevel->pendingActivated;
        },
    .closed =
        [](void *data, zwlr_foreign_toplevel_handle_v1 *) {
            auto *toplevel = static_cast<Toplevel *>(data);
            toplevel->owner->onClosed(toplevel);
        },
    .parent = [](void *, zwlr_foreign_toplevel_handle_v1 *, zwlr_foreign_toplevel_handle_v1 *) {},
};

namespace {

struct Globals
{
    std::uint32_t manager = 0;
    std::uint32_t version = 0;
};

const wl_registry_listener registryListener {
    .global =
        [](void *data, wl_registry *, std::uint32_t name, const char *interface,
            std::uint32_t version) {
            if (std::strcmp(interface, zwlr_foreign_toplevel_manager_v1_interface.name) == 0) {
                auto *globals = static_cast<Globals *>(data);
                globals->manager = name;
                globals->version = version;
            }
        },
    .global_remove = [](void *, wl_registry *, std::uint32_t) {},
};

} // namespace

std::unique_ptr<WaylandWorkspace> WaylandWorkspace::create(
    const QByteArray &socketName, QString *reason)
{
    std::unique_ptr<WaylandWorkspace> workspace(new WaylandWorkspace);
    workspace->m_display
        = wl_display_connect(socketName.isEmpty() ? nullptr : socketName.constData());
    if (!workspace->m_display) {
        if (reason)
            *reason = QStringLiteral("no Wayland compositor answered");
        return nullptr;
    }
    Globals globals;
    workspace->m_registry = wl_display_get_registry(workspace->m_display);
    wl_registry_add_listener(workspace->m_registry, &registryListener, &globals);
    if (wl_display_roundtrip(workspace->m_display) < 0 || globals.manager == 0) {
        if (reason)
            *reason = QStringLiteral("the Wayland compositor does not tell which window is active");
        return nullptr;
    }
    workspace->m_manager = static_cast<zwlr_foreign_toplevel_manager_v1 *>(wl_registry_bind(
        workspace->m_registry, globals.manager, &zwlr_foreign_toplevel_manager_v1_interface,
        std::min<std::uint32_t>(globals.version, 3)));
    zwlr_foreign_toplevel_manager_v1_add_listener(
        workspace->m_manager, &Listeners::manager, workspace.get());
    // The windows that exist now, then their state.
    wl_display_roundtrip(workspace->m_display);
    wl_display_roundtrip(workspace->m_display);
    WaylandWorkspace *self = workspace.get();
    workspace->m_notifier = std::make_unique<QSocketNotifier>(
        wl_display_get_fd(workspace->m_display), QSocketNotifier::Read);
    QObject::connect(
        workspace->m_notifier.get(), &QSocketNotifier::activated, [self] { self->readEvents(); });
    return workspace;
}

WaylandWorkspace::~WaylandWorkspace()
{
    m_notifier.reset();
    m_toplevels.clear();
    if (m_manager)
        wl_proxy_destroy(reinterpret_cast<wl_proxy *>(m_manager));
    if (m_registry)
        wl_registry_destroy(m_registry);
    if (m_display)
        wl_display_disconnect(m_display);
}

// Takes what the compositor sent off the socket without waiting for more.
void WaylandWorkspace::readEvents()
{
    if (m_lost)
        return;
    while (wl_display_prepare_read(m_display) != 0)
        wl_display_dispatch_pending(m_display);
    wl_display_flush(m_display);
    pollfd fd { wl_display_get_fd(m_display), POLLIN, 0 };
    if (::poll(&fd, 1, 0) > 0 && (fd.revents & POLLIN)) {
        if (wl_display_read_events(m_display) < 0)
            m_lost = true;
    } else {
        wl_display_cancel_read(m_display);
    }
    if (m_lost || wl_display_dispatch_pending(m_display) < 0) {
        m_lost = true;
        m_notifier->setEnabled(false);
        qCWarning(lcWatcher,
            "Could not follow the active window any longer: the Wayland "
            "compositor closed the connection");
    }
}

void WaylandWorkspace::onClosed(Toplevel *toplevel)
{
    std::erase_if(m_toplevels, [toplevel](const std::unique_ptr<Toplevel> &candidate) {
        return candidate.get() == toplevel;
    });
}

std::optional<RunningApplication> WaylandWorkspace::frontmostApplication()
{
    readEvents();
    for (const auto &toplevel : m_toplevels) {
        if (toplevel->activated && !toplevel->appID.isEmpty())
            return RunningApplication { .bundleIdentifier = toplevel->appID,
                .localizedName = toplevel->appID };
    }
    return std::nullopt;
}

} // namespace corvane
