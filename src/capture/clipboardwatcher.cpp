#include "clipboardwatcher.h"

#include "capture/candidateextraction.h"
#include "common/logging.h"
#include "platform/pasteboard.h"
#include "platform/pasteboardtypes.h"
#include "preferences/preferences.h"
#include "store/clipkind.h"
#include "store/clipstore.h"
#include "store/errordescription.h"
#include "store/sqlitedatabase.h"

#include <QSet>

#include <algorithm>

namespace corvane {

namespace {

// The copy offered text or an image, but none of it could be read: its owner went away
// during the transfer (before the change of owner reached this process), or the bytes were
// not what their type claimed.
bool offeredOnlyUnreadableContent(const PasteboardSnapshot &snapshot, bool capturesImages)
{
    if (snapshot.utf8Text() || snapshot.image() || !snapshot.fileURLs().isEmpty()
        || snapshot.isMarkedNotToRecord())
        return false;
    const QStringList types = snapshot.types();
    const auto offersAny = [&](const QStringList &candidates) {
        return std::any_of(candidates.begin(), candidates.end(),
            [&](const QString &type) { return types.contains(type); });
    };
    return offersAny(pasteboardtype::textTypes())
        || (capturesImages && offersAny(pasteboardtype::imageTypes()));
}

} // namespace

ClipboardWatcher::ClipboardWatcher(ClipStore &store, const Preferences &preferences,
    Pasteboard &pasteboard, Workspace &workspace, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_preferences(preferences)
    , m_pasteboard(pasteboard)
    , m_workspace(workspace)
    , m_lastChangeCount(pasteboard.changeCount())
{
    m_clock.start();
    m_followUp.setSingleShot(true);
    m_followUp.setTimerType(Qt::PreciseTimer);
    connect(&m_followUp, &QTimer::timeout, this, &ClipboardWatcher::poll);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &ClipboardWatcher::recordWaiting);
    connect(&m_pasteboard, &Pasteboard::contentsRead, this, &ClipboardWatcher::contentsRead);
}

ClipboardWatcher::~ClipboardWatcher() = default;

void ClipboardWatcher::start(std::chrono::milliseconds interval)
{
    if (m_timer) {
        delete m_timer;
        m_timer = nullptr;
        disconnect(&m_pasteboard, &Pasteboard::changed, this, nullptr);
    }
    // A child of the watcher: its ticks end with it. Qt timers also fire while menus,
    // drags and other nested event loops run.
    m_timer = new QTimer(this);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &ClipboardWatcher::poll);
    m_timer->start(interval);
    // Queued, so a change signalled in the middle of the application's own write is looked
    // at once the write is complete.
    connect(&m_pasteboard, &Pasteboard::changed, this, &ClipboardWatcher::pollSoon,
        Qt::QueuedConnection);
}

void ClipboardWatcher::pollSoon()
{
    if (m_followUp.isActive())
        return;
    const qint64 now = m_clock.elapsed();
    while (!m_recentReads.empty() && now - m_recentReads.front() >= immediateReadWindow.count())
        m_recentReads.pop_front();
    if (m_recentReads.size() < std::size_t(immediateReadBurst))
        poll();
    else
        m_followUp.start(
            std::chrono::milliseconds(m_recentReads.front() + immediateReadWindow.count() - now));
}

void ClipboardWatcher::poll()
{
    // The read in flight looks at the count again when it completes.
    if (m_pendingRequest)
        return;
    const std::int64_t changeCount = m_pasteboard.changeCount();
    if (changeCount == m_lastChangeCount)
        return;
    // Copies made faster than they can be read are gone before their turn.
    noteUnreadChanges(m_lastChangeCount, changeCount);
    m_lastChangeCount = changeCount;

    if (m_suppressUntilChangeCount) {
        if (*m_suppressUntilChangeCount >= changeCount) {
            m_suppressUntilChangeCount.reset();
            return;
        }
        // Another change overtook the application's own write: the suppression stays and
        // this change is captured.
    }

    m_pendingFrontmost = m_workspace.frontmostApplication();
    m_pendingChangeCount = changeCount;
    m_recentReads.push_back(m_clock.elapsed());
    m_pendingRequest = m_pasteboard.readContents(
        PasteboardReadOptions { .includesImages = m_preferences.capturesImages() });
}

void ClipboardWatcher::noteUnreadChanges(std::int64_t lastRead, std::int64_t changeCount)
{
    if (const std::int64_t unread = changeCount - lastRead - 1; unread > 0) {
        qCInfo(lcWatcher, "%lld copies were replaced before they could be read",
            static_cast<long long>(unread));
    }
}

void ClipboardWatcher::contentsRead(std::uint64_t request, const PasteboardSnapshot &snapshot)
{
    if (!m_pendingRequest || request < *m_pendingRequest)
        return;
    const bool isOurs = request == *m_pendingRequest;
    m_pendingRequest.reset();
    // When the contents were replaced while they were read, the snapshot may hold pieces of
    // both (the types of one copy, the text of the next, which could be a concealed one):
    // it is dropped and the newer contents are read instead. The same holds when someone
    // else's read overtook ours.
    if (!isOurs || snapshot.wasReplacedWhileRead()
        || m_pasteboard.changeCount() != m_pendingChangeCount) {
        qCInfo(lcWatcher, "A copy was replaced while it was read; the newer one is read");
        pollSoon();
        return;
    }
    record(snapshot, clock());
}

void ClipboardWatcher::recordEarlierCopy(const PasteboardSnapshot &snapshot,
    const std::optional<RunningApplication> &frontmost, Timestamp capturedAt)
{
    m_pendingFrontmost = frontmost;
    m_pendingChangeCount = m_lastChangeCount;
    record(snapshot, capturedAt);
}

void ClipboardWatcher::record(const PasteboardSnapshot &snapshot, Timestamp capturedAt)
{
    const QStringList ignored = m_preferences.ignoredBundleIDs();
    std::optional<ClipCandidate> candidate = captureCandidate(snapshot, m_pendingFrontmost,
        QSet<QString>(ignored.begin(), ignored.end()), m_preferences.ignoresSecretLookingText(),
        m_preferences.capturesImages());
    if (!candidate) {
        // Refusals by the user's settings go unsaid; a copy lost to its data does not.
        if (offeredOnlyUnreadableContent(snapshot, m_preferences.capturesImages()))
            qCInfo(lcWatcher, "A copy could not be read; it is not recorded");
        return;
    }
    candidate->capturedAt = capturedAt;
    if (m_waiting.size() == maximumWaitingCopies) {
        qCWarning(lcWatcher, "The history stayed locked; the oldest waiting %s copy is dropped",
            qUtf8Printable(storedString(m_waiting.front().candidate.kind)));
        m_waiting.pop_front();
    }
    m_waiting.push_back({ std::move(*candidate), m_pendingChangeCount });
    // Copies that are still waiting go first, so the history keeps the order they were made in.
    if (!m_retry.isActive())
        recordWaiting();
}

// A copy just made is the newest, whatever the clock says: when the system clock was set
// back, it is stamped just after the newest item, so it still sorts first and the item
// limit does not prune it ahead of older ones.
ClipCandidate ClipboardWatcher::stampedAfterNewest(const ClipCandidate &candidate)
{
    ClipCandidate stamped = candidate;
    const std::optional<Timestamp> newest = m_store.newestCreatedAt();
    if (newest && *newest > stamped.capturedAt)
        stamped.capturedAt = *newest + std::chrono::milliseconds(1);
    return stamped;
}

void ClipboardWatcher::recordWaiting()
{
    while (!m_waiting.empty()) {
        const ClipCandidate &candidate = m_waiting.front().candidate;
        const std::int64_t changeCount = m_waiting.front().changeCount;
        std::optional<ClipItem> item;
        try {
            item = m_store.record(stampedAfterNewest(candidate), m_preferences.itemLimit(),
                m_preferences.dayLimit(), ClipStore::payloadCapBytes);
        } catch (const std::exception &error) {
            // Another process kept the history locked for longer than the store waits: the
            // copy is not lost, it is tried again once that process may be done. Anything
            // else would fail again, so that copy is dropped.
            const auto *database = dynamic_cast<const SQLiteDatabase::Error *>(&error);
            if (database && database->isLockContention()) {
                qCWarning(lcWatcher, "The history is locked by another process; a %s copy waits",
                    qUtf8Printable(storedString(candidate.kind)));
                m_retry.start(lockedRetryInterval);
                return;
            }
            qCCritical(lcWatcher, "Could not record a %s copy: %s",
                qUtf8Printable(storedString(candidate.kind)),
                qUtf8Printable(errorDescription(error)));
        }
        m_waiting.pop_front();
        if (!item)
            continue;
        if (onCapture)
            onCapture(*item);
        Q_EMIT recorded(*item, changeCount);
    }
}

} // namespace corvane
