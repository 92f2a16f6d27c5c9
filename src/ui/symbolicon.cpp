#include "symbolicon.h"

#include "iconimageprovider.h"

#include <QPainter>
#include <QQuickWindow>

namespace corvane {

SymbolIcon::SymbolIcon(QQuickItem *parent)
    : QQuickPaintedItem(parent)
{
    connect(this, &QQuickItem::widthChanged, this, [this] { m_image = {}; });
    connect(this, &QQuickItem::heightChanged, this, [this] { m_image = {}; });
}

void SymbolIcon::setSymbol(const QString &symbol)
{
    if (symbol == m_symbol)
        return;
    m_symbol = symbol;
    m_image = {};
    update();
    Q_EMIT symbolChanged();
}

void SymbolIcon::setColor(const QColor &color)
{
    if (color == m_color)
        return;
    m_color = color;
    m_image = {};
    update();
    Q_EMIT colorChanged();
}

void SymbolIcon::paint(QPainter *painter)
{
    if (m_symbol.isEmpty() || width() <= 0 || height() <= 0)
        return;
    const qreal ratio = window() ? window()->effectiveDevicePixelRatio() : 1.0;
    const QSize pixels = (size() * ratio).toSize();
    if (m_image.size() != pixels)
        m_image = IconImageProvider::symbolImage(m_symbol, m_color, pixels);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->drawImage(QRectF(QPointF(0, 0), size()), m_image);
}

} // namespace corvane
