#include "viewwindow.h"

#include "iconimageprovider.h"

#include <QLoggingCategory>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>

namespace corvane {

ViewWindow::ViewWindow(
    QString title, QString qmlFile, QVariantMap initialProperties, const QLoggingCategory &category)
    : m_title(std::move(title))
    , m_qmlFile(std::move(qmlFile))
    , m_initialProperties(std::move(initialProperties))
    , m_category(category)
{ }

ViewWindow::~ViewWindow()
{
    // The view goes before the window it lives in, and both before the engine.
    delete m_view;
    m_window.reset();
}

QQuickItem *ViewWindow::view() const
{
    return qobject_cast<QQuickItem *>(m_view.data());
}

bool ViewWindow::build()
{
    if (m_window)
        return true;
    m_engine = std::make_unique<QQmlEngine>();
    m_engine->addImportPath(QStringLiteral("qrc:/qt/qml"));
    m_engine->addImageProvider(QStringLiteral("corvane-icon"), new IconImageProvider);
    QQmlComponent component(
        m_engine.get(), QUrl(QStringLiteral("qrc:/qt/qml/Corvane/Ui/") + m_qmlFile));
    QObject *object = component.isReady()
        ? component.createWithInitialProperties(m_initialProperties)
        : nullptr;
    auto *item = qobject_cast<QQuickItem *>(object);
    if (!item) {
        qCCritical(m_category).noquote()
            << "Could not build the window" << m_title << ":" << component.errorString();
        delete object;
        return false;
    }
    QQmlEngine::setObjectOwnership(item, QQmlEngine::CppOwnership);
    m_view = item;
    m_window = std::make_unique<QQuickWindow>();
    m_window->setTitle(m_title);
    m_window->resize(int(item->implicitWidth()), int(item->implicitHeight()));
    item->setParentItem(m_window->contentItem());
    item->setSize(m_window->size());
    QObject::connect(
        m_window.get(), &QWindow::widthChanged, item, [item](int w) { item->setWidth(w); });
    QObject::connect(
        m_window.get(), &QWindow::heightChanged, item, [item](int h) { item->setHeight(h); });
    return true;
}

void ViewWindow::present()
{
    m_window->show();
    m_window->raise();
    m_window->requestActivate();
}

void ViewWindow::releaseView()
{
    delete m_view;
    if (m_window)
        m_window->releaseResources();
}

} // namespace corvane
