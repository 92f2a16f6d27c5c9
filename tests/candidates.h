#pragma once

#include "common/timestamp.h"
#include "store/clipcandidate.h"
#include "store/itemtitle.h"

#include <QByteArray>
#include <QString>

namespace corvane::test {

// A text candidate as capture builds it, made at `when`.
inline ClipCandidate textCandidate(const QString &text, Timestamp when = now())
{
    ClipCandidate candidate;
    candidate.kind = ClipKind::text;
    candidate.text = text.toUtf8();
    const ItemTitle title = titleOfText(text);
    candidate.title = title.title;
    candidate.subtitle = title.subtitle;
    candidate.byteCount = candidate.text->size();
    candidate.capturedAt = when;
    return candidate;
}

// An image candidate holding these bytes as its payload, made at `when`.
inline ClipCandidate imageCandidate(const QByteArray &payload, Timestamp when = now(),
    const QString &title = QStringLiteral("2 × 2"))
{
    ClipCandidate candidate;
    candidate.kind = ClipKind::image;
    candidate.title = title;
    candidate.payload = payload;
    candidate.byteCount = payload.size();
    candidate.capturedAt = when;
    return candidate;
}

} // namespace corvane::test
