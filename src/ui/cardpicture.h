#pragma once

#include <QImage>
#include <QQuickPaintedItem>
#include <QtQml/qqmlregistration.h>

namespace corvane {

// An image card's picture: the payload file decoded on a worker thread, scaled to fill the
// item (cropping what overflows), never holding the full-size picture. `failed` turns true
// when the payload is missing or cannot be decoded, so the card shows its placeholder.
class CardPicture : public QQuickPaintedItem
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString blobFolder READ blobFolder WRITE setBlobFolder NOTIFY blobFolderChanged)
    Q_PROPERTY(QString blobName READ blobName WRITE setBlobName NOTIFY blobNameChanged)
    Q_PROPERTY(bool ready READ isReady NOTIFY statusChanged)
    Q_PROPERTY(bool failed READ hasFailed NOTIFY statusChanged)

public:
    explicit CardPicture(QQuickItem *parent = nullptr);

    QString blobFolder() const { return m_blobFolder; }
    void setBlobFolder(const QString &folder);
    QString blobName() const { return m_blobName; }
    void setBlobName(const QString &name);
    bool isReady() const { return !m_image.isNull(); }
    bool hasFailed() const { return m_failed; }

    void paint(QPainter *painter) override;

protected:
    void geometryChange(const QRectF &newGeometry, const QRectF &oldGeometry) override;

Q_SIGNALS:
    void blobFolderChanged();
    void blobNameChanged();
    void statusChanged();

private:
    void load();

    QString m_blobFolder;
    QString m_blobName;
    QImage m_image;
    bool m_failed = false;
    // Answers of earlier loads (a reused card got a new picture meanwhile) are dropped.
    int m_generation = 0;
};

} // namespace corvane
