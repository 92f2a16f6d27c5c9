#pragma once

#include "platform/pasteboardsnapshot.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace corvane {

// The most memory one decoded image may take (megabytes, 32 bits a pixel): 24 million
// pixels, a 6K screen. Larger images are not decoded, so a small file that unpacks to
// gigabytes cannot take the memory of the application.
inline constexpr int decodedImageLimitMegabytes = 96;

// The image in clipboard bytes of type "image/png" or "image/tiff". PNG bytes are kept as
// they are and only their header is read for the size; TIFF is decoded and re-encoded as
// PNG (within decodedImageLimitMegabytes). Nothing when the bytes are not a readable image
// of that type. Safe on any thread.
std::optional<PasteboardImage> decodePasteboardImage(const QByteArray &data, const QString &type);

} // namespace corvane
