#include "settingswindow.h"

#include "app/loginitem.h"
#include "iconimageprovider.h"

#include <QLoggingCategory>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>

namespace corvane {

Q_LOGGING_CATEGORY(lcSettings, "com.ferrowen.corvane.settings")

SettingsWindow::SettingsWindow(const SettingsActions::Context &context, QObject *parent)
    : QObject(parent)
    , m_actions(std::make_unique<SettingsActions>(context))
{ }

SettingsWindow::~SettingsWindow()
{
    // The view goes before the window it lives in, and both before the engine.
    delete m_view;
    m_window.reset();
}

bool SettingsWindow::build()
{
    if (m_window)
        return true;
    m_engine = std::make_unique<QQmlEngine>();
    m_engine->addImportPath(QStringLiteral("qrc:/qt/qml"));
    m_engine->addImageProvider(QStringLiteral("corvane-icon"), new IconImageProvider);
    QQmlComponent component(
        m_engine.get(), QUrl(QStringLiteral("qrc:/qt/qml/Corvane/Ui/SettingsView.qml")));
    if (!component.isReady()) {
        qCCritical(lcSettings).noquote()
            << "Could not load the settings window:" << component.errorString();
        return false;
    }
    QObject *object = component.createWithInitialProperties(
        { { QStringLiteral("actions"), QVariant::fromValue(m_actions.get()) } });
    auto *item = qobject_cast<QQuickItem *>(object);
    if (!item) {
        qCCritical(lcSettings).noquote()
            << "Could not load the settings window:" << component.errorString();
        delete object;
        return false;
    }
    QQmlEngine::setObjectOwnership(item, QQmlEngine::CppOwnership);
    m_view = item;
    m_window = std::make_unique<QQuickWindow>();
    m_window->setTitle(QStringLiteral("Corvane Settings"));
    const QSize size(int(item->implicitWidth()), int(item->implicitHeight()));
    m_window->resize(size);
    m_window->setMinimumSize(QSize(size.width(), 420));
    item->setParentItem(m_window->contentItem());
    item->setSize(m_window->size());
    connect(m_window.get(), &QWindow::widthChanged, item, [item](int w) { item->setWidth(w); });
    connect(m_window.get(), &QWindow::heightChanged, item, [item](int h) { item->setHeight(h); });
    // The login state is the session's, changed outside too; read it while the window shows.
    connect(m_window.get(), &QWindow::activeChanged, this, [this] {
        if (m_window->isActive() && m_actions->loginItem())
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
    m_window->show();
    m_window->raise();
    m_window->requestActivate();
    return true;
}

void SettingsWindow::releaseView()
{
    delete m_view;
    if (m_window)
        m_window->releaseResources();
}

void SettingsWindow::showPane(int index)
{
    if (m_view)
        m_view->setProperty("currentIndex", index);
}

} // namespace corvane
