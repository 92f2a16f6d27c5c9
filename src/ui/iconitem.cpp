#include "iconitem.h"

#include "iconimageprovider.h"

#include <QPainter>
#include <QPainterPath>
#include <QQuickWindow>

namespace corvane {

IconItem::IconItem(QQuickItem *parent)
    : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
    connect(this, &QQuickItem::widthChanged, this, [this] { m_image = {}; });
    connect(this, &QQuickItem::heightChanged, this, [this] { m_image = {}; });
}

void IconItem::setSource(const QString &source)
{
    if (source == m_source)
        return;
    m_source = source;
    m_image = {};
    update();
    Q_EMIT sourceChanged();
}

void IconItem::setRadius(qreal radius)
{
    if (qFuzzyCompare(radius, m_radius))
        return;
    m_radius = radius;
    update();
    Q_EMIT radiusChanged();
}

void IconItem::paint(QPainter *painter)
{
    if (m_source.isEmpty() || width() <= 0 || height() <= 0)
        return;
    const qreal ratio = window() ? window()->effectiveDevicePixelRatio() : 1.0;
    const QSize pixels = (size() * ratio).toSize();
    if (m_image.size() != pixels)
        m_image = IconImageProvider::iconImage(m_source, pixels);
    if (m_image.isNull())
        return;
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF bounds(QPointF(0, 0), size());
    if (m_radius > 0) {
        QPainterPath clip;
        clip.addRoundedRect(bounds, m_radius, m_radius);
        painter->setClipPath(clip);
    }
    painter->drawImage(bounds, m_image);
}

} // namespace corvane
