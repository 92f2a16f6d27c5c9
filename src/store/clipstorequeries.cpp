// The read side of the store: the filtered and searched history list and single look-ups.
#include "clipstore.h"
#include "common/graphemes.h"
#include "store/rowreading.h"

#include <algorithm>
#include <cmath>

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

// Room to make for a list of at most limit items: growing the list moves every item each
// time, which costs more than reading them on long lists.
std::size_t expectedRows(std::int64_t limit)
{
    return std::size_t(std::clamp<std::int64_t>(limit, 0, 1000));
}

// The parts of the history statement that restrict and order it, without the search.
struct Selection
{
    QString joins;
    QStringList conditions;
    std::vector<Value> bindings;
    QString order;
};

// The rows with these ids, in the order of the ids.
std::vector<ClipItem> rowsInOrder(SQLiteDatabase &database, const std::vector<Value> &ranked)
{
    if (ranked.empty())
        return {};
    std::vector<ClipItem> found = ClipItem::readAll(database,
        QStringLiteral("SELECT items.* FROM items WHERE items.id IN (")
            + rows::placeholders(ranked.size()) + QLatin1Char(')'),
        ranked, ranked.size());
    QHash<std::int64_t, qsizetype> rank;
    rank.reserve(qsizetype(ranked.size()));
    for (std::size_t i = 0; i < ranked.size(); ++i)
        rank.insert(std::get<std::int64_t>(ranked[i]), qsizetype(i));
    std::sort(found.begin(), found.end(), [&](const ClipItem &left, const ClipItem &right) {
        return rank.value(left.id) < rank.value(right.id);
    });
    return found;
}

// The matching rows, newest first (or in the pinboard's order), of the selection further
// restricted to the rows a search index lists for one MATCH expression. The rows and their
// order are those of the plain join of the index; only the plan differs, chosen by how many
// rows the index lists. Either way only ids go through the ordering: a candidate may be a text
// of megabytes, and sorting whole rows copies every one of them. The rows kept are read last.
//
// Few candidates: the rows with those ids are ranked through the dates index alone. Many: the
// selection is walked in its order, each row tested against the candidates, and the walk
// stops at the limit. Sorting tens of thousands of whole rows to keep 300 was what made a
// one-letter search slow; handing tens of thousands of ids to SQLite as an IN table was what
// made it slow on a million items, so the walk tests them here, in a sorted list.
std::vector<ClipItem> candidateSearch(SQLiteDatabase &database, const Selection &selection,
    const QString &index, const QString &match, std::int64_t limit)
{
    if (limit == 0)
        return {};
    // The index hands out its rows in id order, so the list comes sorted; reading ids from
    // it is cheap (about 50 ns each), far cheaper than anything SQLite builds from them.
    std::vector<std::int64_t> candidates;
    database.forEachRow(
        QStringLiteral("SELECT rowid FROM %1 WHERE %1 MATCH ? ORDER BY rowid").arg(index),
        { match }, [&](const SQLiteDatabase::Cursor &cursor) {
            candidates.push_back(cursor.cell(0).integer);
        });
    if (candidates.empty())
        return {};

    // A walk visits about rows × limit / candidates entries, ranking costs a look-up per
    // candidate; they cost the same near the square root of rows × limit (measured: a
    // look-up costs about eight walked entries).
    const std::int64_t rows = rows::firstInteger(
        database.query(QStringLiteral("SELECT COALESCE(MAX(id), 0) AS m FROM items")),
        QStringLiteral("m"), 0);
    const std::int64_t wanted = limit < 0 ? rows : limit;
    const auto threshold = std::int64_t(
        std::max(256.0, std::sqrt(double(rows) * double(std::max<std::int64_t>(wanted, 1)) / 8)));

    QString where;
    std::vector<Value> bindings = selection.bindings;
    std::vector<Value> ranked;
    // Ranking binds every candidate, and SQLite takes at most 32,766 parameters.
    constexpr std::size_t maximumRanked = 30000;
    if (std::int64_t(candidates.size()) > threshold || candidates.size() > maximumRanked) {
        if (!selection.conditions.isEmpty())
            where = QStringLiteral(" WHERE ") + selection.conditions.join(QStringLiteral(" AND "));
        database.forEachRowWhile(QStringLiteral("SELECT items.id FROM items") + selection.joins
                + where + selection.order,
            bindings, [&](const SQLiteDatabase::Cursor &cursor) {
                const std::int64_t id = cursor.cell(0).integer;
                if (std::binary_search(candidates.begin(), candidates.end(), id))
                    ranked.emplace_back(id);
                return limit < 0 || std::int64_t(ranked.size()) < limit;
            });
        return rowsInOrder(database, ranked);
    }

    QStringList conditions = selection.conditions;
    conditions << QStringLiteral("items.id IN (") + rows::placeholders(candidates.size())
            + QLatin1Char(')');
    bindings.insert(bindings.end(), candidates.begin(), candidates.end());
    bindings.emplace_back(limit);
    // The dates come from their own index, not from the rows.
    database.forEachRow(QStringLiteral("SELECT items.id FROM items INDEXED BY items_dates")
            + selection.joins + QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "))
            + selection.order + QStringLiteral(" LIMIT ?"),
        bindings,
        [&](const SQLiteDatabase::Cursor &cursor) { ranked.emplace_back(cursor.cell(0).integer); });
    return rowsInOrder(database, ranked);
}

// The trigram index expression that every text containing search (compared as LIKE does,
// ignoring ASCII case) matches: its distinct three-character sequences, all required.
// Nothing for a search shorter than three characters, which no trigram can narrow.
std::optional<QString> trigramQuery(const QString &search)
{
    const QList<uint> scalars = search.toUcs4();
    if (scalars.size() < 3)
        return std::nullopt;
    // Any subset of the sequences still matches every candidate; a few suffice to narrow.
    constexpr qsizetype maximumTrigrams = 16;
    QStringList trigrams;
    for (qsizetype i = 0; i + 3 <= scalars.size() && trigrams.size() < maximumTrigrams; ++i) {
        QString trigram
            = QString::fromUcs4(reinterpret_cast<const char32_t *>(scalars.constData() + i), 3);
        trigram.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        trigram = QLatin1Char('"') + trigram + QLatin1Char('"');
        if (!trigrams.contains(trigram))
            trigrams << trigram;
    }
    return trigrams.join(QLatin1Char(' '));
}

Selection substringSelection(const ClipStore::Filter &filter, const QString &search)
{
    Selection selection;
    if (filter.pinboardID) {
        selection.joins = QStringLiteral(
            " JOIN pinboard_items pi ON pi.item_id = items.id AND pi.pinboard_id = ?");
        selection.bindings.emplace_back(*filter.pinboardID);
    }
    selection.conditions << QStringLiteral("(items.title LIKE ? ESCAPE '\\'\n"
                                           "   OR items.subtitle LIKE ? ESCAPE '\\'\n"
                                           "   OR items.text LIKE ? ESCAPE '\\')");
    const QString pattern = ClipStore::likePattern(search);
    selection.bindings.insert(selection.bindings.end(), { pattern, pattern, pattern });
    if (filter.onlyUnfiled)
        selection.conditions << QStringLiteral(
            "items.id NOT IN (SELECT item_id FROM pinboard_items)");
    selection.order = QStringLiteral("\nORDER BY items.created_at DESC");
    return selection;
}

// Rows whose title, subtitle or text contains search, newest first; pinboard and onlyUnfiled
// apply, kinds and sources do not.
std::vector<ClipItem> substringSearch(
    SQLiteDatabase &database, const ClipStore::Filter &filter, const QString &search)
{
    const Selection selection = substringSelection(filter, search);
    if (const std::optional<QString> trigrams = trigramQuery(search)) {
        return candidateSearch(
            database, selection, QStringLiteral("items_trigrams"), *trigrams, filter.limit);
    }
    std::vector<Value> bindings = selection.bindings;
    bindings.emplace_back(filter.limit);
    return ClipItem::readAll(database,
        QStringLiteral("SELECT items.* FROM items") + selection.joins + QStringLiteral("\nWHERE ")
            + selection.conditions.join(QStringLiteral(" AND ")) + selection.order
            + QStringLiteral(" LIMIT ?"),
        bindings, expectedRows(filter.limit));
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
        Selection selection;
        if (filter.pinboardID) {
            selection.joins = QStringLiteral(
                " JOIN pinboard_items pi ON pi.item_id = items.id AND pi.pinboard_id = ?");
            selection.bindings.emplace_back(*filter.pinboardID);
        }
        if (!filter.kinds.empty()) {
            selection.conditions << QStringLiteral("items.kind IN (")
                    + rows::placeholders(filter.kinds.size()) + QLatin1Char(')');
            for (ClipKind kind : filter.kinds)
                selection.bindings.emplace_back(storedString(kind));
        }
        if (filter.onlyUnfiled)
            selection.conditions << QStringLiteral(
                "items.id NOT IN (SELECT item_id FROM pinboard_items)");
        if (!filter.sourceBundleIDs.empty()) {
            selection.conditions << QStringLiteral("items.source_bundle_id IN (")
                    + rows::placeholders(filter.sourceBundleIDs.size()) + QLatin1Char(')');
            for (const QString &bundleID : filter.sourceBundleIDs)
                selection.bindings.emplace_back(bundleID);
        }
        selection.order = filter.pinboardID
            ? QStringLiteral(" ORDER BY pi.sort_order, items.created_at DESC")
            : QStringLiteral(" ORDER BY items.created_at DESC");

        const QString search = trimmedSearch(filter.search);
        if (search.isEmpty()) {
            QString sql = QStringLiteral("SELECT items.* FROM items") + selection.joins;
            if (!selection.conditions.isEmpty())
                sql += QStringLiteral(" WHERE ")
                    + selection.conditions.join(QStringLiteral(" AND "));
            std::vector<Value> bindings = selection.bindings;
            bindings.emplace_back(filter.limit);
            return ClipItem::readAll(database, sql + selection.order + QStringLiteral(" LIMIT ?"),
                bindings, expectedRows(filter.limit));
        }

        std::vector<ClipItem> found = candidateSearch(
            database, selection, QStringLiteral("items_fts"), ftsQuery(search), filter.limit);
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
