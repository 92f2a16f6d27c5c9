#include "tabdragstate.h"

#include "panel/dragitemprovider.h"

namespace corvane {

namespace {

QVariant normalised(const QVariant &id)
{
    if (!id.isValid() || id.isNull())
        return {};
    bool ok = false;
    const qint64 value = id.toLongLong(&ok);
    return ok ? QVariant::fromValue(value) : QVariant();
}

} // namespace

void TabDragState::setDraggedPinboardID(const QVariant &id)
{
    const QVariant value = normalised(id);
    if (value == m_draggedPinboardID)
        return;
    m_draggedPinboardID = value;
    Q_EMIT draggedPinboardIDChanged();
}

void TabDragState::setDropTargetPinboardID(const QVariant &id)
{
    const QVariant value = normalised(id);
    if (value == m_dropTargetPinboardID)
        return;
    m_dropTargetPinboardID = value;
    Q_EMIT dropTargetPinboardIDChanged();
}

QString TabDragState::itemMarkerType()
{
    return corvane::itemMarkerType();
}

QString TabDragState::pinboardMarkerType()
{
    return corvane::pinboardMarkerType();
}

} // namespace corvane
