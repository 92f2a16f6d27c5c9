#include "carddrag.h"

#include "panel/dragitemprovider.h"

#include <QDrag>
#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QQuickItem>
#include <QQuickWindow>

namespace corvane {

namespace {

// The drag image: a stack of up to three cards at 70 % scale, with the number of dragged
// items in a round badge when there are several.
QPixmap dragPixmap(int count, qreal devicePixelRatio)
{
    const QSizeF card(232 * 0.7, 208 * 0.7);
    const int layers = std::min(count, 3);
    const qreal step = 6;
    const QSize size(int(card.width() + step * (layers - 1) + 12),
        int(card.height() + step * (layers - 1) + 12));
    QPixmap pixmap(size * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int layer = layers - 1; layer >= 0; --layer) {
        const QRectF rect(QPointF(step * layer, 12 + step * (layers - 1 - layer)), card);
        painter.setPen(QPen(QColor(0, 0, 0, 40), 1));
        painter.setBrush(QColor(255, 255, 255, 235));
        painter.drawRoundedRect(rect, 12 * 0.7, 12 * 0.7);
    }
    if (count > 1) {
        const QRectF badge(size.width() - 24, 0, 22, 22);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor::fromRgbF(0.11f, 0.45f, 0.94f));
        painter.drawEllipse(badge);
        QFont font = painter.font();
        font.setPixelSize(11);
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(badge, Qt::AlignCenter, QString::number(count));
    }
    return pixmap;
}

} // namespace

void CardDrag::startCard(QQuickItem *source, qint64 itemID)
{
    if (!m_model || !source)
        return;
    const std::optional<ClipItem> item = m_model->itemWithID(itemID);
    if (!item)
        return;
    DragItemProvider provider = m_model->beginDrag(*item);
    const int count = std::max<int>(1, static_cast<int>(m_model->draggedItemIDs().size()));
    auto *drag = new QDrag(source);
    drag->setMimeData(provider.mimeData.release());
    const qreal ratio = source->window() ? source->window()->devicePixelRatio() : 1.0;
    drag->setPixmap(dragPixmap(count, ratio));
    drag->setHotSpot(QPoint(30, 30));
    drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
    drag->deleteLater();
}

void CardDrag::startPinboard(QQuickItem *source, qint64 pinboardID)
{
    if (!m_model || !source)
        return;
    if (m_state)
        m_state->setDraggedPinboardID(pinboardID);
    auto *mime = new QMimeData;
    mime->setData(pinboardMarkerType(), QByteArray::number(pinboardID));
    auto *drag = new QDrag(source);
    drag->setMimeData(mime);
    drag->exec(Qt::MoveAction, Qt::MoveAction);
    drag->deleteLater();
    // A drop outside every tab never reaches a tab's handler.
    if (m_state)
        m_state->setDraggedPinboardID({});
}

} // namespace corvane
