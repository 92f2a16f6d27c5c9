#pragma once

#include "platform/pasteboardsnapshot.h"

#include <QByteArray>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

struct _XDisplay;

namespace corvane {

// Reads the CLIPBOARD selection on a thread of its own, over a connection of its own, so
// that an owner that answers slowly, never, or with a huge payload cannot hold up the
// application. Each step of a transfer waits at most `stepTimeout`; a newer request
// abandons the one in progress, whose contents are out of date anyway. A type whose bytes
// exceed `transferCapBytes` is abandoned and left out of the snapshot.
class ClipboardReader
{
public:
    // Called on the reader's thread with each request's snapshot that was not overtaken (at
    // once, on the caller's thread, when there is no connection), and the window that owned
    // the clipboard throughout the read (None when nothing did, or it changed meanwhile).
    using Delivery = std::function<void(
        std::uint64_t request, const PasteboardSnapshot &, unsigned long owner)>;

    ClipboardReader(const QByteArray &displayName, std::chrono::milliseconds stepTimeout,
        Delivery deliver, qsizetype transferCapBytes = maxTransferBytes);
    ~ClipboardReader();

    ClipboardReader(const ClipboardReader &) = delete;
    ClipboardReader &operator=(const ClipboardReader &) = delete;

    // Whether the display could be opened; without it every request is answered empty.
    bool isConnected() const { return m_display != nullptr; }

    // Queues a read, replacing any request that has not finished.
    void read(std::uint64_t request, const PasteboardReadOptions &options);

    // The largest transfer the application accepts for one type.
    static constexpr qsizetype maxTransferBytes = qsizetype(128) << 20;

private:
    struct Request
    {
        std::uint64_t id = 0;
        PasteboardReadOptions options;
    };
    class Transfer;

    void run();
    PasteboardSnapshot readSnapshot(const Request &request, unsigned long &owner);
    bool isOvertaken(std::uint64_t request);
    void drainWakeups();

    _XDisplay *m_display = nullptr;
    int m_wakeFd = -1;
    std::chrono::milliseconds m_stepTimeout;
    Delivery m_deliver;
    qsizetype m_transferCapBytes;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<Request> m_pending;
    std::uint64_t m_latest = 0;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace corvane
