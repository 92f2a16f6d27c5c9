#include "taskbarentry.h"

#include "app/installedfiles.h"
#include "preferences/preferences.h"

#include <QIcon>
#include <QRasterWindow>
#include <QTimer>

namespace corvane {

TaskbarEntry::TaskbarEntry(Preferences &preferences, QObject *parent)
    : QObject(parent)
    , m_preferences(preferences)
{
    connect(&preferences, &Preferences::showsDockIconChanged, this, &TaskbarEntry::update);
    update();
}

TaskbarEntry::~TaskbarEntry() = default;

bool TaskbarEntry::isShown() const
{
    return m_window && m_window->isVisible();
}

void TaskbarEntry::update()
{
    if (!m_preferences.showsDockIcon()) {
        m_window.reset();
        return;
    }
    if (m_window)
        return;
    m_window = std::make_unique<QRasterWindow>();
    m_window->setTitle(QStringLiteral("Corvane"));
    const QString icon
        = installedDataFile(QStringLiteral("icons/hicolor/scalable/apps/com.ferrowen.corvane.svg"));
    m_window->setIcon(QIcon::fromTheme(QStringLiteral("com.ferrowen.corvane"),
        icon.isEmpty() ? QIcon(QStringLiteral(":/qt/qml/Corvane/Ui/icons/clipboard.svg"))
                       : QIcon(icon)));
    m_window->resize(1, 1);
    connect(m_window.get(), &QWindow::windowStateChanged, this, [this](Qt::WindowState state) {
        if (state != Qt::WindowMinimized)
            activated();
    });
    connect(m_window.get(), &QWindow::activeChanged, this, [this] {
        if (m_window && m_window->isActive())
            activated();
    });
    m_window->showMinimized();
}

void TaskbarEntry::activated()
{
    if (onActivate)
        onActivate();
    // Later, so the window manager has finished restoring before it is minimised again.
    QTimer::singleShot(0, this, [this] {
        if (m_window)
            m_window->showMinimized();
    });
}

} // namespace corvane
