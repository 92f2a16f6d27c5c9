#include "onestatementquery.h"

#include "common/graphemes.h"
#include "store/schema.h"

namespace corvane {

namespace {

QString trimmedSearch(const ClipStore::Filter &filter)
{
    QString search = filter.search;
    search.replace(QChar(u'\0'), QLatin1Char(' '));
    return search.trimmed();
}

QString marks(std::size_t count)
{
    QStringList made;
    for (std::size_t i = 0; i < count; ++i)
        made << QStringLiteral("?");
    return made.join(QLatin1Char(','));
}

// Every column of the matching rows; with a text byte limit, only the start of each text, as
// much as the store reads for the same filter, so that the two read the same bytes.
QString selectedColumns(const ClipStore::Filter &filter)
{
    if (filter.textByteLimit <= 0)
        return QStringLiteral("SELECT items.* FROM items");
    return QStringLiteral("SELECT items.id, items.kind, "
                          "CAST(substr(CAST(items.text AS BLOB), 1, %1) AS TEXT) AS text, "
                          "items.title, items.subtitle, items.blob_name, items.file_bookmark, "
                          "items.byte_count, items.source_bundle_id, items.source_app_name, "
                          "items.created_at, items.last_used_at, items.fingerprint, "
                          "items.trigger FROM items")
        .arg(filter.textByteLimit + 1);
}

} // namespace

OneStatementQuery OneStatementQuery::indexed(const ClipStore::Filter &filter)
{
    OneStatementQuery query;
    QString joins;
    QStringList conditions;
    if (filter.pinboardID) {
        joins += QStringLiteral(
            " JOIN pinboard_items pi ON pi.item_id = items.id AND pi.pinboard_id = ?");
        query.bindings.emplace_back(*filter.pinboardID);
    }
    if (!filter.kinds.empty()) {
        conditions << QStringLiteral("items.kind IN (") + marks(filter.kinds.size())
                + QLatin1Char(')');
        for (ClipKind kind : filter.kinds)
            query.bindings.emplace_back(storedString(kind));
    }
    if (filter.onlyUnfiled)
        conditions << QStringLiteral("items.id NOT IN (SELECT item_id FROM pinboard_items)");
    if (!filter.sourceBundleIDs.empty()) {
        conditions << QStringLiteral("items.source_bundle_id IN (")
                + marks(filter.sourceBundleIDs.size()) + QLatin1Char(')');
        for (const QString &bundleID : filter.sourceBundleIDs)
            query.bindings.emplace_back(bundleID);
    }
    const QString search = trimmedSearch(filter);
    if (!search.isEmpty()) {
        // An item matches by its own words or by the words read in its image.
        conditions << QStringLiteral(
            "(items.id IN (SELECT rowid FROM items_fts WHERE items_fts MATCH ?)\n"
            " OR items.id IN (SELECT rowid FROM image_texts_fts WHERE image_texts_fts MATCH ?))");
        query.bindings.emplace_back(ClipStore::ftsQuery(search));
        query.bindings.emplace_back(ClipStore::ftsQuery(search));
    }
    query.sql = selectedColumns(filter) + joins;
    if (!conditions.isEmpty())
        query.sql += QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
    query.sql += filter.pinboardID
        ? QStringLiteral(" ORDER BY pi.sort_order, items.created_at DESC")
        : QStringLiteral(" ORDER BY items.created_at DESC");
    query.sql += QStringLiteral(" LIMIT ?");
    query.bindings.emplace_back(filter.limit);
    return query;
}

std::optional<OneStatementQuery> OneStatementQuery::substring(const ClipStore::Filter &filter)
{
    const QString search = trimmedSearch(filter);
    if (graphemeCount(search) < 2)
        return std::nullopt;
    OneStatementQuery query;
    query.sql = selectedColumns(filter);
    if (filter.pinboardID) {
        query.sql += QStringLiteral(
            " JOIN pinboard_items pi ON pi.item_id = items.id AND pi.pinboard_id = ?");
        query.bindings.emplace_back(*filter.pinboardID);
    }
    // In the parts of titles and texts that the search indexes hold.
    query.sql += QStringLiteral("\nWHERE (%1 LIKE ? ESCAPE '\\'\n"
                                "   OR items.subtitle LIKE ? ESCAPE '\\'\n"
                                "   OR %2 LIKE ? ESCAPE '\\'\n"
                                "   OR items.id IN (SELECT item_id FROM image_texts\n"
                                "                   WHERE text LIKE ? ESCAPE '\\'))")
                     .arg(searchedPart(QStringLiteral("items.title")),
                         searchedPart(QStringLiteral("items.text")));
    if (filter.onlyUnfiled)
        query.sql += QStringLiteral(" AND items.id NOT IN (SELECT item_id FROM pinboard_items)");
    query.sql += QStringLiteral("\nORDER BY items.created_at DESC LIMIT ?");
    const QString pattern = ClipStore::likePattern(search);
    query.bindings.insert(query.bindings.end(), { pattern, pattern, pattern, pattern });
    query.bindings.emplace_back(filter.limit);
    return query;
}

} // namespace corvane
