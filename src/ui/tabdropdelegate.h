#pragma once

#include "panel/historymodel.h"
#include "ui/tabdragstate.h"

#include <QObject>
#include <QStringList>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

namespace corvane {

// The drop handler of one tab. The Clipboard tab (no board id) files dropped cards off their
// pinboard; a pinboard tab files them onto its pinboard and, while another pinboard tab is
// dragged across it, takes that tab's place. The tab shown refuses cards. Each function takes
// the formats the drag offers.
class TabDropDelegate : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(corvane::HistoryModel *model MEMBER m_model)
    Q_PROPERTY(corvane::TabDragState *dragState MEMBER m_state)
    Q_PROPERTY(QVariant boardID MEMBER m_boardID)
    Q_PROPERTY(QVariant destinationIndex MEMBER m_destinationIndex)

public:
    using QObject::QObject;

    // Whether the drag is a card drag: cards are recorded as dragged, or no tab is dragged
    // and the drag carries the item marker.
    Q_INVOKABLE bool isCardDrag(const QStringList &formats) const;
    // Whether this tab takes the drop (a move) rather than forbidding it.
    Q_INVOKABLE bool accepts(const QStringList &formats) const;
    // The drag entered the tab: highlights it for cards, moves a dragged tab here. Answers
    // accepts.
    Q_INVOKABLE bool enter(const QStringList &formats);
    Q_INVOKABLE void exit();
    // The drop: files the dragged cards, or ends a tab drag; false when nothing was done.
    Q_INVOKABLE bool perform(const QStringList &formats);

private:
    bool isShown() const;

    HistoryModel *m_model = nullptr;
    TabDragState *m_state = nullptr;
    QVariant m_boardID;
    QVariant m_destinationIndex;
};

} // namespace corvane
