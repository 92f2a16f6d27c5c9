#pragma once

#include "platform/pastekeystrokeposter.h"

#include <QByteArray>

struct _XDisplay;

namespace corvane {

// The paste keystroke on X11: Ctrl+V (Ctrl+Shift+V for terminals) synthesised through the
// XTest extension, and activation through the window manager's _NET_ACTIVE_WINDOW.
class X11PasteKeystrokePoster : public PasteKeystrokePoster
{
public:
    // Opens its own connection to the display; without one every operation fails.
    explicit X11PasteKeystrokePoster(const QByteArray &displayName);
    ~X11PasteKeystrokePoster() override;

    X11PasteKeystrokePoster(const X11PasteKeystrokePoster &) = delete;
    X11PasteKeystrokePoster &operator=(const X11PasteKeystrokePoster &) = delete;

    // Whether the display offers XTest, without which no keystroke can be posted.
    bool hasXTest() const { return m_hasXTest; }

    // Activates the application's remembered window while the window manager still lists
    // it, else the topmost window whose WM_CLASS instance or class equals the application's
    // identifier, or its last dot-separated part, ignoring case.
    bool activate(const RunningApplication &application) override;
    bool postPasteKeystroke(PasteShortcut shortcut) override;

private:
    _XDisplay *m_display = nullptr;
    bool m_hasXTest = false;
};

} // namespace corvane
