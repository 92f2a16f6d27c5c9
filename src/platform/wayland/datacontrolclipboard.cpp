#include "datacontrolclipboard.h"

#include "common/logging.h"
#include "ext-data-control-v1-client-protocol.h"
#include "platform/pasteboardimage.h"
#include "platform/pasteboardtypes.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

#include <QHash>

#include <fcntl.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <signal.h>
#include <wayland-client.h>

namespace corvane {

namespace {

using Clock = std::chrono::steady_clock;

// How long a reader of this process's contents may stall before its pipe is closed.
constexpr std::chrono::seconds writerStallLimit { 10 };

// Both data-control protocols have one wire layout: the same requests and events, in the
// same order, with the same arguments, under different interface names. One code path
// speaks either through these opcodes and the interfaces chosen when binding.
namespace opcode {
constexpr std::uint32_t createDataSource = 0;
constexpr std::uint32_t getDataDevice = 1;
constexpr std::uint32_t managerDestroy = 2;
constexpr std::uint32_t setSelection = 0;
constexpr std::uint32_t deviceDestroy = 1;
constexpr std::uint32_t sourceOffer = 0;
constexpr std::uint32_t sourceDestroy = 1;
constexpr std::uint32_t offerReceive = 0;
constexpr std::uint32_t offerDestroy = 1;
} // namespace opcode

// The listeners' layouts of both protocols' devices, sources and offers.
struct DeviceListener
{
    void (*dataOffer)(void *data, wl_proxy *device, wl_proxy *offer);
    void (*selection)(void *data, wl_proxy *device, wl_proxy *offer);
    void (*finished)(void *data, wl_proxy *device);
    void (*primarySelection)(void *data, wl_proxy *device, wl_proxy *offer);
};

struct SourceListener
{
    void (*send)(void *data, wl_proxy *source, const char *mimeType, std::int32_t fd);
    void (*cancelled)(void *data, wl_proxy *source);
};

struct OfferListener
{
    void (*offer)(void *data, wl_proxy *offer, const char *mimeType);
};

template <typename Listener> void addListener(wl_proxy *proxy, const Listener *listener, void *data)
{
    // libwayland takes any listener as an array of function pointers.
    wl_proxy_add_listener(proxy,
        const_cast<void (**)(void)>(reinterpret_cast<void (*const *)(void)>(listener)), data);
}

void destroyProxy(wl_proxy *proxy, std::uint32_t destructor)
{
    wl_proxy_marshal_flags(
        proxy, destructor, nullptr, wl_proxy_get_version(proxy), WL_MARSHAL_FLAG_DESTROY);
}

// The text types a written "text/plain" is offered under: what Wayland and X11 clients
// (through XWayland) ask for.
QStringList textAliases()
{
    return { pasteboardtype::plainTextUtf8(), pasteboardtype::plainText(),
        pasteboardtype::utf8String(), QStringLiteral("TEXT"), pasteboardtype::latin1String() };
}

QStringList sorted(QStringList types)
{
    types.sort();
    types.removeDuplicates();
    return types;
}

void closeFd(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

} // namespace

struct DataControlClipboard::Protocol
{
    const char *name;
    const char *managerName;
    const wl_interface *manager;
    const wl_interface *device;
    const wl_interface *source;
    const wl_interface *offer;
    std::uint32_t version;
};

namespace {

// In the order they are preferred.
const DataControlClipboard::Protocol protocols[] = {
    { "ext-data-control-v1", "ext_data_control_manager_v1", &ext_data_control_manager_v1_interface,
        &ext_data_control_device_v1_interface, &ext_data_control_source_v1_interface,
        &ext_data_control_offer_v1_interface, 1 },
    // Version 1: the primary selection (version 2) is of no interest here.
    { "wlr-data-control-unstable-v1", "zwlr_data_control_manager_v1",
        &zwlr_data_control_manager_v1_interface, &zwlr_data_control_device_v1_interface,
        &zwlr_data_control_source_v1_interface, &zwlr_data_control_offer_v1_interface, 1 },
};

} // namespace

// An offer the compositor introduced: its proxy and the types it listed.
struct DataControlClipboard::Offer
{
    wl_proxy *proxy = nullptr;
    QStringList types;

    ~Offer() { destroyProxy(proxy, opcode::offerDestroy); }
};

// A selection this process made: served from here until another client replaces it.
struct DataControlClipboard::Source
{
    DataControlClipboard *owner = nullptr;
    wl_proxy *proxy = nullptr;
    QHash<QString, QByteArray> bytesByType;

    ~Source() { destroyProxy(proxy, opcode::sourceDestroy); }
};

// One reader being sent a source's bytes without blocking the thread.
struct DataControlClipboard::Writer
{
    int fd = -1;
    QByteArray bytes;
    qsizetype written = 0;
    Clock::time_point lastProgress;

    ~Writer() { closeFd(fd); }
};

namespace {

// The globals the registry announced that binding needs.
struct Globals
{
    std::uint32_t seat = 0;
    QHash<QByteArray, std::uint32_t> managers;
};

const wl_registry_listener registryListener {
    .global =
        [](void *data, wl_registry *, std::uint32_t name, const char *interface, std::uint32_t) {
            auto *globals = static_cast<Globals *>(data);
            const QByteArray interfaceName(interface);
            // The first seat: data-control works per seat, and a desktop has one.
            if (interfaceName == "wl_seat" && globals->seat == 0)
                globals->seat = name;
            else
                globals->managers.insert(interfaceName, name);
        },
    .global_remove = [](void *, wl_registry *, std::uint32_t) {},
};

} // namespace

struct DataControlClipboard::Listeners
{
    static const DeviceListener device;
    static const OfferListener offer;
    static const SourceListener source;
    static const wl_callback_listener sync;
};

const DeviceListener DataControlClipboard::Listeners::device {
    .dataOffer
    = [](void *data, wl_proxy *,
          wl_proxy *offer) { static_cast<DataControlClipboard *>(data)->onDataOffer(offer); },
    .selection
    = [](void *data, wl_proxy *,
          wl_proxy *offer) { static_cast<DataControlClipboard *>(data)->onSelection(offer); },
    .finished
    = [](void *data, wl_proxy *) { static_cast<DataControlClipboard *>(data)->onFinished(); },
    .primarySelection =
        [](void *data, wl_proxy *, wl_proxy *offer) {
            static_cast<DataControlClipboard *>(data)->onPrimarySelection(offer);
        },
};

const OfferListener DataControlClipboard::Listeners::offer {
    .offer =
        [](void *data, wl_proxy *, const char *mimeType) {
            static_cast<DataControlClipboard::Offer *>(data)->types.append(
                QString::fromUtf8(mimeType));
        },
};

const SourceListener DataControlClipboard::Listeners::source {
    .send =
        [](void *data, wl_proxy *, const char *mimeType, std::int32_t fd) {
            auto *source = static_cast<DataControlClipboard::Source *>(data);
            source->owner->onSend(*source, QString::fromUtf8(mimeType), fd);
        },
    .cancelled =
        [](void *data, wl_proxy *) {
            auto *source = static_cast<DataControlClipboard::Source *>(data);
            source->owner->onCancelled(*source);
        },
};

const wl_callback_listener DataControlClipboard::Listeners::sync {
    .done = [](void *data, wl_callback *sync,
                std::uint32_t) { static_cast<DataControlClipboard *>(data)->onSyncDone(sync); },
};

std::unique_ptr<DataControlClipboard> DataControlClipboard::connect(const QByteArray &socketName,
    std::chrono::milliseconds stepTimeout, Callbacks callbacks, QString *reason,
    qsizetype transferCapBytes)
{
    wl_display *display
        = wl_display_connect(socketName.isEmpty() ? nullptr : socketName.constData());
    if (!display) {
        if (reason)
            *reason = QStringLiteral("no Wayland compositor answered");
        return nullptr;
    }
    std::unique_ptr<DataControlClipboard> clipboard(
        new DataControlClipboard(display, stepTimeout, std::move(callbacks), transferCapBytes));
    if (!clipboard->bind(reason))
        return nullptr;
    clipboard->m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    clipboard->m_thread = std::thread([raw = clipboard.get()] { raw->run(); });
    return clipboard;
}

DataControlClipboard::DataControlClipboard(wl_display *display,
    std::chrono::milliseconds stepTimeout, Callbacks callbacks, qsizetype transferCapBytes)
    : m_display(display)
    , m_stepTimeout(stepTimeout)
    , m_callbacks(std::move(callbacks))
    , m_transferCapBytes(transferCapBytes)
{ }

DataControlClipboard::~DataControlClipboard()
{
    if (m_thread.joinable()) {
        {
            const std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        wake();
        m_thread.join();
    }
    closeFd(m_wakeFd);
    m_writers.clear();
    m_reading = nullptr;
    m_current = nullptr;
    m_offers.clear();
    m_sources.clear();
    for (const Echo &echo : m_echoes)
        wl_callback_destroy(echo.sync);
    if (m_device)
        destroyProxy(m_device, opcode::deviceDestroy);
    if (m_manager)
        destroyProxy(m_manager, opcode::managerDestroy);
    if (m_seat)
        wl_proxy_destroy(reinterpret_cast<wl_proxy *>(m_seat));
    if (m_registry)
        wl_registry_destroy(m_registry);
    wl_display_disconnect(m_display);
}

QString DataControlClipboard::protocolName() const
{
    return QString::fromLatin1(m_protocol->name);
}

bool DataControlClipboard::bind(QString *reason)
{
    Globals globals;
    m_registry = wl_display_get_registry(m_display);
    wl_registry_add_listener(m_registry, &registryListener, &globals);
    if (wl_display_roundtrip(m_display) < 0) {
        if (reason)
            *reason = QStringLiteral("the Wayland compositor closed the connection");
        return false;
    }
    for (const Protocol &protocol : protocols) {
        if (globals.managers.contains(protocol.managerName)) {
            m_protocol = &protocol;
            break;
        }
    }
    if (!m_protocol || globals.seat == 0) {
        if (reason) {
            *reason = m_protocol
                ? QStringLiteral("the Wayland compositor has no seat")
                : QStringLiteral("the Wayland compositor offers no data-control protocol");
        }
        return false;
    }
    m_seat
        = static_cast<wl_seat *>(wl_registry_bind(m_registry, globals.seat, &wl_seat_interface, 1));
    m_manager = static_cast<wl_proxy *>(wl_registry_bind(m_registry,
        globals.managers.value(m_protocol->managerName), m_protocol->manager, m_protocol->version));
    m_device = wl_proxy_marshal_flags(m_manager, opcode::getDataDevice, m_protocol->device,
        wl_proxy_get_version(m_manager), 0, nullptr, m_seat);
    addListener(m_device, &Listeners::device, this);
    // The compositor sends the current selection on binding; it is where watching starts,
    // not a change.
    if (wl_display_roundtrip(m_display) < 0) {
        if (reason)
            *reason = QStringLiteral("the Wayland compositor refused data-control");
        return false;
    }
    m_bound = true;
    return true;
}

void DataControlClipboard::read(std::uint64_t request, const PasteboardReadOptions &options)
{
    {
        const std::lock_guard lock(m_mutex);
        m_pendingRead = Request { request, options };
        m_latest = request;
    }
    wake();
}

void DataControlClipboard::write(const Contents &contents)
{
    {
        const std::lock_guard lock(m_mutex);
        m_pendingWrite = contents;
    }
    wake();
}

void DataControlClipboard::wake()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(m_wakeFd, &one, sizeof one);
}

bool DataControlClipboard::isOvertaken(std::uint64_t request)
{
    const std::lock_guard lock(m_mutex);
    return m_stopping || m_latest != request;
}

void DataControlClipboard::run()
{
    // A reader that closes its pipe early must fail the write with EPIPE, not end the
    // process; the signal stays pending on this thread and is discarded.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);

    for (;;) {
        std::optional<Request> request;
        {
            const std::lock_guard lock(m_mutex);
            if (m_stopping)
                return;
            request.swap(m_pendingRead);
        }
        if (request) {
            const PasteboardSnapshot snapshot = readSnapshot(*request);
            if (!isOvertaken(request->id))
                m_callbacks.delivered(request->id, snapshot);
            continue;
        }
        pump(-1, -1);
    }
}

void DataControlClipboard::takeWrite()
{
    std::optional<Contents> contents;
    {
        const std::lock_guard lock(m_mutex);
        contents.swap(m_pendingWrite);
    }
    if (contents && !m_lost)
        makeSelection(*contents);
}

void DataControlClipboard::makeSelection(const Contents &contents)
{
    if (contents.isEmpty()) {
        // Nothing of this process's own: the selection is emptied.
        wl_proxy_marshal_flags(
            m_device, opcode::setSelection, nullptr, wl_proxy_get_version(m_device), 0, nullptr);
        noteWrite({});
        return;
    }
    auto source = std::make_unique<Source>();
    source->owner = this;
    source->proxy = wl_proxy_marshal_flags(m_manager, opcode::createDataSource, m_protocol->source,
        wl_proxy_get_version(m_manager), 0, nullptr);
    addListener(source->proxy, &Listeners::source, source.get());
    QStringList offered;
    for (const auto &[type, bytes] : contents) {
        const QStringList names
            = type == pasteboardtype::plainText() ? textAliases() : QStringList { type };
        for (const QString &name : names) {
            if (source->bytesByType.contains(name))
                continue;
            source->bytesByType.insert(name, bytes);
            offered.append(name);
            wl_proxy_marshal_flags(source->proxy, opcode::sourceOffer, nullptr,
                wl_proxy_get_version(source->proxy), 0, name.toUtf8().constData());
        }
    }
    wl_proxy_marshal_flags(
        m_device, opcode::setSelection, nullptr, wl_proxy_get_version(m_device), 0, source->proxy);
    m_sources.push_back(std::move(source));
    noteWrite(offered);
}

// The compositor announces the new selection to every device, this one included; the
// sync's answer comes after that announcement, so an echo still expected then never comes.
void DataControlClipboard::noteWrite(const QStringList &offered)
{
    wl_callback *sync = wl_display_sync(m_display);
    wl_callback_add_listener(sync, &Listeners::sync, this);
    m_echoes.push_back({ sync, sorted(offered) });
}

bool DataControlClipboard::isOwnEcho(const QStringList &types)
{
    const QStringList offered = sorted(types);
    const auto echo = std::find_if(m_echoes.begin(), m_echoes.end(),
        [&](const Echo &candidate) { return candidate.types == offered; });
    if (echo == m_echoes.end())
        return false;
    // Earlier writes were replaced before the compositor announced them.
    for (auto it = m_echoes.begin(); it != std::next(echo); ++it)
        wl_callback_destroy(it->sync);
    m_echoes.erase(m_echoes.begin(), std::next(echo));
    return true;
}

void DataControlClipboard::onSyncDone(wl_callback *sync)
{
    const auto echo = std::find_if(m_echoes.begin(), m_echoes.end(),
        [&](const Echo &candidate) { return candidate.sync == sync; });
    wl_callback_destroy(sync);
    if (echo != m_echoes.end())
        m_echoes.erase(echo);
}

void DataControlClipboard::onDataOffer(wl_proxy *proxy)
{
    auto offer = std::make_unique<Offer>();
    offer->proxy = proxy;
    addListener(proxy, &Listeners::offer, offer.get());
    m_offers.push_back(std::move(offer));
}

void DataControlClipboard::onSelection(wl_proxy *proxy)
{
    m_current = proxy ? static_cast<Offer *>(wl_proxy_get_user_data(proxy)) : nullptr;
    pruneOffers();
    if (!m_bound || isOwnEcho(m_current ? m_current->types : QStringList()))
        return;
    m_callbacks.changed();
}

void DataControlClipboard::onPrimarySelection(wl_proxy *)
{
    // Not watched: its offer goes at once.
    pruneOffers();
}

void DataControlClipboard::onFinished()
{
    qCWarning(
        lcWatcher, "Could not watch the Wayland clipboard any longer: the compositor withdrew it");
    destroyProxy(m_device, opcode::deviceDestroy);
    m_device = nullptr;
    m_lost = true;
}

// Offers other than the current selection and the one being read are of no further use.
void DataControlClipboard::pruneOffers()
{
    std::erase_if(m_offers, [this](const std::unique_ptr<Offer> &offer) {
        return offer.get() != m_current && offer.get() != m_reading;
    });
}

void DataControlClipboard::onSend(Source &source, const QString &type, int fd)
{
    const auto found = source.bytesByType.constFind(type);
    if (found == source.bytesByType.constEnd()) {
        closeFd(fd);
        return;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    auto writer = std::make_unique<Writer>();
    writer->fd = fd;
    writer->bytes = *found;
    writer->lastProgress = Clock::now();
    m_writers.push_back(std::move(writer));
}

void DataControlClipboard::onCancelled(Source &source)
{
    std::erase_if(m_sources,
        [&](const std::unique_ptr<Source> &candidate) { return candidate.get() == &source; });
}

void DataControlClipboard::noteConnectionLost()
{
    if (m_lost)
        return;
    m_lost = true;
    qCWarning(lcWatcher, "Could not watch the Wayland clipboard any longer: %s",
        std::strerror(wl_display_get_error(m_display)));
}

// Runs the connection for up to timeoutMs (-1: until something happens): sends what is
// queued, dispatches the compositor's events, serves this process's contents to readers, and
// takes a write the caller queued. Returns whether readFd became readable.
bool DataControlClipboard::pump(int timeoutMs, int readFd)
{
    takeWrite();
    std::vector<pollfd> fds { { m_wakeFd, POLLIN, 0 }, { readFd, POLLIN, 0 } };
    // libwayland's protocol for one reader: prepare (dispatching what is already queued),
    // then either read the socket or cancel.
    bool reading = false;
    while (!m_lost && wl_display_prepare_read(m_display) != 0) {
        if (wl_display_dispatch_pending(m_display) < 0)
            noteConnectionLost();
    }
    if (!m_lost) {
        reading = true;
        if (wl_display_flush(m_display) < 0 && errno != EAGAIN)
            noteConnectionLost();
        fds.push_back({ wl_display_get_fd(m_display), POLLIN, 0 });
    }
    // A stalled reader of this process's contents is dropped on time even when nothing else
    // happens.
    const auto now = Clock::now();
    for (const auto &writer : m_writers) {
        fds.push_back({ writer->fd, POLLOUT, 0 });
        const int left = int(std::max<long long>(0,
            std::chrono::ceil<std::chrono::milliseconds>(
                writer->lastProgress + writerStallLimit - now)
                .count()));
        timeoutMs = timeoutMs < 0 ? left : std::min(timeoutMs, left);
    }
    ::poll(fds.data(), fds.size(), timeoutMs);

    if (reading) {
        if (fds[2].revents & POLLIN) {
            if (wl_display_read_events(m_display) < 0)
                noteConnectionLost();
        } else {
            wl_display_cancel_read(m_display);
        }
        if (!m_lost && wl_display_dispatch_pending(m_display) < 0)
            noteConnectionLost();
    }
    std::vector<int> ready;
    for (std::size_t i = reading ? 3 : 2; i < fds.size(); ++i) {
        if (fds[i].revents != 0)
            ready.push_back(fds[i].fd);
    }
    serveWriters(ready);
    if (fds[0].revents & POLLIN) {
        std::uint64_t count = 0;
        [[maybe_unused]] const auto drained = ::read(m_wakeFd, &count, sizeof count);
    }
    takeWrite();
    return readFd >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR));
}

void DataControlClipboard::serveWriters(const std::vector<int> &ready)
{
    const auto now = Clock::now();
    std::erase_if(m_writers, [&](const std::unique_ptr<Writer> &writer) {
        if (std::find(ready.begin(), ready.end(), writer->fd) == ready.end())
            return now - writer->lastProgress >= writerStallLimit;
        while (writer->written < writer->bytes.size()) {
            const auto sent = ::write(writer->fd, writer->bytes.constData() + writer->written,
                std::size_t(writer->bytes.size() - writer->written));
            if (sent > 0) {
                writer->written += sent;
                writer->lastProgress = now;
                continue;
            }
            if (sent < 0 && errno == EAGAIN)
                return false;
            if (sent < 0 && errno == EPIPE) {
                sigset_t pipeSignal;
                sigemptyset(&pipeSignal);
                sigaddset(&pipeSignal, SIGPIPE);
                const timespec now0 {};
                sigtimedwait(&pipeSignal, nullptr, &now0);
            }
            return true;
        }
        return true;
    });
}

PasteboardSnapshot DataControlClipboard::readSnapshot(const Request &request)
{
    // The selection may change while it is read; the offer stays until the read is done.
    m_reading = m_current;
    if (!m_reading || m_lost) {
        m_reading = nullptr;
        return {};
    }
    Offer &offer = *m_reading;
    bool gaveUp = false;
    const auto fetch = [&](const QString &type) -> std::optional<QByteArray> {
        if (gaveUp)
            return std::nullopt;
        return receive(offer, type, request.id, gaveUp);
    };
    PasteboardSnapshot snapshot
        = readPasteboard(offer.types, fetch, request.options, decodePasteboardImage);
    m_reading = nullptr;
    pruneOffers();
    return snapshot;
}

std::optional<QByteArray> DataControlClipboard::receive(
    Offer &offer, const QString &type, std::uint64_t request, bool &gaveUp)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return std::nullopt;
    wl_proxy_marshal_flags(offer.proxy, opcode::offerReceive, nullptr,
        wl_proxy_get_version(offer.proxy), 0, type.toUtf8().constData(), ends[1]);
    // libwayland sends a duplicate of the write end; the owner's copy ends the transfer.
    wl_display_flush(m_display);
    closeFd(ends[1]);
    const int fd = ends[0];

    QByteArray data;
    auto deadline = Clock::now() + m_stepTimeout;
    char buffer[65536];
    for (;;) {
        if (isOvertaken(request) || m_lost) {
            gaveUp = true;
            closeFd(fd);
            return std::nullopt;
        }
        const auto left
            = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            qCWarning(lcWatcher,
                "Could not read the clipboard: its owner did not answer within %lld ms",
                static_cast<long long>(m_stepTimeout.count()));
            gaveUp = true;
            closeFd(fd);
            return std::nullopt;
        }
        if (!pump(int(left), fd))
            continue;
        for (;;) {
            const auto got = ::read(fd, buffer, sizeof buffer);
            if (got > 0) {
                data.append(buffer, got);
                deadline = Clock::now() + m_stepTimeout;
                if (data.size() > m_transferCapBytes) {
                    qCWarning(lcWatcher,
                        "Could not read the clipboard's %s: it is larger than %lld bytes",
                        qUtf8Printable(type), static_cast<long long>(m_transferCapBytes));
                    closeFd(fd);
                    return std::nullopt;
                }
                continue;
            }
            if (got == 0) {
                closeFd(fd);
                return data;
            }
            if (errno == EAGAIN || errno == EINTR)
                break;
            closeFd(fd);
            return std::nullopt;
        }
    }
}

} // namespace corvane
