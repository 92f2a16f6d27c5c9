#pragma once

#include <QPoint>
#include <QRect>

#include <functional>
#include <optional>

namespace corvane {

// The history panel's window as the panel controller sees it: a borderless strip above
// every other window that takes the keyboard when shown and is never destroyed. The desktop
// shell implements it; tests use a fake.
class PanelWindow
{
public:
    virtual ~PanelWindow();

    // Builds the window and its content without showing it; does nothing when built.
    virtual void build() = 0;
    virtual bool isBuilt() const = 0;
    // Whether the window is on screen (mapped), whatever has the focus.
    virtual bool isVisible() const = 0;
    // Maps the built window fully transparent at frame, renders one frame and unmaps it, so
    // the first real presentation finds its layout, scene and glyphs ready.
    virtual void renderInvisibly(const QRect &frame) = 0;
    // Places the window at frame, shows it above the others and gives it the keyboard focus.
    virtual void present(const QRect &frame) = 0;
    // Takes the window off the screen; nothing else changes.
    virtual void orderOut() = 0;
    virtual QRect frame() const = 0;
    // Whether the window holds the keyboard focus now.
    virtual bool hasKeyboardFocus() const = 0;

    // The area of the screen under the pointer not covered by the desktop's panels and
    // docks; nothing when no screen is known.
    virtual std::optional<QRect> availableGeometry() const = 0;
    // Where the pointer is, in the same coordinates as the frames.
    virtual QPoint pointerPosition() const = 0;

    // Called when the shown window loses the keyboard focus (another window was clicked,
    // or a shortcut moved the focus).
    std::function<void()> onResignKey;
    // Called when the content asks to hide the panel (Escape).
    std::function<void()> onDismissRequested;
};

} // namespace corvane
