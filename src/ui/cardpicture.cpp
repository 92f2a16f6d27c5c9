#include "cardpicture.h"

#include "blobimageprovider.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPointer>
#include <QThreadPool>

namespace corvane {

namespace {

// One decode at a time: each may briefly hold a large picture's rows.
QThreadPool &decodePool()
{
    static QThreadPool pool;
    pool.setMaxThreadCount(1);
    return pool;
}

} // namespace

CardPicture::CardPicture(QQuickItem *parent)
    : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
}

void CardPicture::setBlobFolder(const QString &folder)
{
    if (folder == m_blobFolder)
        return;
    m_blobFolder = folder;
    Q_EMIT blobFolderChanged();
    load();
}

void CardPicture::setBlobName(const QString &name)
{
    if (name == m_blobName)
        return;
    m_blobName = name;
    Q_EMIT blobNameChanged();
    load();
}

void CardPicture::load()
{
    const int generation = ++m_generation;
    const bool wasReady = isReady();
    const bool hadFailed = m_failed;
    m_image = {};
    m_failed = false;
    if (wasReady || hadFailed)
        Q_EMIT statusChanged();
    update();
    // Without a size yet the picture is decoded once the item has one.
    if (m_blobFolder.isEmpty() || m_blobName.isEmpty() || width() <= 0 || height() <= 0)
        return;
    // The card's size at two pixels per point, so the picture stays sharp on dense screens.
    const QSize size(qMax(1, int(width() * 2)), qMax(1, int(height() * 2)));
    QPointer<CardPicture> self(this);
    decodePool().start([self, generation, folder = m_blobFolder, name = m_blobName, size] {
        QImage image = BlobImageProvider::decode(folder, name, size);
        QMetaObject::invokeMethod(
            qApp,
            [self, generation, image = std::move(image)] {
                if (!self || self->m_generation != generation)
                    return;
                self->m_image = image;
                self->m_failed = image.isNull();
                Q_EMIT self->statusChanged();
                self->update();
            },
            Qt::QueuedConnection);
    });
}

void CardPicture::geometryChange(const QRectF &newGeometry, const QRectF &oldGeometry)
{
    QQuickPaintedItem::geometryChange(newGeometry, oldGeometry);
    if (newGeometry.size() != oldGeometry.size())
        load();
}

void CardPicture::paint(QPainter *painter)
{
    if (m_image.isNull())
        return;
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    // Fill the item, cropping the picture's overflow around its centre.
    const QSizeF target = size();
    QSizeF source = target.scaled(m_image.size(), Qt::KeepAspectRatio);
    const QRectF sourceRect(
        QPointF((m_image.width() - source.width()) / 2, (m_image.height() - source.height()) / 2),
        source);
    painter->drawImage(QRectF(QPointF(0, 0), target), m_image, sourceRect);
}

} // namespace corvane
