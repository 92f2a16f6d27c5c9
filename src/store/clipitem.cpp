#include "clipitem.h"

#include "common/graphemes.h"

#include <QCryptographicHash>

namespace corvane {

namespace {

std::optional<QString> optionalText(const SQLiteDatabase::Row &row, const QString &column)
{
    const QString *value = textValue(row, column);
    return value ? std::optional<QString>(*value) : std::nullopt;
}

Timestamp timestamp(const SQLiteDatabase::Row &row, const QString &column)
{
    const std::int64_t *value = integerValue(row, column);
    return value ? fromMillis(*value) : distantPast;
}

} // namespace

ClipItem ClipItem::fromRow(const SQLiteDatabase::Row &row)
{
    ClipItem item;
    if (const std::int64_t *id = integerValue(row, QStringLiteral("id")))
        item.id = *id;
    if (const QString *kind = textValue(row, QStringLiteral("kind")))
        item.kind = clipKindFromStoredString(*kind);
    item.text = optionalText(row, QStringLiteral("text"));
    item.title = optionalText(row, QStringLiteral("title")).value_or(QString());
    item.subtitle = optionalText(row, QStringLiteral("subtitle"));
    item.blobName = optionalText(row, QStringLiteral("blob_name"));
    if (const QByteArray *bookmark = blobValue(row, QStringLiteral("file_bookmark")))
        item.fileBookmark = *bookmark;
    if (const std::int64_t *byteCount = integerValue(row, QStringLiteral("byte_count")))
        item.byteCount = *byteCount;
    item.sourceBundleID = optionalText(row, QStringLiteral("source_bundle_id"));
    item.sourceAppName = optionalText(row, QStringLiteral("source_app_name"));
    item.createdAt = timestamp(row, QStringLiteral("created_at"));
    item.lastUsedAt = timestamp(row, QStringLiteral("last_used_at"));
    item.fingerprint = optionalText(row, QStringLiteral("fingerprint")).value_or(QString());
    item.trigger = optionalText(row, QStringLiteral("trigger"));
    return item;
}

QString ClipItem::summary(qsizetype limit) const
{
    QString line = title;
    if (subtitle)
        line += QStringLiteral(" — ") + *subtitle;
    line = line.simplified();
    if (graphemeCount(line) <= limit)
        return line;
    return leftGraphemes(line, limit).trimmed() + QStringLiteral("…");
}

QString fingerprint(
    ClipKind kind, const std::optional<QString> &text, const std::optional<QByteArray> &payload)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(storedString(kind).toUtf8());
    if (text)
        hash.addData(text->toUtf8());
    if (payload)
        hash.addData(*payload);
    return QString::fromLatin1(hash.result().toHex());
}

} // namespace corvane
