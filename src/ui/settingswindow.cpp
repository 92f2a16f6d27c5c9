#include "settingswindow.h"

#include "app/loginitem.h"
#include "common/logging.h"

#include <QQuickItem>
#include <QQuickWindow>

namespace corvane {

SettingsWindow::SettingsWindow(const SettingsActions::Context &context, QObject *parent)
    : QObject(parent)
    , m_actions(std::make_unique<SettingsActions>(context))
    , m_window(QStringLiteral("Corvane Settings"), QStringLiteral("SettingsView.qml"),
          { { QStringLiteral("actions"), QVariant::fromValue(m_actions.get()) } }, lcSettings())
{ }

SettingsWindow::~SettingsWindow() = default;

bool SettingsWindow::build()
{
    if (m_window.window())
        return true;
    if (!m_window.build())
        return false;
    QQuickWindow *window = m_window.window();
    window->setMinimumSize(QSize(window->width(), 420));
    // The login state is the session's, changed outside too; read it while the window shows.
    connect(window, &QWindow::activeChanged, this, [this, window] {
        if (window->isActive() && m_actions->loginItem())
            m_actions->loginItem()->reload();
    });
    return true;
}

bool SettingsWindow::open()
{
    if (!build())
        return false;
    if (m_actions->loginItem())
        m_actions->loginItem()->reload();
    m_actions->refreshStatistics();
    m_window.present();
    return true;
}

void SettingsWindow::releaseView()
{
    m_window.releaseView();
}

void SettingsWindow::showPane(int index)
{
    if (QQuickItem *view = m_window.view())
        view->setProperty("currentIndex", index);
}

} // namespace corvane
