#pragma once

#include <QQuickAsyncImageProvider>
#include <QThreadPool>

namespace corvane {

// Serves "image://corvane-blob/<blob name>": an image card's picture decoded from its payload
// file, scaled to the size the card asks for, on a worker thread. The full-size picture is
// never kept. A name that is not a payload name, a missing file or undecodable data give an
// empty image (the card then shows its placeholder).
class BlobImageProvider : public QQuickAsyncImageProvider
{
public:
    explicit BlobImageProvider(const QString &blobFolder);

    QQuickImageResponse *requestImageResponse(
        const QString &id, const QSize &requestedSize) override;

    // Reads folder/name and decodes it to fit within size (never larger than the picture).
    static QImage decode(const QString &blobFolder, const QString &name, const QSize &size);

private:
    QString m_blobFolder;
    // One decode at a time: each may briefly hold a large picture's full size.
    QThreadPool m_pool;
};

} // namespace corvane
