#include "clipboardkeeper.h"

#include "capture/clipboardwatcher.h"
#include "common/logging.h"
#include "platform/clipboardownership.h"
#include "platform/pasteboard.h"
#include "preferences/preferences.h"
#include "store/clipkind.h"

#include <utility>

namespace corvane {

namespace {

constexpr std::chrono::milliseconds saveCheckInterval { 50 };

} // namespace

ClipboardKeeper::ClipboardKeeper(ClipboardWatcher &watcher, Pasteboard &pasteboard,
    ClipboardOwnership &ownership, const Preferences &preferences,
    std::function<bool(const ClipItem &)> writeItem, QObject *parent)
    : QObject(parent)
    , m_watcher(watcher)
    , m_pasteboard(pasteboard)
    , m_ownership(ownership)
    , m_preferences(preferences)
    , m_writeItem(std::move(writeItem))
{
    m_saveTimer.setInterval(saveCheckInterval);
    connect(&m_saveTimer, &QTimer::timeout, this, &ClipboardKeeper::settleSaves);
    m_vanishTimer.setSingleShot(true);
    connect(&m_vanishTimer, &QTimer::timeout, this, &ClipboardKeeper::keepVanished);
    connect(
        &m_ownership, &ClipboardOwnership::ownerVanished, this, &ClipboardKeeper::ownerVanished);
    connect(
        &m_ownership, &ClipboardOwnership::saveRequested, this, &ClipboardKeeper::saveRequested);
    connect(&m_pasteboard, &Pasteboard::changed, this, [this] {
        if (m_vanishPending && m_pasteboard.changeCount() > m_itemChangeCount) {
            m_vanishTimer.stop();
            keepVanished();
        }
    });
    connect(&m_preferences, &Preferences::keepsClipboardAliveChanged, this, [this] {
        if (m_started)
            apply();
    });
}

ClipboardKeeper::~ClipboardKeeper() = default;

bool ClipboardKeeper::isEnabled() const
{
    return m_started && m_preferences.keepsClipboardAlive();
}

void ClipboardKeeper::start()
{
    m_started = true;
    apply();
}

void ClipboardKeeper::apply()
{
    if (!m_preferences.keepsClipboardAlive()) {
        m_vanishPending = false;
        m_vanishTimer.stop();
        for (const PendingSave &save : std::exchange(m_saves, {}))
            m_ownership.answerSave(save.request, false);
        m_saveTimer.stop();
        m_ownership.releaseManager();
        return;
    }
    if (!m_ownership.claimManager())
        qCInfo(lcWatcher,
            "Another clipboard manager is running; exiting applications hand "
            "their clipboard to it");
}

void ClipboardKeeper::noteRecorded(const ClipItem &item, std::int64_t changeCount)
{
    // Recorded late, after newer changes: it no longer says what the clipboard holds.
    if (changeCount != m_pasteboard.changeCount())
        return;
    m_item = item;
    m_itemChangeCount = changeCount;
    m_itemCopy = m_ownership.currentCopy();
    // Its owner exited before the recording was done: it is kept now.
    if (m_itemCopy == m_vanishedCopy)
        ownerVanished(*m_vanishedCopy);
    if (!m_saves.empty())
        settleSaves();
}

void ClipboardKeeper::ownerVanished(std::uint64_t copy)
{
    m_vanishedCopy = copy;
    if (!isEnabled() || !m_item || m_itemCopy != copy)
        return;
    // The pasteboard hears of the exit on a connection of its own. Writing before it has
    // would make its late notice look like a new copy of our own contents.
    m_vanishPending = true;
    if (m_pasteboard.changeCount() > m_itemChangeCount)
        keepVanished();
    else
        m_vanishTimer.start(vanishSettleTimeout);
}

void ClipboardKeeper::keepVanished()
{
    if (!m_vanishPending)
        return;
    m_vanishPending = false;
    // Another copy (or a paste from the history) arrived meanwhile: it is what the clipboard
    // holds now.
    if (m_pasteboard.changeCount() > m_itemChangeCount + 1)
        return;
    writeBack();
}

bool ClipboardKeeper::writeBack()
{
    if (!m_item)
        return false;
    m_watcher.setSuppressUntilChangeCount(m_pasteboard.changeCount() + 1);
    const bool written = m_writeItem(*m_item);
    if (!written)
        qCWarning(lcWatcher, "Could not put the %s copy of an application that exited back",
            qUtf8Printable(storedString(m_item->kind)));
    // The copy now belongs to this application; its own exit never vanishes it.
    m_itemCopy.reset();
    return written;
}

void ClipboardKeeper::saveRequested(std::uint64_t request, std::uint64_t copy)
{
    if (!isEnabled()) {
        m_ownership.answerSave(request, false);
        return;
    }
    m_saves.push_back({ request, copy, std::chrono::steady_clock::now() + saveTimeout });
    // The watcher looks at the copy now if it has not yet.
    m_watcher.poll();
    settleSaves();
}

void ClipboardKeeper::settleSaves()
{
    const auto now = std::chrono::steady_clock::now();
    std::vector<PendingSave> waiting;
    for (const PendingSave &save : std::exchange(m_saves, {})) {
        if (m_item && m_itemCopy == save.copy) {
            m_ownership.answerSave(save.request, writeBack());
            continue;
        }
        // Read and not recorded (concealed, ignored, refused): nothing to keep.
        const bool settled = !m_watcher.isReading()
            && m_watcher.lastChangeCount() == m_pasteboard.changeCount()
            && m_pasteboard.changeCount() != m_itemChangeCount;
        if (settled || now >= save.deadline) {
            m_ownership.answerSave(save.request, false);
            continue;
        }
        waiting.push_back(save);
    }
    m_saves = std::move(waiting);
    if (m_saves.empty())
        m_saveTimer.stop();
    else if (!m_saveTimer.isActive())
        m_saveTimer.start();
}

} // namespace corvane
