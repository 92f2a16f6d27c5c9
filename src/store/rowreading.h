#pragma once

#include "store/clipitem.h"
#include "store/sqlitedatabase.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// Small helpers the store's operations share for binding optional values and reading rows.
namespace corvane::rows {

inline SQLiteDatabase::Value textOrNull(const std::optional<QString> &text)
{
    if (text)
        return *text;
    return std::monostate();
}

inline SQLiteDatabase::Value utf8TextOrNull(const std::optional<QByteArray> &text)
{
    if (text)
        return Utf8Text { *text };
    return std::monostate();
}

inline SQLiteDatabase::Value blobOrNull(const std::optional<QByteArray> &bytes)
{
    if (bytes)
        return *bytes;
    return std::monostate();
}

inline std::vector<ClipItem> items(const std::vector<SQLiteDatabase::Row> &rows)
{
    std::vector<ClipItem> result;
    result.reserve(rows.size());
    for (const SQLiteDatabase::Row &row : rows)
        result.push_back(ClipItem::fromRow(row));
    return result;
}

inline std::optional<ClipItem> firstItem(const std::vector<SQLiteDatabase::Row> &rows)
{
    if (rows.empty())
        return std::nullopt;
    return ClipItem::fromRow(rows.front());
}

// The integer in column of the first row, or fallback when there is none.
inline std::int64_t firstInteger(
    const std::vector<SQLiteDatabase::Row> &rows, const QString &column, std::int64_t fallback)
{
    if (rows.empty())
        return fallback;
    const std::int64_t *value = integerValue(rows.front(), column);
    return value ? *value : fallback;
}

// "?,?,?" with one parameter per value.
inline QString placeholders(std::size_t count)
{
    QStringList marks;
    marks.reserve(qsizetype(count));
    for (std::size_t i = 0; i < count; ++i)
        marks << QStringLiteral("?");
    return marks.join(QLatin1Char(','));
}

} // namespace corvane::rows
