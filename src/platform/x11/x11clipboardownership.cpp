#include "x11clipboardownership.h"

#include "common/logging.h"
#include "platform/x11/x11connection.h"

#include <QMetaObject>

#include <map>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

namespace corvane {

namespace {

class X11ClipboardOwnership final : public ClipboardOwnership
{
public:
    X11ClipboardOwnership();
    ~X11ClipboardOwnership() override;

    std::uint64_t currentCopy() override;
    bool claimManager() override;
    void releaseManager() override;
    bool isManager() const override { return m_isManager; }
    void answerSave(std::uint64_t request, bool saved) override;

private:
    struct SaveRequest
    {
        Window requestor = 0;
        Atom property = 0;
        Time time = 0;
    };

    void handle(XEvent &event);
    void handleSelectionRequest(const XSelectionRequestEvent &request);
    void notify(const XSelectionRequestEvent &request, Atom property);
    void refusePendingSaves();
    Time serverTime();
    template <typename Emit> void emitLater(Emit emit);

    X11Connection m_connection;
    Display *m_display = nullptr;
    Window m_window = 0;
    int m_fixesEventBase = -1;
    Atom m_clipboard = 0;
    Atom m_manager = 0;
    Atom m_saveTargets = 0;
    Atom m_targets = 0;
    Atom m_timestampTarget = 0;
    Atom m_null = 0;
    // The copy whose owner took the clipboard last (0 before any), and the next copy's number.
    std::uint64_t m_copy = 0;
    std::uint64_t m_nextCopy = 1;
    bool m_isManager = false;
    Time m_managerSince = CurrentTime;
    std::uint64_t m_lastRequest = 0;
    std::map<std::uint64_t, SaveRequest> m_saves;
};

X11ClipboardOwnership::X11ClipboardOwnership()
    : m_display(m_connection.display())
{
    if (!m_display)
        return;
    int errorBase = 0;
    if (!XFixesQueryExtension(m_display, &m_fixesEventBase, &errorBase)) {
        qCWarning(lcWatcher, "The X server has no XFixes: the clipboard is not kept alive");
        m_fixesEventBase = -1;
        return;
    }
    int major = 0;
    int minor = 0;
    XFixesQueryVersion(m_display, &major, &minor);
    m_clipboard = XInternAtom(m_display, "CLIPBOARD", False);
    m_manager = XInternAtom(m_display, "CLIPBOARD_MANAGER", False);
    m_saveTargets = XInternAtom(m_display, "SAVE_TARGETS", False);
    m_targets = XInternAtom(m_display, "TARGETS", False);
    m_timestampTarget = XInternAtom(m_display, "TIMESTAMP", False);
    m_null = XInternAtom(m_display, "NULL", False);
    // Never mapped: it only owns the manager's selection and receives events.
    m_window = XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), 0, 0, 1, 1, 0, 0, 0);
    XSelectInput(m_display, m_window, PropertyChangeMask);
    XFixesSelectSelectionInput(m_display, m_window, m_clipboard,
        XFixesSetSelectionOwnerNotifyMask | XFixesSelectionWindowDestroyNotifyMask
            | XFixesSelectionClientCloseNotifyMask);
    m_connection.setEventHandler([this](XEvent &event) { handle(event); });
    XFlush(m_display);
}

X11ClipboardOwnership::~X11ClipboardOwnership()
{
    if (!m_window)
        return;
    refusePendingSaves();
    XDestroyWindow(m_display, m_window);
    XFlush(m_display);
}

template <typename Emit> void X11ClipboardOwnership::emitLater(Emit emit)
{
    // Events are also drained inside currentCopy and claimManager; their signals wait for the
    // event loop so that no caller is re-entered.
    QMetaObject::invokeMethod(this, std::move(emit), Qt::QueuedConnection);
}

void X11ClipboardOwnership::handle(XEvent &event)
{
    if (m_fixesEventBase >= 0 && event.type == m_fixesEventBase + XFixesSelectionNotify) {
        const auto &notice = reinterpret_cast<const XFixesSelectionNotifyEvent &>(event);
        if (notice.selection != m_clipboard)
            return;
        if (notice.subtype == XFixesSetSelectionOwnerNotify) {
            m_copy = m_nextCopy++;
        } else if (notice.subtype == XFixesSelectionWindowDestroyNotify
            || notice.subtype == XFixesSelectionClientCloseNotify) {
            // The copy stays the current one: a recording of it that is made after its
            // owner exited still belongs to it.
            emitLater([this, ended = m_copy] { Q_EMIT ownerVanished(ended); });
        }
        return;
    }
    switch (event.type) {
    case SelectionRequest:
        handleSelectionRequest(event.xselectionrequest);
        break;
    case SelectionClear:
        if (event.xselectionclear.selection == m_manager && m_isManager) {
            m_isManager = false;
            qCInfo(lcWatcher, "Another clipboard manager took over; leaving it the role");
            emitLater([this] { Q_EMIT managerLost(); });
        }
        break;
    default:
        break;
    }
}

void X11ClipboardOwnership::handleSelectionRequest(const XSelectionRequestEvent &request)
{
    if (request.selection != m_manager || !m_isManager) {
        notify(request, None);
        return;
    }
    // An obsolete client may ask without a property; ICCCM says to use the target then.
    const Atom property = request.property != None ? request.property : request.target;
    if (request.target == m_targets) {
        const Atom targets[] = { m_targets, m_saveTargets, m_timestampTarget };
        XChangeProperty(m_display, request.requestor, property, XA_ATOM, 32, PropModeReplace,
            reinterpret_cast<const unsigned char *>(targets), 3);
        notify(request, property);
    } else if (request.target == m_timestampTarget) {
        const long since = long(m_managerSince);
        XChangeProperty(m_display, request.requestor, property, XA_INTEGER, 32, PropModeReplace,
            reinterpret_cast<const unsigned char *>(&since), 1);
        notify(request, property);
    } else if (request.target == m_saveTargets) {
        const std::uint64_t id = ++m_lastRequest;
        m_saves[id] = SaveRequest { request.requestor, property, request.time };
        // The requestor took the clipboard before asking, so the copy counted last is its own.
        emitLater([this, id, copy = m_copy] { Q_EMIT saveRequested(id, copy); });
    } else {
        notify(request, None);
    }
}

void X11ClipboardOwnership::notify(const XSelectionRequestEvent &request, Atom property)
{
    XEvent reply {};
    reply.xselection.type = SelectionNotify;
    reply.xselection.display = m_display;
    reply.xselection.requestor = request.requestor;
    reply.xselection.selection = request.selection;
    reply.xselection.target = request.target;
    reply.xselection.property = property;
    reply.xselection.time = request.time;
    // The requestor may have gone meanwhile.
    X11ErrorTrap trap(m_display);
    XSendEvent(m_display, request.requestor, False, NoEventMask, &reply);
    trap.succeeded();
}

void X11ClipboardOwnership::answerSave(std::uint64_t request, bool saved)
{
    const auto found = m_saves.find(request);
    if (found == m_saves.end())
        return;
    const SaveRequest save = found->second;
    m_saves.erase(found);
    X11ErrorTrap trap(m_display);
    if (saved)
        // A target with a side effect and no data answers with an empty property of type NULL.
        XChangeProperty(
            m_display, save.requestor, save.property, m_null, 32, PropModeReplace, nullptr, 0);
    XSelectionRequestEvent original {};
    original.requestor = save.requestor;
    original.selection = m_manager;
    original.target = m_saveTargets;
    original.time = save.time;
    notify(original, saved ? save.property : None);
}

std::uint64_t X11ClipboardOwnership::currentCopy()
{
    if (!m_window)
        return 0;
    // The round trip makes sure every owner change made so far has arrived.
    XSync(m_display, False);
    m_connection.dispatchPending();
    return m_copy;
}

Time X11ClipboardOwnership::serverTime()
{
    // ICCCM wants a real timestamp for selection ownership: an empty append to a property of
    // our own window reports the server's time.
    const Atom stamp = XInternAtom(m_display, "_CORVANE_TIME", False);
    XChangeProperty(m_display, m_window, stamp, XA_STRING, 8, PropModeAppend, nullptr, 0);
    XEvent event;
    XWindowEvent(m_display, m_window, PropertyChangeMask, &event);
    return event.xproperty.time;
}

bool X11ClipboardOwnership::claimManager()
{
    if (!m_window || m_isManager)
        return m_isManager;
    if (XGetSelectionOwner(m_display, m_manager) != None)
        return false;
    const Time time = serverTime();
    XSetSelectionOwner(m_display, m_manager, m_window, time);
    if (XGetSelectionOwner(m_display, m_manager) != m_window) {
        m_connection.dispatchPending();
        return false;
    }
    m_isManager = true;
    m_managerSince = time;
    // ICCCM's announcement of a new manager-selection owner, to clients waiting for one.
    XEvent announcement {};
    announcement.xclient.type = ClientMessage;
    announcement.xclient.window = DefaultRootWindow(m_display);
    announcement.xclient.message_type = XInternAtom(m_display, "MANAGER", False);
    announcement.xclient.format = 32;
    announcement.xclient.data.l[0] = long(time);
    announcement.xclient.data.l[1] = long(m_manager);
    announcement.xclient.data.l[2] = long(m_window);
    XSendEvent(m_display, DefaultRootWindow(m_display), False, StructureNotifyMask, &announcement);
    XFlush(m_display);
    m_connection.dispatchPending();
    return true;
}

// Applications waiting for an answer to a save request are let go rather than left to their
// time-outs.
void X11ClipboardOwnership::refusePendingSaves()
{
    for (const auto &[id, save] : m_saves) {
        XSelectionRequestEvent request {};
        request.requestor = save.requestor;
        request.selection = m_manager;
        request.target = m_saveTargets;
        request.time = save.time;
        notify(request, None);
    }
    m_saves.clear();
}

void X11ClipboardOwnership::releaseManager()
{
    if (!m_isManager)
        return;
    m_isManager = false;
    refusePendingSaves();
    // Only if it is still ours: a manager that took it meanwhile keeps it.
    if (XGetSelectionOwner(m_display, m_manager) == m_window)
        XSetSelectionOwner(m_display, m_manager, None, serverTime());
    XFlush(m_display);
    m_connection.dispatchPending();
}

} // namespace

std::unique_ptr<ClipboardOwnership> createX11ClipboardOwnership()
{
    return std::make_unique<X11ClipboardOwnership>();
}

} // namespace corvane
