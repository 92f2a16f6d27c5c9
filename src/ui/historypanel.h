#pragma once

#include "panel/panelwindow.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class QQmlEngine;
class QQuickWindow;

namespace corvane {

class HistoryModel;
class PanelContent;
class WindowManager;

// The history panel's window on the desktop: a frameless Qt Quick window kept above every
// other window and on every workspace, outside the task bar, taking the keyboard when it is
// shown. It is built once and only ever shown and hidden afterwards.
class HistoryPanel : public QObject, public PanelWindow
{
    Q_OBJECT

public:
    // How long the window manager gets to hand the shown panel the focus before the panel
    // takes it itself, and then the pause between looks at whether it has it.
    static constexpr int focusGraceMs = 150;
    // How many times the shown panel looks for the focus before it gives up.
    static constexpr int focusChecks = 10;

    // The references must outlive the panel.
    HistoryPanel(HistoryModel &model, QString blobFolder, WindowManager &windowManager,
        QObject *parent = nullptr);
    ~HistoryPanel() override;

    void build() override;
    bool isBuilt() const override { return m_window != nullptr; }
    bool isVisible() const override;
    void renderInvisibly(const QRect &frame) override;
    void present(const QRect &frame) override;
    void orderOut() override;
    QRect frame() const override;
    bool hasKeyboardFocus() const override;
    std::optional<QRect> availableGeometry() const override;
    QPoint pointerPosition() const override;

    // The window, once built (for screenshots and benchmarks).
    QQuickWindow *window() const { return m_window.get(); }

private:
    void place(const QRect &frame);
    void takeFocus();
    void checkFocus();
    void activeChanged();

    HistoryModel &m_model;
    QString m_blobFolder;
    WindowManager &m_windowManager;
    std::unique_ptr<QQmlEngine> m_engine;
    std::unique_ptr<QQuickWindow> m_window;
    std::unique_ptr<PanelContent> m_content;
    // Whether the shown panel has had the focus since it was presented, so that losing it
    // means the user went elsewhere (and not that it never arrived).
    bool m_hadFocus = false;
    bool m_awaitingFocus = false;
    bool m_awaitingFirstFrame = false;
    QTimer m_focusCheck;
    int m_focusChecksLeft = 0;
};

} // namespace corvane
