// The read side of the store: the filtered and searched history list and single look-ups.
#include "clipstore.h"
#include "common/graphemes.h"
#include "store/rowreading.h"

namespace corvane {

namespace {

using Value = SQLiteDatabase::Value;

// What the user typed, trimmed. A NUL would cut the bound text short inside SQLite and
// leave an unterminated FTS string behind, so it counts as a space.
QString trimmedSearch(const QString &search)
{
    QString cleaned = search;
    cleaned.replace(QChar(u'\0'), QLatin1Char(' '));
    return cleaned.trimmed();
}

std::vector<ClipItem> substringSearch(
    SQLiteDatabase &database, const ClipStore::Filter &filter, const QString &search)
{
    std::vector<Value> bindings;
    QString sql = QStringLiteral("SELECT items.* FROM items");
    if (filter.pinboardID) {
        sql += QStringLiteral(
            " JOIN pinboard_items pi ON pi.item_id = items.id AND pi.pinboard_id = ?");
        bindings.emplace_back(*filter.pinboardID);
    }
    sql += QStringLiteral("\nWHERE (items.title LIKE ? ESCAPE '\\'\n"
                          "   OR items.subtitle LIKE ? ESCAPE '\\'\n"
                          "   OR items.text LIKE ? ESCAPE '\\')");
    if (filter.onlyUnfiled)
        sql += QStringLiteral(" AND items.id NOT IN (SELECT item_id FROM pinboard_items)");
    sql += QStringLiteral("\nORDER BY items.created_at DESC LIMIT ?");
    const QString pattern = ClipStore::likePattern(search);
    bindings.insert(bindings.end(), { pattern, pattern, pattern });
    bindings.emplace_back(filter.limit);
    return rows::items(database.query(sql, bindings));
}

} // namespace

QString ClipStore::ftsQuery(const QString &search)
{
    QStringList phrases;
    for (QString piece : search.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        piece.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        phrases << QLatin1Char('"') + piece + QStringLiteral("\"*");
    }
    return phrases.join(QLatin1Char(' '));
}

QString ClipStore::likePattern(const QString &search)
{
    QString escaped = search;
    // The escape character itself goes first, or a typed backslash would swallow the
    // character after it and a search for a Windows path could never match.
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    escaped.replace(QLatin1Char('%'), QStringLiteral("\\%"));
    escaped.replace(QLatin1Char('_'), QStringLiteral("\\_"));
    return QLatin1Char('%') + escaped + QLatin1Char('%');
}

std::vector<ClipItem> ClipStore::items(const Filter &filter)
{
    return perform([&](SQLiteDatabase &database) {
        QString joins;
        QStringList conditions;
        std::vector<Value> bindings;

        if (filter.pinboardID) {
            joins += QStringLiteral(
                " JOIN pinboard_items pi ON pi.item_id = items.id AND pi.pinboard_id = ?");
            bindings.emplace_back(*filter.pinboardID);
        }
        if (!filter.kinds.empty()) {
            conditions << QStringLiteral("items.kind IN (")
                    + rows::placeholders(filter.kinds.size()) + QLatin1Char(')');
            for (ClipKind kind : filter.kinds)
                bindings.emplace_back(storedString(kind));
        }
        if (filter.onlyUnfiled)
            conditions << QStringLiteral("items.id NOT IN (SELECT item_id FROM pinboard_items)");
        if (!filter.sourceBundleIDs.empty()) {
            conditions << QStringLiteral("items.source_bundle_id IN (")
                    + rows::placeholders(filter.sourceBundleIDs.size()) + QLatin1Char(')');
            for (const QString &bundleID : filter.sourceBundleIDs)
                bindings.emplace_back(bundleID);
        }
        const QString search = trimmedSearch(filter.search);
        if (!search.isEmpty()) {
            joins += QStringLiteral(" JOIN items_fts ON items_fts.rowid = items.id");
            conditions << QStringLiteral("items_fts MATCH ?");
            bindings.emplace_back(ftsQuery(search));
        }

        QString sql = QStringLiteral("SELECT items.* FROM items") + joins;
        if (!conditions.isEmpty())
            sql += QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
        sql += filter.pinboardID ? QStringLiteral(" ORDER BY pi.sort_order, items.created_at DESC")
                                 : QStringLiteral(" ORDER BY items.created_at DESC");
        sql += QStringLiteral(" LIMIT ?");
        bindings.emplace_back(filter.limit);

        std::vector<ClipItem> found = rows::items(database.query(sql, bindings));
        // One typed character never scans the whole table; longer texts may match inside a
        // word, which the token index cannot see.
        if (found.empty() && graphemeCount(search) >= 2)
            return substringSearch(database, filter, search);
        return found;
    });
}

std::optional<ClipItem> ClipStore::item(std::int64_t id)
{
    return perform([&](SQLiteDatabase &database) {
        return rows::firstItem(
            database.query(QStringLiteral("SELECT * FROM items WHERE id = ?"), { id }));
    });
}

std::optional<ClipItem> ClipStore::itemWithFingerprint(const QString &fingerprint)
{
    return perform([&](SQLiteDatabase &database) {
        return rows::firstItem(database.query(
            QStringLiteral("SELECT * FROM items WHERE fingerprint = ?"), { fingerprint }));
    });
}

std::optional<ClipItem> ClipStore::itemWithTrigger(const QString &trigger)
{
    return perform([&](SQLiteDatabase &database) {
        return rows::firstItem(database.query(
            QStringLiteral("SELECT * FROM items WHERE trigger = ? LIMIT 1"), { trigger }));
    });
}

std::vector<ClipStore::SourceApp> ClipStore::sourceApps(std::int64_t maximumCount)
{
    return perform([&](SQLiteDatabase &database) {
        const auto found = database.query(
            QStringLiteral("SELECT source_bundle_id AS bundle_id,\n"
                           "       COALESCE(MAX(source_app_name), source_bundle_id) AS name,\n"
                           "       COUNT(*) AS item_count\n"
                           "FROM items\n"
                           "WHERE source_bundle_id IS NOT NULL AND source_bundle_id <> ''\n"
                           "GROUP BY source_bundle_id\n"
                           "ORDER BY item_count DESC, name\n"
                           "LIMIT ?"),
            { maximumCount });
        std::vector<SourceApp> apps;
        apps.reserve(found.size());
        for (const SQLiteDatabase::Row &row : found)
            apps.push_back(SourceApp::fromRow(row));
        return apps;
    });
}

ClipStore::Statistics ClipStore::statistics()
{
    return perform([&](SQLiteDatabase &database) {
        const auto found = database.query(
            QStringLiteral("SELECT COUNT(*) AS c, COALESCE(SUM(byte_count), 0) AS b FROM items"));
        return Statistics { rows::firstInteger(found, QStringLiteral("c"), 0),
            rows::firstInteger(found, QStringLiteral("b"), 0) };
    });
}

} // namespace corvane
