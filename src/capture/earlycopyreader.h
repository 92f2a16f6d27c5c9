#pragma once

#include "common/timestamp.h"
#include "platform/pasteboardsnapshot.h"
#include "platform/workspace.h"

#include <QObject>

#include <cstdint>
#include <optional>
#include <vector>

namespace corvane {

class Pasteboard;

// Reads every copy made while nothing can record it yet (the history is still being opened,
// which takes a minute when a long one is upgraded), each at once while its owner still
// serves it, and keeps them for the watcher. A copy replaced before or while it is read is
// lost, as it would be for the watcher, and logged as the watcher logs it.
class EarlyCopyReader : public QObject
{
    Q_OBJECT

public:
    struct Copy
    {
        PasteboardSnapshot snapshot;
        std::optional<RunningApplication> frontmost;
        Timestamp capturedAt;
    };

    // Starts from the pasteboard's change count now: what the clipboard already holds is not
    // read.
    EarlyCopyReader(Pasteboard &pasteboard, Workspace &workspace, QObject *parent = nullptr);

    // The copies read so far, oldest first.
    const std::vector<Copy> &copies() const { return m_copies; }
    // The change count up to which every change was read or replaced: a watcher starting from
    // it reads a change this reader saw but did not finish reading.
    std::int64_t readUpTo() const { return m_readUpTo; }

private:
    void look();
    void contentsRead(std::uint64_t request, const PasteboardSnapshot &snapshot);

    Pasteboard &m_pasteboard;
    Workspace &m_workspace;
    std::int64_t m_lastChangeCount = 0;
    std::int64_t m_readUpTo = 0;
    std::optional<std::uint64_t> m_pendingRequest;
    std::int64_t m_pendingChangeCount = 0;
    std::optional<RunningApplication> m_pendingFrontmost;
    std::vector<Copy> m_copies;
};

} // namespace corvane
