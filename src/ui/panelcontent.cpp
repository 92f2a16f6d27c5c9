#include "panelcontent.h"

#include "common/logging.h"
#include "panel/historymodel.h"

#include <QKeyEvent>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>

void qml_register_types_Corvane_Ui();

namespace corvane {

PanelContent::PanelContent(
    QQmlEngine &engine, HistoryModel &model, const QString &blobFolder, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
    , m_model(model)
{
    Q_UNUSED(blobFolder)
    qml_register_types_Corvane_Ui();
}

QQuickItem *PanelContent::create(QQuickItem *parentItem)
{
    QQmlComponent component(
        &m_engine, QUrl(QStringLiteral("qrc:/qt/qml/Corvane/Ui/HistoryPanelView.qml")));
    QObject *object = component.createWithInitialProperties(
        { { QStringLiteral("model"), QVariant::fromValue(&m_model) } });
    m_root = qobject_cast<QQuickItem *>(object);
    if (!m_root) {
        qCCritical(lcHistory) << "Could not build the history panel:" << component.errorString();
        delete object;
        return nullptr;
    }
    m_root->setParentItem(parentItem);
    m_root->setParent(parentItem);
    if (parentItem->window())
        parentItem->window()->installEventFilter(this);
    return m_root;
}

void PanelContent::focusSearch()
{
    if (m_root)
        m_root->forceActiveFocus();
}

bool PanelContent::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Escape && onDismiss) {
            onDismiss();
            return true;
        }
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            m_model.paste();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace corvane
