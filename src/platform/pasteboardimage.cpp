#include "pasteboardimage.h"

#include "platform/pasteboardtypes.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

namespace corvane {

std::optional<PasteboardImage> decodePasteboardImage(const QByteArray &data, const QString &type)
{
    QByteArray bytes = data;
    QBuffer input(&bytes);
    input.open(QIODevice::ReadOnly);

    if (type == pasteboardtype::png()) {
        QImageReader reader(&input, "png");
        // The size comes from the header, so a large screenshot is not decoded just to be
        // measured; the bytes are stored exactly as the owner offered them. Bytes without a
        // PNG's signature are turned down before the decoder sees them, which would print a
        // complaint about them on the terminal.
        if (!reader.canRead())
            return std::nullopt;
        const QSize size = reader.size();
        if (!size.isValid() || size.isEmpty())
            return std::nullopt;
        return PasteboardImage { data, size };
    }

    if (type == pasteboardtype::tiff()) {
        QImageReader reader(&input, "tiff");
        // A few kilobytes of TIFF may unpack to gigabytes; larger images are not taken.
        reader.setAllocationLimit(decodedImageLimitMegabytes);
        const QImage image = reader.read();
        if (image.isNull())
            return std::nullopt;
        QByteArray png;
        QBuffer output(&png);
        output.open(QIODevice::WriteOnly);
        QImageWriter writer(&output, "png");
        if (!writer.write(image))
            return std::nullopt;
        return PasteboardImage { png, image.size() };
    }
    return std::nullopt;
}

} // namespace corvane
