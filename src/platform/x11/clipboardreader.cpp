#include "clipboardreader.h"

#include "common/logging.h"
#include "platform/pasteboardimage.h"
#include "platform/x11/clipboardxlib.h"

#include <QHash>
#include <QStringList>

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstring>
#include <poll.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace corvane {

namespace {

using Clock = std::chrono::steady_clock;

Atom internAtom(Display *display, const QString &name)
{
    return XInternAtom(display, name.toLatin1().constData(), False);
}

} // namespace

// One snapshot's conversions, through a requestor window of its own: events that arrive
// late for an abandoned snapshot name a window that no longer exists and are dropped.
class ClipboardReader::Transfer
{
public:
    Transfer(ClipboardReader &reader, std::uint64_t request)
        : m_reader(reader)
        , m_display(reader.m_display)
        , m_request(request)
    {
        m_window
            = XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), 0, 0, 1, 1, 0, 0, 0);
        // Property changes drive incremental transfers.
        XSelectInput(m_display, m_window, PropertyChangeMask);
        m_clipboard = XInternAtom(m_display, "CLIPBOARD", False);
        m_property = XInternAtom(m_display, "CORVANE_CLIPBOARD", False);
        m_incr = XInternAtom(m_display, "INCR", False);
    }

    ~Transfer()
    {
        XDestroyWindow(m_display, m_window);
        XFlush(m_display);
    }

    Transfer(const Transfer &) = delete;
    Transfer &operator=(const Transfer &) = delete;

    Window owner() const { return XGetSelectionOwner(m_display, m_clipboard); }

    // Whether the owner stopped answering or a newer request took over; nothing more is
    // asked of the owner then.
    bool gaveUp() const { return m_gaveUp; }

    // The owner's bytes for a target; nothing when it refuses, fails to answer in time, or
    // the request is overtaken.
    std::optional<QByteArray> convert(Atom target)
    {
        if (m_gaveUp)
            return std::nullopt;
        XConvertSelection(m_display, m_clipboard, target, m_property, m_window, CurrentTime);
        XEvent event;
        const bool answered = waitFor(event, [this](const XEvent &candidate) {
            return candidate.type == SelectionNotify && candidate.xselection.requestor == m_window
                && candidate.xselection.selection == m_clipboard;
        });
        if (!answered || event.xselection.property == None)
            return std::nullopt;
        auto property = xlib::readProperty(
            m_display, m_window, m_property, true, m_reader.m_transferCapBytes);
        if (!property)
            return std::nullopt;
        if (property->type == m_incr)
            return readIncrementally();
        return property->bytes;
    }

private:
    // ICCCM's INCR: deleting the INCR property (done by the read above) asks for the first
    // piece; each piece is a new value of the property, read and deleted in turn, and an
    // empty piece ends the transfer.
    std::optional<QByteArray> readIncrementally()
    {
        QByteArray data;
        for (;;) {
            XEvent event;
            const bool arrived = waitFor(event, [this](const XEvent &candidate) {
                return candidate.type == PropertyNotify && candidate.xproperty.window == m_window
                    && candidate.xproperty.atom == m_property
                    && candidate.xproperty.state == PropertyNewValue;
            });
            if (!arrived)
                return std::nullopt;
            const auto piece = xlib::readProperty(
                m_display, m_window, m_property, true, m_reader.m_transferCapBytes - data.size());
            if (!piece) {
                // Too large, or the property vanished: the owner is left waiting, and this
                // snapshot asks it for nothing more.
                m_gaveUp = true;
                return std::nullopt;
            }
            if (piece->bytes.isEmpty())
                return data;
            data += piece->bytes;
        }
    }

    template <typename Predicate> bool waitFor(XEvent &event, Predicate matches)
    {
        const auto deadline = Clock::now() + m_reader.m_stepTimeout;
        for (;;) {
            while (XPending(m_display) > 0) {
                XNextEvent(m_display, &event);
                if (matches(event))
                    return true;
            }
            if (m_reader.isOvertaken(m_request)) {
                m_gaveUp = true;
                return false;
            }
            const auto left
                = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) {
                qCWarning(lcWatcher,
                    "Could not read the clipboard: its owner did not answer "
                    "within %lld ms",
                    static_cast<long long>(m_reader.m_stepTimeout.count()));
                m_gaveUp = true;
                return false;
            }
            pollfd fds[2]
                = { { ConnectionNumber(m_display), POLLIN, 0 }, { m_reader.m_wakeFd, POLLIN, 0 } };
            ::poll(fds, 2, int(left));
            if (fds[1].revents & POLLIN)
                m_reader.drainWakeups();
        }
    }

    ClipboardReader &m_reader;
    Display *m_display;
    std::uint64_t m_request;
    Window m_window = None;
    Atom m_clipboard = None;
    Atom m_property = None;
    Atom m_incr = None;
    bool m_gaveUp = false;
};

ClipboardReader::ClipboardReader(const QByteArray &displayName,
    std::chrono::milliseconds stepTimeout, Delivery deliver, qsizetype transferCapBytes)
    : m_display(xlib::openDisplay(displayName))
    , m_stepTimeout(stepTimeout)
    , m_deliver(std::move(deliver))
    , m_transferCapBytes(transferCapBytes)
{
    if (!m_display) {
        qCWarning(lcWatcher, "Could not read the clipboard: the X display could not be opened");
        return;
    }
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_thread = std::thread([this] { run(); });
}

ClipboardReader::~ClipboardReader()
{
    if (m_thread.joinable()) {
        {
            const std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_one();
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(m_wakeFd, &one, sizeof one);
        m_thread.join();
    }
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
    xlib::closeDisplay(m_display);
}

void ClipboardReader::read(std::uint64_t request, const PasteboardReadOptions &options)
{
    if (!m_display) {
        m_deliver(request, PasteboardSnapshot(), None);
        return;
    }
    {
        const std::lock_guard lock(m_mutex);
        m_pending = Request { request, options };
        m_latest = request;
    }
    m_wake.notify_one();
    // Wakes a transfer waiting on its owner, so it notices it was overtaken.
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(m_wakeFd, &one, sizeof one);
}

bool ClipboardReader::isOvertaken(std::uint64_t request)
{
    const std::lock_guard lock(m_mutex);
    return m_stopping || m_latest != request;
}

void ClipboardReader::drainWakeups()
{
    std::uint64_t count = 0;
    [[maybe_unused]] const auto drained = ::read(m_wakeFd, &count, sizeof count);
}

void ClipboardReader::run()
{
    for (;;) {
        Request request;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || m_pending.has_value(); });
            if (m_stopping)
                return;
            request = *m_pending;
            m_pending.reset();
        }
        drainWakeups();
        unsigned long owner = None;
        const PasteboardSnapshot snapshot = readSnapshot(request, owner);
        if (!isOvertaken(request.id))
            m_deliver(request.id, snapshot, owner);
    }
}

PasteboardSnapshot ClipboardReader::readSnapshot(const Request &request, unsigned long &owner)
{
    Transfer transfer(*this, request.id);
    // An owner that exited leaves no owner: the clipboard is empty.
    owner = transfer.owner();
    if (owner == None)
        return {};
    const auto targets = transfer.convert(XInternAtom(m_display, "TARGETS", False));
    if (!targets)
        return {};

    std::vector<Atom> atoms;
    for (qsizetype i = 0; i + 4 <= targets->size(); i += 4) {
        quint32 atom = 0;
        std::memcpy(&atom, targets->constData() + i, sizeof atom);
        if (atom != None)
            atoms.push_back(atom);
    }
    QStringList types;
    QHash<QString, Atom> atomsByName;
    for (const Atom atom : atoms) {
        // One name at a time: a bogus atom in the owner's list fails alone.
        if (char *name = XGetAtomName(m_display, atom)) {
            const QString type = QString::fromLatin1(name);
            XFree(name);
            types.append(type);
            atomsByName.insert(type, atom);
        }
    }

    const auto fetch = [&](const QString &type) -> std::optional<QByteArray> {
        if (transfer.gaveUp())
            return std::nullopt;
        const Atom atom = atomsByName.value(type, None);
        return transfer.convert(atom != None ? atom : internAtom(m_display, type));
    };
    PasteboardSnapshot snapshot
        = readPasteboard(types, fetch, request.options, decodePasteboardImage);
    // Each conversion goes to whoever owns the clipboard when the server gets it, and many
    // owners answer any target with their own contents: a copy made during the read can
    // have answered for the one before (a text delivered as the image asked for). The
    // application learns of the new owner through Qt's connection, possibly only after this
    // snapshot arrives, so the owner is compared here.
    if (transfer.owner() != owner) {
        snapshot.setReplacedWhileRead(true);
        owner = None;
    }
    return snapshot;
}

} // namespace corvane
