#include "tabdropdelegate.h"

#include "panel/dragitemprovider.h"

namespace corvane {

namespace {

bool isPresent(const QVariant &value)
{
    return value.isValid() && !value.isNull();
}

} // namespace

bool TabDropDelegate::isCardDrag(const QStringList &formats) const
{
    if (m_model && !m_model->draggedItemIDs().empty())
        return true;
    const bool tabDragged = m_state && isPresent(m_state->draggedPinboardID());
    return !tabDragged && formats.contains(itemMarkerType());
}

bool TabDropDelegate::isShown() const
{
    if (!m_model)
        return false;
    const std::optional<qint64> shown = m_model->selectedPinboardID();
    if (!isPresent(m_boardID))
        return !shown.has_value();
    return shown && *shown == m_boardID.toLongLong();
}

bool TabDropDelegate::accepts(const QStringList &formats) const
{
    if (!m_model)
        return false;
    if (isCardDrag(formats))
        return !isShown();
    const bool tabDragged = m_state && isPresent(m_state->draggedPinboardID());
    return tabDragged && isPresent(m_destinationIndex);
}

bool TabDropDelegate::enter(const QStringList &formats)
{
    if (!accepts(formats))
        return false;
    if (isCardDrag(formats)) {
        if (m_state)
            m_state->setDropTargetPinboardID(
                isPresent(m_boardID) ? m_boardID : QVariant::fromValue(qint64(-1)));
        return true;
    }
    const qint64 dragged = m_state->draggedPinboardID().toLongLong();
    const int destination = m_destinationIndex.toInt();
    if (m_model->indexOfPinboard(dragged) != destination)
        m_model->movePinboard(dragged, destination);
    return true;
}

void TabDropDelegate::exit()
{
    if (m_state)
        m_state->setDropTargetPinboardID({});
}

bool TabDropDelegate::perform(const QStringList &formats)
{
    if (!m_model)
        return false;
    const bool accepted = accepts(formats);
    const bool cardDrag = isCardDrag(formats);
    exit();
    if (!accepted)
        return false;
    if (!cardDrag) {
        m_state->setDraggedPinboardID({});
        return true;
    }
    return m_model->dropDraggedItemsOnto(m_boardID);
}

} // namespace corvane
