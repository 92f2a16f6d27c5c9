#include "pinboard.h"

namespace corvane {

namespace {

std::int64_t integerOr(const SQLiteDatabase::Row &row, const QString &column, std::int64_t fallback)
{
    const std::int64_t *value = integerValue(row, column);
    return value ? *value : fallback;
}

QString textOrEmpty(const SQLiteDatabase::Row &row, const QString &column)
{
    const QString *value = textValue(row, column);
    return value ? *value : QString();
}

} // namespace

Pinboard Pinboard::fromRow(const SQLiteDatabase::Row &row)
{
    Pinboard pinboard;
    pinboard.id = integerOr(row, QStringLiteral("id"), 0);
    pinboard.name = textOrEmpty(row, QStringLiteral("name"));
    pinboard.colorIndex = integerOr(row, QStringLiteral("color_index"), 0);
    pinboard.sortOrder = integerOr(row, QStringLiteral("sort_order"), 0);
    if (const std::int64_t *created = integerValue(row, QStringLiteral("created_at")))
        pinboard.createdAt = fromMillis(*created);
    pinboard.itemCount = integerOr(row, QStringLiteral("item_count"), 0);
    return pinboard;
}

SourceApp SourceApp::fromRow(const SQLiteDatabase::Row &row)
{
    return SourceApp { textOrEmpty(row, QStringLiteral("bundle_id")),
        textOrEmpty(row, QStringLiteral("name")), integerOr(row, QStringLiteral("item_count"), 0) };
}

} // namespace corvane
