#pragma once

#include "common/timestamp.h"
#include "store/clipkind.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <optional>

namespace corvane {

// What was on the clipboard at one moment, ready to be recorded as a history item.
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

// The URL a text names when it is a web, FTP or mail link: no white space, a scheme among
// http, https, ftp and mailto, and a host unless it is mailto. Otherwise nothing.
std::optional<QUrl> recognizeLink(const QString &text);

// "#" and the digits as typed when the trimmed text is "#" followed by 3, 6 or 8
// hexadecimal digits (full-width digits count too). Otherwise nothing.
std::optional<QString> recognizeColor(const QString &text);

} // namespace corvane
