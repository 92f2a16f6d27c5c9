#pragma once

#include "common/timestamp.h"
#include "store/clipkind.h"
#include "store/sqlitedatabase.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace corvane {

// One stored history item. Its identity in lists and selections is `id`.
struct ClipItem
{
    std::int64_t id = 0;
    ClipKind kind = ClipKind::text;
    std::optional<QString> text;
    QString title;
    std::optional<QString> subtitle;
    std::optional<QString> blobName;
    std::optional<QByteArray> fileBookmark;
    std::int64_t byteCount = 0;
    std::optional<QString> sourceBundleID;
    std::optional<QString> sourceAppName;
    Timestamp createdAt = distantPast;
    Timestamp lastUsedAt = distantPast;
    bool isConcealed = false;
    QString fingerprint;
    std::optional<QString> trigger;
    // Not a column: the words read in an image, given by searches that found it through them.
    std::optional<QString> recognizedText;
    // Not a column: the text is only its start, cut where a list asked (item(id) reads it
    // whole). Whatever writes the text somewhere must read the item whole first.
    bool isTextPartial = false;

    bool operator==(const ClipItem &) const = default;

    // Reads an item from a row of `items`; a missing or mistyped column gives its default.
    static ClipItem fromRow(const SQLiteDatabase::Row &row);

    // Every row of a statement selecting the columns of `items`, read as fromRow reads them
    // but straight from the statement: the columns are found once, not per row. Room for
    // expectedRows items is made up front. With a textByteLimit, a text of more UTF-8 bytes
    // is cut to its whole characters within them and marked partial.
    static std::vector<ClipItem> readAll(SQLiteDatabase &database, const QString &sql,
        const std::vector<SQLiteDatabase::Value> &bindings, std::size_t expectedRows = 0,
        qsizetype textByteLimit = 0);

    // The columns of `items` for readAll with a textByteLimit. A text whose row says it is
    // longer (its byte count) is left out of the statement, which would load it whole to cut
    // its start (32 MB for a 32 MB text, whatever substr keeps), and readAll reads its start
    // by itself; `text_type` tells such a text from a row without one.
    static QString listedColumns(qsizetype textByteLimit);

    // Like readAll, but passes over the rows whose id skip accepts, without building them,
    // and stops stepping once it has limit items.
    static std::vector<ClipItem> readAllSkipping(SQLiteDatabase &database, const QString &sql,
        const std::vector<SQLiteDatabase::Value> &bindings,
        const std::function<bool(std::int64_t id)> &skip, std::size_t limit,
        qsizetype textByteLimit = 0);

    // The title, and " — subtitle" when there is one, on one line: white space runs become
    // single spaces, and text over `limit` characters is cut and ends in "…".
    QString summary(qsizetype limit) const;
};

// The content fingerprint: SHA-256 over the kind's stored string, then the text's UTF-8
// bytes, then the payload, as 64 lowercase hexadecimal digits. Nothing else takes part. The
// text counts up to its first NUL, where the stored text ends, so that two copies stored
// alike are one item.
QString fingerprint(
    ClipKind kind, const std::optional<QString> &text, const std::optional<QByteArray> &payload);

// The same fingerprint of a text already encoded as UTF-8.
QString fingerprintOfUtf8(ClipKind kind, const std::optional<QByteArray> &utf8Text,
    const std::optional<QByteArray> &payload);

} // namespace corvane
