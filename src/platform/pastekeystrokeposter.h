#pragma once

#include "platform/workspace.h"

#include <optional>

namespace corvane {

// The key combination that makes an application paste the clipboard.
enum class PasteShortcut {
    // Ctrl+V: what nearly every application takes.
    controlV,
    // Ctrl+Shift+V: terminal emulators, where Ctrl+V is a control character for the shell.
    controlShiftV,
};

// The shortcut the application with this identifier (desktop entry id or window class)
// pastes with. Terminal emulators are recognised from one list, case-insensitively, by the
// whole identifier or its last dot-separated part; an unknown or absent application gets
// Ctrl+V.
PasteShortcut pasteShortcutFor(const std::optional<RunningApplication> &application);

// Brings an application forward and sends it the paste keystroke, as a user would.
class PasteKeystrokePoster
{
public:
    virtual ~PasteKeystrokePoster();

    // Makes one of the application's windows the active one; false when none was found.
    virtual bool activate(const RunningApplication &application) = 0;
    // Posts one press and release of the shortcut to whatever window has the keyboard focus;
    // false when the events could not be made.
    virtual bool postPasteKeystroke(PasteShortcut shortcut) = 0;
};

} // namespace corvane
