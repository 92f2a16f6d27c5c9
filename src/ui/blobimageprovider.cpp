#include "blobimageprovider.h"

#include "platform/pasteboardimage.h"
#include "store/blobfiles.h"

#include <QDir>
#include <QImageReader>
#include <QPointer>
#include <QRunnable>

#include <utility>

namespace corvane {

namespace {

class BlobImageResponse : public QQuickImageResponse, public QRunnable
{
public:
    BlobImageResponse(QString folder, QString name, QSize size)
        : m_folder(std::move(folder))
        , m_name(std::move(name))
        , m_size(size)
    {
        setAutoDelete(false);
    }

    void run() override
    {
        m_image = BlobImageProvider::decode(m_folder, m_name, m_size);
        if (m_image.isNull())
            m_error = QStringLiteral("The picture could not be read");
        Q_EMIT finished();
    }

    // An error, rather than an empty picture, lets the card show its placeholder.
    QString errorString() const override { return m_error; }

    QQuickTextureFactory *textureFactory() const override
    {
        // Handed over, not kept: the engine's loader thread deletes responses late.
        return QQuickTextureFactory::textureFactoryForImage(std::exchange(m_image, QImage()));
    }

private:
    QString m_folder;
    QString m_name;
    QSize m_size;
    mutable QImage m_image;
    QString m_error;
};

} // namespace

BlobImageProvider::BlobImageProvider(const QString &blobFolder)
    : m_blobFolder(blobFolder)
{
    m_pool.setMaxThreadCount(1);
}

QQuickImageResponse *BlobImageProvider::requestImageResponse(
    const QString &id, const QSize &requestedSize)
{
    auto *response = new BlobImageResponse(m_blobFolder, id, requestedSize);
    m_pool.start(response);
    return response;
}

QImage BlobImageProvider::decode(const QString &blobFolder, const QString &name, const QSize &size)
{
    if (!isBlobName(name))
        return {};
    QImageReader reader(QDir(blobFolder).filePath(name));
    reader.setAutoTransform(true);
    // Readers that cannot scale while decoding decode the whole image first: one too large
    // for the limit is shown without its preview.
    reader.setAllocationLimit(decodedImageLimitMegabytes);
    const QSize full = reader.size();
    if (full.isValid() && size.isValid() && !size.isEmpty()
        && (full.width() > size.width() || full.height() > size.height())) {
        // Fill the requested size (the card crops), keeping the aspect ratio.
        reader.setScaledSize(full.scaled(size, Qt::KeepAspectRatioByExpanding));
    }
    QImage image = reader.read();
    if (image.isNull())
        return {};
    return image;
}

} // namespace corvane
