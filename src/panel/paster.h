#pragma once

#include "platform/pastekeystrokeposter.h"
#include "platform/workspace.h"
#include "store/clipitem.h"

#include <QObject>

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

namespace corvane {

class ClipStore;
class DelayScheduler;
class Pasteboard;

// Puts history items back on the clipboard and, when allowed, makes the application that was
// in front paste them. It is the only writer of items to the clipboard for pasting; keeping
// the clipboard watcher from recording the write is the caller's business.
class Paster : public QObject
{
    Q_OBJECT

public:
    // Between bringing the target forward and posting the paste keystroke.
    static constexpr std::chrono::milliseconds pasteDelay { 120 };

    // isTrusted answers whether synthetic keystrokes may be posted (the accessibility
    // permission); it is asked after every write, never cached.
    Paster(ClipStore &store, Pasteboard &pasteboard, PasteKeystrokePoster &keystrokes,
        DelayScheduler &scheduler, std::function<bool()> isTrusted, QObject *parent = nullptr);
    ~Paster() override;

    // Writes the items to the clipboard: one item with its own types, several as their texts
    // joined by line feeds. Gives false, with the clipboard left empty, when there was
    // nothing writable (and untouched when the list is empty); marks written items used.
    bool copy(const std::vector<ClipItem> &items, bool plainText);

    // What a paste did.
    enum class PasteResult {
        // Nothing was writable; the clipboard holds nothing of the items.
        nothingWritten,
        // Written, and the paste shortcut follows after pasteDelay.
        pasting,
        // Written only: keystrokes are not allowed here (no keyboard access, or a Wayland
        // compositor without a virtual keyboard), so the user pastes.
        copiedOnly,
    };

    // Writes the items as copy does and, when that worked and keystrokes are allowed, brings
    // target forward and posts the paste shortcut after pasteDelay. Without the permission
    // the paste is left to the user.
    PasteResult paste(const std::vector<ClipItem> &items,
        const std::optional<RunningApplication> &target, bool plainText);

    // Posts one press and release of the paste shortcut the application takes (Ctrl+V, or
    // Ctrl+Shift+V for a terminal) to the focused window. Failures are silent.
    void postPasteKeystroke(const std::optional<RunningApplication> &application);

    // Writes one item with its own types, as copy does, without marking it used: for
    // putting back what the clipboard held when its owner went away. False, with the
    // clipboard left empty, when nothing of it was writable.
    bool writeItem(const ClipItem &item);

private:
    // What a write put on the clipboard: nothing, the item, or only the path of a file that
    // has gone.
    enum class Written { nothing, item, pathOnly };

    bool write(const ClipItem &item, bool plainText);
    Written writeTypes(const ClipItem &item, bool plainText);
    void markUsed(const ClipItem &item);

    ClipStore &m_store;
    Pasteboard &m_pasteboard;
    PasteKeystrokePoster &m_keystrokes;
    DelayScheduler &m_scheduler;
    std::function<bool()> m_isTrusted;
};

} // namespace corvane
