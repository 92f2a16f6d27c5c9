#pragma once

#include "platform/pasteboardsnapshot.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

struct wl_callback;
struct wl_display;
struct wl_proxy;
struct wl_registry;
struct wl_seat;

namespace corvane {

// The clipboard of a Wayland seat through a data-control protocol (the standard one where
// the compositor offers it, else wlroots'), on a connection and a thread of its own: an
// owner that answers slowly, never, or with a huge payload cannot hold up the application.
// Each wait for an owner's bytes lasts at most `stepTimeout`; a newer read abandons the one
// in progress; a type whose bytes exceed the cap is left out of the snapshot. Writes become
// the seat's selection and are served from this thread; the compositor's echo of them is
// not reported as a change.
class DataControlClipboard
{
public:
    struct Callbacks
    {
        // Another client replaced the clipboard (or emptied it). On the clipboard's thread.
        std::function<void()> changed;
        // The snapshot of a read that was not overtaken. On the clipboard's thread.
        std::function<void(std::uint64_t request, const PasteboardSnapshot &)> delivered;
    };
    // Type names and their bytes, in the order they are offered.
    using Contents = QList<std::pair<QString, QByteArray>>;

    // Connects to the compositor at socketName (empty: the session's WAYLAND_DISPLAY).
    // Nothing when no compositor answers or it offers no data-control; `reason` then says
    // which.
    static std::unique_ptr<DataControlClipboard> connect(const QByteArray &socketName,
        std::chrono::milliseconds stepTimeout, Callbacks callbacks, QString *reason = nullptr,
        qsizetype transferCapBytes = maxTransferBytes);
    ~DataControlClipboard();

    DataControlClipboard(const DataControlClipboard &) = delete;
    DataControlClipboard &operator=(const DataControlClipboard &) = delete;

    // The protocol in use: "ext-data-control-v1" or "wlr-data-control-unstable-v1".
    QString protocolName() const;

    // Queues a read of the current selection, replacing any read that has not finished.
    void read(std::uint64_t request, const PasteboardReadOptions &options);
    // Makes the contents the selection; a write not yet made is replaced by a newer one.
    void write(const Contents &contents);

    // The largest transfer the application accepts for one type.
    static constexpr qsizetype maxTransferBytes = qsizetype(128) << 20;

    struct Protocol;
    struct Offer;
    struct Source;
    struct Writer;

private:
    // The compositor's events reach the handlers below through these.
    struct Listeners;

    struct Request
    {
        std::uint64_t id = 0;
        PasteboardReadOptions options;
    };
    // A write whose echo may still arrive: the types it offered, and the sync that marks
    // the point by which the compositor has sent it.
    struct Echo
    {
        wl_callback *sync = nullptr;
        QStringList types;
    };

    DataControlClipboard(wl_display *display, std::chrono::milliseconds stepTimeout,
        Callbacks callbacks, qsizetype transferCapBytes);
    bool bind(QString *reason);
    void run();
    bool pump(int timeoutMs, int readFd);
    void takeWrite();
    void makeSelection(const Contents &contents);
    void noteWrite(const QStringList &offered);
    PasteboardSnapshot readSnapshot(const Request &request);
    std::optional<QByteArray> receive(
        Offer &offer, const QString &type, std::uint64_t request, bool &gaveUp);
    bool isOvertaken(std::uint64_t request);
    void wake();
    void serveWriters(const std::vector<int> &ready);
    void pruneOffers();
    void noteConnectionLost();

    // Event handlers, called by the listeners while this thread dispatches.
    void onDataOffer(wl_proxy *offer);
    void onSelection(wl_proxy *offer);
    void onPrimarySelection(wl_proxy *offer);
    void onFinished();
    void onSend(Source &source, const QString &type, int fd);
    void onCancelled(Source &source);
    void onSyncDone(wl_callback *sync);
    bool isOwnEcho(const QStringList &types);

    wl_display *m_display;
    const Protocol *m_protocol = nullptr;
    wl_registry *m_registry = nullptr;
    wl_seat *m_seat = nullptr;
    wl_proxy *m_manager = nullptr;
    wl_proxy *m_device = nullptr;
    std::chrono::milliseconds m_stepTimeout;
    Callbacks m_callbacks;
    qsizetype m_transferCapBytes;
    bool m_bound = false;
    bool m_lost = false;

    // Owned by the thread once it runs.
    std::vector<std::unique_ptr<Offer>> m_offers;
    Offer *m_current = nullptr;
    Offer *m_reading = nullptr;
    std::vector<std::unique_ptr<Source>> m_sources;
    std::vector<std::unique_ptr<Writer>> m_writers;
    std::deque<Echo> m_echoes;

    // Shared with the callers' thread.
    std::mutex m_mutex;
    std::optional<Request> m_pendingRead;
    std::optional<Contents> m_pendingWrite;
    std::uint64_t m_latest = 0;
    bool m_stopping = false;
    int m_wakeFd = -1;
    std::thread m_thread;
};

} // namespace corvane
