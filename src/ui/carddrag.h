#pragma once

#include "panel/historymodel.h"
#include "ui/tabdragstate.h"

#include <QObject>
#include <QQuickItem>
#include <QtQml/qqmlregistration.h>

namespace corvane {

// Runs the platform drags the panel starts: a card (with every marked card when it is
// marked) carrying what the model's beginDrag gives, and a pinboard tab carrying the
// pinboard marker. Both return when the drag is over.
class CardDrag : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(corvane::HistoryModel *model MEMBER m_model)
    Q_PROPERTY(corvane::TabDragState *dragState MEMBER m_state)

public:
    using QObject::QObject;

    Q_INVOKABLE void startCard(QQuickItem *source, qint64 itemID);
    Q_INVOKABLE void startPinboard(QQuickItem *source, qint64 pinboardID);

private:
    HistoryModel *m_model = nullptr;
    TabDragState *m_state = nullptr;
};

} // namespace corvane
