#pragma once

#include "common/timestamp.h"
#include "store/clipkind.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace corvane {

// What was on the clipboard at one moment (or what a note or snippet holds), ready to be
// recorded as a history item.
struct ClipCandidate
{
    ClipKind kind = ClipKind::text;
    // The text as UTF-8: a copied text of megabytes stays in the encoding it was copied and
    // is stored in, never held as a string of twice its size.
    std::optional<QByteArray> text;
    QString title;
    std::optional<QString> subtitle;
    std::optional<QByteArray> payload;
    std::optional<QByteArray> fileBookmark;
    std::int64_t byteCount = 0;
    std::optional<QString> sourceBundleID;
    std::optional<QString> sourceAppName;
    bool isConcealed = false;
    Timestamp capturedAt = distantPast;

    bool operator==(const ClipCandidate &) const = default;
};

} // namespace corvane
