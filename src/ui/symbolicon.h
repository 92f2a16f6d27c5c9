#pragma once

#include <QColor>
#include <QImage>
#include <QQuickPaintedItem>
#include <QtQml/qqmlregistration.h>

namespace corvane {

// One of the panel's symbols ("magnifyingglass", "clock", "plus"...) drawn in a colour: the
// icon theme's symbol where a theme is set up, else our own drawing of it.
class SymbolIcon : public QQuickPaintedItem
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString symbol READ symbol WRITE setSymbol NOTIFY symbolChanged)
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged)

public:
    explicit SymbolIcon(QQuickItem *parent = nullptr);

    QString symbol() const { return m_symbol; }
    void setSymbol(const QString &symbol);
    QColor color() const { return m_color; }
    void setColor(const QColor &color);

    void paint(QPainter *painter) override;

Q_SIGNALS:
    void symbolChanged();
    void colorChanged();

private:
    QString m_symbol;
    QColor m_color = Qt::black;
    QImage m_image;
};

} // namespace corvane
