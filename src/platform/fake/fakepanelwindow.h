#pragma once

#include "panel/panelwindow.h"

namespace corvane {

// A panel window that only keeps its state: built, shown, focused, where, and how often it
// rendered unseen. The test moves the pointer and the focus.
class FakePanelWindow final : public PanelWindow
{
public:
    void build() override { built = true; }
    bool isBuilt() const override { return built; }
    bool isVisible() const override { return visible; }
    void renderInvisibly(const QRect &frame) override
    {
        placed = frame;
        ++invisibleRenders;
    }
    void present(const QRect &frame) override
    {
        placed = frame;
        visible = true;
        focused = true;
    }
    void orderOut() override
    {
        visible = false;
        focused = false;
    }
    QRect frame() const override { return placed; }
    bool hasKeyboardFocus() const override { return focused; }
    std::optional<QRect> availableGeometry() const override { return screen; }
    QPoint pointerPosition() const override { return pointer; }

    // The focus goes to another window, as a click elsewhere would do.
    void loseFocus()
    {
        focused = false;
        if (onResignKey)
            onResignKey();
    }

    bool built = false;
    bool visible = false;
    bool focused = false;
    int invisibleRenders = 0;
    QRect placed;
    std::optional<QRect> screen = QRect(0, 0, 1920, 1050);
    QPoint pointer;
};

} // namespace corvane
