#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace corvane {

class AppServices;
class Workspace;

// The tray icon's menu: opens the panel, pastes one of the most recent items, clears the
// history after asking, and leads to the settings, the update check, feedback and quitting.
// The icon shows while the preferences ask for it; the menu follows the history and the
// number of recent items wanted.
class TrayMenu : public QObject
{
    Q_OBJECT

public:
    // The references must outlive the menu.
    TrayMenu(AppServices &services, Workspace &workspace, QObject *parent = nullptr);
    ~TrayMenu() override;

    // Asks whether to clear the history; true for "Clear". A modal alert unless replaced.
    std::function<bool()> confirmClear;
    // The entries that lead elsewhere; "Send Feedback…" is disabled while onSendFeedback is
    // empty when the menu is rebuilt.
    std::function<void()> onOpenSettings;
    std::function<void()> onSendFeedback;
    std::function<void()> onQuit;

    QMenu *menu() const { return m_menu.get(); }
    QSystemTrayIcon *icon() const { return m_icon.get(); }
    // The recent items' entries, top to bottom.
    QList<QAction *> recentItemActions() const { return m_recentActions; }
    // Clears the history if confirmClear agrees; the pinboards' items stay.
    void clearHistory();

    // The alert shown by default.
    static bool askToClear();

private:
    void rebuild();
    void updateVisibility();

    AppServices &m_services;
    Workspace &m_workspace;
    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<QSystemTrayIcon> m_icon;
    QList<QAction *> m_recentActions;
    bool m_reportedMissingTray = false;
};

} // namespace corvane
