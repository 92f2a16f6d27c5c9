#pragma once

#include "store/clipitem.h"

#include <QMimeData>
#include <QString>

#include <memory>
#include <optional>

namespace corvane {

// What a card carries when it is dragged out of the panel: the representations other
// applications read, and the file name a drop that saves it as a file should use.
struct DragItemProvider
{
    std::unique_ptr<QMimeData> mimeData = std::make_unique<QMimeData>();
    QString suggestedName;
};

// The type that marks a drag as one of the panel's cards; its data are the decimal digits
// of the grabbed item's id.
QString itemMarkerType();
// The type of a dragged pinboard tab; its data are the pinboard id's decimal digits.
QString pinboardMarkerType();

// The provider for a drag of one item: its text, link, image (written to a fresh file in
// the drag folder) or file, plus the item marker. Nothing when the item's data are gone:
// no text, no payload, the file moved away, or the image file could not be written.
std::optional<DragItemProvider> dragItemProvider(
    const ClipItem &item, const std::optional<QByteArray> &payload);

// The suggested file name of a text or colour drag: separators become spaces, at most 40
// characters, "Clipping" when nothing is left, then ".txt".
QString textDragFileName(const QString &title);

// "Drags" in the process's temporary folder, where image drags write their files.
QString dragFolder();

// Deletes the drag folder and everything in it; a failure is ignored.
void clearDragFolder();

} // namespace corvane
