#pragma once

#include "settingsactions.h"
#include "viewwindow.h"

#include <QObject>

#include <memory>

namespace corvane {

// The settings window: a Qt Quick window with the six panes, built the first time it is
// asked for and kept afterwards; asking again brings it forward.
class SettingsWindow : public QObject
{
    Q_OBJECT

public:
    // The context's references must outlive the window.
    explicit SettingsWindow(const SettingsActions::Context &context, QObject *parent = nullptr);
    ~SettingsWindow() override;

    // Builds the window if needed, shows it, raises it and gives it the focus; false (with
    // the QML errors logged) when the view cannot be built.
    bool open();
    // Selects a pane by its position (General is 0, About 5).
    void showPane(int index);
    // Drops the view and asks the window to hand back its textures, which it does on its
    // next frame; the window stays until destruction.
    void releaseView();

    QQuickWindow *window() const { return m_window.window(); }
    SettingsActions &actions() const { return *m_actions; }

private:
    bool build();

    std::unique_ptr<SettingsActions> m_actions;
    ViewWindow m_window;
};

} // namespace corvane
