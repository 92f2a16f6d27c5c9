#include "panelcontent.h"

#include "blobimageprovider.h"
#include "iconimageprovider.h"
#include "panel/historymodel.h"

#include <QLoggingCategory>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(Corvane_UiPlugin)

namespace corvane {

Q_LOGGING_CATEGORY(lcPanelView, "com.ferrowen.corvane.panel")

namespace {

const QString blobProvider = QStringLiteral("corvane-blob");
const QString iconProvider = QStringLiteral("corvane-icon");

} // namespace

PanelContent::PanelContent(
    QQmlEngine &engine, HistoryModel &model, const QString &blobFolder, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
    , m_model(model)
    , m_blobFolder(blobFolder)
{
    // Where the module's static plugin finds its files; older Qt versions do not look there.
    engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
    // The engine owns its providers; a second panel over the same engine keeps the first's.
    if (!engine.imageProvider(blobProvider))
        engine.addImageProvider(blobProvider, new BlobImageProvider(blobFolder));
    if (!engine.imageProvider(iconProvider))
        engine.addImageProvider(iconProvider, new IconImageProvider);
}

PanelContent::~PanelContent() = default;

QQuickItem *PanelContent::create(QQuickItem *parentItem)
{
    QQmlComponent component(
        &m_engine, QUrl(QStringLiteral("qrc:/qt/qml/Corvane/Ui/HistoryPanelView.qml")));
    if (component.isError()) {
        qCCritical(lcPanelView).noquote()
            << "Could not load the panel view:" << component.errorString();
        return nullptr;
    }
    QObject *object = component.createWithInitialProperties(
        { { QStringLiteral("model"), QVariant::fromValue(&m_model) },
            { QStringLiteral("panel"), QVariant::fromValue(this) } });
    auto *item = qobject_cast<QQuickItem *>(object);
    if (!item) {
        qCCritical(lcPanelView).noquote()
            << "Could not create the panel view:" << component.errorString();
        delete object;
        return nullptr;
    }
    QQmlEngine::setObjectOwnership(item, QQmlEngine::CppOwnership);
    item->setParent(parentItem);
    item->setParentItem(parentItem);
    if (parentItem) {
        item->setSize(parentItem->size());
        connect(parentItem, &QQuickItem::widthChanged, item,
            [item, parentItem] { item->setWidth(parentItem->width()); });
        connect(parentItem, &QQuickItem::heightChanged, item,
            [item, parentItem] { item->setHeight(parentItem->height()); });
    }
    return item;
}

void PanelContent::focusSearch()
{
    Q_EMIT focusSearchRequested();
}

void PanelContent::dismiss()
{
    if (onDismiss)
        onDismiss();
}

} // namespace corvane
