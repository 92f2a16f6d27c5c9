#include "traymenu.h"

#include "app/appservices.h"
#include "app/installedfiles.h"
#include "app/updater.h"
#include "common/logging.h"
#include "panel/historymodel.h"
#include "panel/panelcontroller.h"
#include "platform/workspace.h"
#include "preferences/preferences.h"
#include "store/clipstore.h"

#include <QAction>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSystemTrayIcon>

namespace corvane {

namespace {

constexpr qsizetype summaryLength = 52;

QIcon applicationIcon()
{
    const QString installed
        = installedDataFile(QStringLiteral("icons/hicolor/scalable/apps/com.ferrowen.corvane.svg"));
    const QIcon fallback(installed.isEmpty()
            ? QStringLiteral(":/qt/qml/Corvane/Ui/icons/clipboard.svg")
            : installed);
    return QIcon::fromTheme(QStringLiteral("com.ferrowen.corvane"), fallback);
}

} // namespace

TrayMenu::TrayMenu(AppServices &services, Workspace &workspace, QObject *parent)
    : QObject(parent)
    , confirmClear(&TrayMenu::askToClear)
    , m_services(services)
    , m_workspace(workspace)
    , m_menu(std::make_unique<QMenu>())
    , m_icon(std::make_unique<QSystemTrayIcon>(applicationIcon()))
{
    m_icon->setToolTip(QStringLiteral("Corvane"));
    m_icon->setContextMenu(m_menu.get());
    connect(&services.model(), &HistoryModel::itemsChanged, this, &TrayMenu::rebuild);
    // The model reloads on its own only while the panel shows; copies made meanwhile must
    // still be offered, so the menu asks for a reload as it opens (which rebuilds it).
    connect(m_menu.get(), &QMenu::aboutToShow, this, [this] {
        m_services.model().reload();
        rebuild();
    });
    connect(
        &services.preferences(), &Preferences::menuBarRecentCountChanged, this, &TrayMenu::rebuild);
    connect(&services.preferences(), &Preferences::showsMenuBarIconChanged, this,
        &TrayMenu::updateVisibility);
    connect(&services.updater(), &Updater::canCheckForUpdatesChanged, this, &TrayMenu::rebuild);
    // A left click opens the menu too: some trays only send activations.
    connect(m_icon.get(), &QSystemTrayIcon::activated, this,
        [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger)
                m_menu->popup(QCursor::pos());
        });
    rebuild();
    updateVisibility();
}

TrayMenu::~TrayMenu()
{
    m_icon->hide();
}

void TrayMenu::rebuild()
{
    m_menu->clear();
    m_recentActions.clear();
    QAction *open = m_menu->addAction(
        QStringLiteral("Open Corvane"), this, [this] { m_services.panelController().show(); });
    open->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+V")));

    const std::vector<ClipItem> &items = m_services.model().items();
    const auto count = std::min<std::size_t>(
        items.size(), std::size_t(std::max(0, m_services.preferences().menuBarRecentCount())));
    if (count > 0)
        m_menu->addSeparator();
    for (std::size_t index = 0; index < count; ++index) {
        const ClipItem item = items[index];
        QAction *action = m_menu->addAction(item.summary(summaryLength));
        connect(action, &QAction::triggered, this, [this, item] {
            m_services.model().setPasteTarget(m_workspace.frontmostApplication());
            m_services.model().paste(item);
        });
        m_recentActions << action;
    }
    m_menu->addSeparator();
    m_menu->addAction(QStringLiteral("Clear History"), this, &TrayMenu::clearHistory);
    m_menu->addSeparator();
    QAction *settings = m_menu->addAction(QStringLiteral("Settings…"), this, [this] {
        if (onOpenSettings)
            onOpenSettings();
    });
    settings->setShortcut(QKeySequence(QStringLiteral("Ctrl+,")));
    QAction *update = m_menu->addAction(
        QStringLiteral("Check for Updates…"), &m_services.updater(), &Updater::checkForUpdates);
    update->setEnabled(m_services.updater().canCheckForUpdates());
    QAction *feedback = m_menu->addAction(QStringLiteral("Send Feedback…"), this, [this] {
        if (onSendFeedback)
            onSendFeedback();
    });
    // Without a form to open, the entry says so by being disabled.
    feedback->setEnabled(bool(onSendFeedback));
    m_menu->addSeparator();
    QAction *quit = m_menu->addAction(QStringLiteral("Quit Corvane"), this, [this] {
        if (onQuit)
            onQuit();
    });
    quit->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
}

void TrayMenu::updateVisibility()
{
    const bool wanted = m_services.preferences().showsMenuBarIcon();
    if (wanted && !QSystemTrayIcon::isSystemTrayAvailable() && !m_reportedMissingTray) {
        m_reportedMissingTray = true;
        qCInfo(lcLaunch,
            "No system tray on this desktop: Corvane stays reachable through its hot key, "
            "by starting it again, and with corvane --settings");
    }
    m_icon->setVisible(wanted);
}

void TrayMenu::clearHistory()
{
    if (!confirmClear || !confirmClear())
        return;
    try {
        m_services.store().clearHistory();
    } catch (const std::exception &) {
        // A failed clear leaves the history as it was; the reload shows what is stored.
    }
    m_services.model().reload();
}

bool TrayMenu::askToClear()
{
    QMessageBox alert(QMessageBox::Warning, QStringLiteral("Corvane"),
        QStringLiteral("Clear clipboard history?"));
    alert.setInformativeText(
        QStringLiteral("Items on a pinboard are kept. Everything else is deleted permanently."));
    QPushButton *clear = alert.addButton(QStringLiteral("Clear"), QMessageBox::AcceptRole);
    alert.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    alert.setDefaultButton(clear);
    alert.exec();
    return alert.clickedButton() == clear;
}

} // namespace corvane
