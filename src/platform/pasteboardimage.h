#pragma once

#include "platform/pasteboardsnapshot.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace corvane {

// The image in clipboard bytes of type "image/png" or "image/tiff". PNG bytes are kept as
// they are and only their header is read for the size; TIFF is decoded and re-encoded as
// PNG. Nothing when the bytes are not a readable image of that type. Safe on any thread.
std::optional<PasteboardImage> decodePasteboardImage(const QByteArray &data, const QString &type);

} // namespace corvane
