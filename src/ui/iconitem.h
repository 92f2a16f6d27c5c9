#pragma once

#include <QImage>
#include <QQuickPaintedItem>
#include <QtQml/qqmlregistration.h>

namespace corvane {

// An application's icon ("app/<application id>", from its desktop entry) or a file type's
// ("mime/<icon name>", from the icon theme, else our file symbol), optionally clipped to a
// rounded rectangle. Nothing is drawn when there is no such icon.
class IconItem : public QQuickPaintedItem
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString source READ source WRITE setSource NOTIFY sourceChanged)
    Q_PROPERTY(qreal radius READ radius WRITE setRadius NOTIFY radiusChanged)

public:
    explicit IconItem(QQuickItem *parent = nullptr);

    QString source() const { return m_source; }
    void setSource(const QString &source);
    qreal radius() const { return m_radius; }
    void setRadius(qreal radius);

    void paint(QPainter *painter) override;

Q_SIGNALS:
    void sourceChanged();
    void radiusChanged();

private:
    QString m_source;
    qreal m_radius = 0;
    QImage m_image;
};

} // namespace corvane
