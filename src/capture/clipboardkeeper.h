#pragma once

#include "store/clipitem.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace corvane {

class ClipboardOwnership;
class ClipboardWatcher;
class Pasteboard;
class Preferences;

// Keeps the last copy on the clipboard after the application that copied has gone: when the
// owner vanishes without handing the clipboard over, or asks the clipboard manager to save it
// on its way out, the item the watcher recorded for exactly that copy is written back. What
// the watcher did not record (concealed, ignored, secret-looking, too large) is never served.
// The watcher is told to skip the write-back. Follows the keepsClipboardAlive setting.
class ClipboardKeeper : public QObject
{
    Q_OBJECT

public:
    // How long an exiting application waits at most for its copy to be recorded before its
    // save request is refused (applications give up after about five seconds).
    static constexpr std::chrono::milliseconds saveTimeout { 3000 };
    // How long a vanished copy waits for the pasteboard to notice that its owner has gone,
    // so that this late notice does not count as a change after the write-back.
    static constexpr std::chrono::milliseconds vanishSettleTimeout { 500 };

    // writeItem puts an item on the pasteboard with all its types (the paster's write path)
    // and answers whether anything was written.
    ClipboardKeeper(ClipboardWatcher &watcher, Pasteboard &pasteboard,
        ClipboardOwnership &ownership, const Preferences &preferences,
        std::function<bool(const ClipItem &)> writeItem, QObject *parent = nullptr);
    ~ClipboardKeeper() override;

    // Follows the setting from now on: claims the clipboard manager's role while it is on
    // (unless another manager holds it) and releases it when it goes off.
    void start();

    // The watcher recorded item for the copy that moved the change count to changeCount.
    void noteRecorded(const ClipItem &item, std::int64_t changeCount);

    bool isEnabled() const;

private:
    struct PendingSave
    {
        std::uint64_t request = 0;
        std::uint64_t copy = 0;
        std::chrono::steady_clock::time_point deadline;
    };

    void apply();
    void ownerVanished(std::uint64_t copy);
    void saveRequested(std::uint64_t request, std::uint64_t copy);
    void settleSaves();
    void keepVanished();
    bool writeBack();

    ClipboardWatcher &m_watcher;
    Pasteboard &m_pasteboard;
    ClipboardOwnership &m_ownership;
    const Preferences &m_preferences;
    std::function<bool(const ClipItem &)> m_writeItem;
    bool m_started = false;

    // The item recorded last, the copy it belongs to and the change count it was read at.
    std::optional<ClipItem> m_item;
    std::optional<std::uint64_t> m_itemCopy;
    std::int64_t m_itemChangeCount = 0;
    // The copy whose owner went away last.
    std::optional<std::uint64_t> m_vanishedCopy;

    std::vector<PendingSave> m_saves;
    QTimer m_saveTimer;
    // A vanished copy that waits for the pasteboard to notice the owner's exit.
    bool m_vanishPending = false;
    QTimer m_vanishTimer;
};

} // namespace corvane
