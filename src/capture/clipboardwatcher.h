#pragma once

#include "common/timestamp.h"
#include "platform/pasteboardsnapshot.h"
#include "platform/workspace.h"
#include "store/clipcandidate.h"
#include "store/clipitem.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>

namespace corvane {

class ClipStore;
class Pasteboard;
class Preferences;

// Records what the user copies: notices every change of the clipboard, skips the changes the
// application makes itself when it writes an item back, turns the new contents into a
// candidate and records it in the store. It polls the change count on a steady timer and
// also looks at once when the clipboard signals a change, unless that has already started
// immediateReadBurst reads within immediateReadWindow. It must be the pasteboard's only
// reader.
class ClipboardWatcher : public QObject
{
    Q_OBJECT

public:
    // How many reads a change signal may start at once within the window: copies made by
    // hand are read without delay, while an application that replaces the clipboard in a
    // loop is read at most 20 times a second.
    static constexpr int immediateReadBurst = 4;
    static constexpr std::chrono::milliseconds immediateReadWindow { 200 };
    // How long a copy that found the history locked by another process waits before it is
    // tried again.
    static constexpr std::chrono::milliseconds lockedRetryInterval { 1000 };
    // How many such copies wait at most; beyond that the oldest is given up.
    static constexpr std::size_t maximumWaitingCopies = 20;

    // Starts from the pasteboard's change count now: what the clipboard already holds is
    // never recorded.
    ClipboardWatcher(ClipStore &store, const Preferences &preferences, Pasteboard &pasteboard,
        Workspace &workspace, QObject *parent = nullptr);
    ~ClipboardWatcher() override;

    // Starts (or restarts) polling every interval and on every change signal.
    void start(std::chrono::milliseconds interval);
    // One look at the change count; reads and records the contents when it moved.
    void poll();
    // Says that the changes after lastRead and before changeCount were replaced before they
    // could be read, so that every copy is accounted for in the log.
    static void noteUnreadChanges(std::int64_t lastRead, std::int64_t changeCount);

    // The change count up to which the next change is the application's own write, or
    // nothing. Set it to the current count plus one just before writing to the pasteboard.
    std::optional<std::int64_t> suppressUntilChangeCount() const
    {
        return m_suppressUntilChangeCount;
    }
    void setSuppressUntilChangeCount(std::optional<std::int64_t> changeCount)
    {
        m_suppressUntilChangeCount = changeCount;
    }
    std::int64_t lastChangeCount() const { return m_lastChangeCount; }
    // Takes changeCount as the last one seen, instead of the count when it was made.
    void setLastChangeCount(std::int64_t changeCount) { m_lastChangeCount = changeCount; }
    // Records a copy read before the watcher started (while the history was being opened),
    // as if it had read it itself at capturedAt; call them oldest first, before start.
    void recordEarlierCopy(const PasteboardSnapshot &snapshot,
        const std::optional<RunningApplication> &frontmost, Timestamp capturedAt);
    // Whether a read of the clipboard is in flight.
    bool isReading() const { return m_pendingRequest.has_value(); }

    // Told about every item recorded; installed by the owner, may stay empty.
    std::function<void(const ClipItem &)> onCapture;
    // Stamps each copy with the time it was made; the system clock unless a test sets it.
    std::function<Timestamp()> clock = now;

Q_SIGNALS:
    // An item was recorded for the copy that moved the pasteboard's change count to
    // changeCount (a copy that waited for the history may be recorded after newer changes).
    void recorded(const corvane::ClipItem &item, std::int64_t changeCount);

private:
    struct WaitingCopy
    {
        ClipCandidate candidate;
        std::int64_t changeCount = 0;
    };

    void pollSoon();
    void contentsRead(std::uint64_t request, const PasteboardSnapshot &snapshot);
    void record(const PasteboardSnapshot &snapshot, Timestamp capturedAt);
    void recordWaiting();
    ClipCandidate stampedAfterNewest(const ClipCandidate &candidate);

    ClipStore &m_store;
    const Preferences &m_preferences;
    Pasteboard &m_pasteboard;
    Workspace &m_workspace;
    QTimer *m_timer = nullptr;
    QTimer m_followUp;
    // Copies not yet in the history because another process held it locked, oldest first,
    // and the timer that tries them again.
    std::deque<WaitingCopy> m_waiting;
    QTimer m_retry;
    std::int64_t m_lastChangeCount = 0;
    std::optional<std::int64_t> m_suppressUntilChangeCount;

    // The read in flight: its request number, the change count it was started for and the
    // application that was in front then.
    std::optional<std::uint64_t> m_pendingRequest;
    std::int64_t m_pendingChangeCount = 0;
    std::optional<RunningApplication> m_pendingFrontmost;
    // When the recent reads started, oldest first, on m_clock (milliseconds).
    QElapsedTimer m_clock;
    std::deque<qint64> m_recentReads;
};

} // namespace corvane
