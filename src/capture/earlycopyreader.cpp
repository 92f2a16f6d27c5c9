#include "earlycopyreader.h"

#include "capture/clipboardwatcher.h"
#include "platform/pasteboard.h"

namespace corvane {

EarlyCopyReader::EarlyCopyReader(Pasteboard &pasteboard, Workspace &workspace, QObject *parent)
    : QObject(parent)
    , m_pasteboard(pasteboard)
    , m_workspace(workspace)
    , m_lastChangeCount(pasteboard.changeCount())
    , m_readUpTo(m_lastChangeCount)
{
    // Queued like the watcher's, so a change is looked at once the code signalling it is done.
    connect(
        &m_pasteboard, &Pasteboard::changed, this, &EarlyCopyReader::look, Qt::QueuedConnection);
    connect(&m_pasteboard, &Pasteboard::contentsRead, this, &EarlyCopyReader::contentsRead);
}

void EarlyCopyReader::look()
{
    // The read in flight looks at the count again when it completes.
    if (m_pendingRequest)
        return;
    const std::int64_t changeCount = m_pasteboard.changeCount();
    if (changeCount == m_lastChangeCount)
        return;
    m_lastChangeCount = changeCount;
    m_pendingFrontmost = m_workspace.frontmostApplication();
    m_pendingChangeCount = changeCount;
    // Images too: whether they are kept is the watcher's decision, with the preferences.
    m_pendingRequest = m_pasteboard.readContents(PasteboardReadOptions { .includesImages = true });
}

void EarlyCopyReader::contentsRead(std::uint64_t request, const PasteboardSnapshot &snapshot)
{
    if (!m_pendingRequest || request != *m_pendingRequest)
        return;
    m_pendingRequest.reset();
    // Contents replaced while they were read may mix two copies: the newer one is read instead.
    if (!snapshot.wasReplacedWhileRead() && m_pasteboard.changeCount() == m_pendingChangeCount) {
        // The watcher accounts for the changes after the last one read here.
        ClipboardWatcher::noteUnreadChanges(m_readUpTo, m_pendingChangeCount);
        m_copies.push_back({ snapshot, m_pendingFrontmost, now() });
        m_readUpTo = m_pendingChangeCount;
    }
    look();
}

} // namespace corvane
