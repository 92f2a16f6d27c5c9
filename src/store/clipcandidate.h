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
    std::optional<QString> text;
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
