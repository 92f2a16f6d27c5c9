#pragma once

#include <QObject>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

namespace corvane {

// The panel's drag state shared by its tabs: the pinboard tab being dragged to reorder, and
// the tab highlighted under a card drag (-1 for the Clipboard tab). Absent is null.
class TabDragState : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QVariant draggedPinboardID READ draggedPinboardID WRITE setDraggedPinboardID NOTIFY
            draggedPinboardIDChanged)
    Q_PROPERTY(QVariant dropTargetPinboardID READ dropTargetPinboardID WRITE setDropTargetPinboardID
            NOTIFY dropTargetPinboardIDChanged)
    Q_PROPERTY(QString itemMarkerType READ itemMarkerType CONSTANT)
    Q_PROPERTY(QString pinboardMarkerType READ pinboardMarkerType CONSTANT)

public:
    using QObject::QObject;

    QVariant draggedPinboardID() const { return m_draggedPinboardID; }
    void setDraggedPinboardID(const QVariant &id);
    QVariant dropTargetPinboardID() const { return m_dropTargetPinboardID; }
    void setDropTargetPinboardID(const QVariant &id);
    static QString itemMarkerType();
    static QString pinboardMarkerType();

Q_SIGNALS:
    void draggedPinboardIDChanged();
    void dropTargetPinboardIDChanged();

private:
    QVariant m_draggedPinboardID;
    QVariant m_dropTargetPinboardID;
};

} // namespace corvane
