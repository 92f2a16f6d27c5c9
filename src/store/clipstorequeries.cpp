// The read side of the store: the filtered and searched history list and single look-ups.
#include "clipstore.h"
#include "common/graphemes.h"
#include "store/candidatesearch.h"
#include "store/databaseversion.h"
#include "store/rowreading.h"
#include "store/transaction.h"

#include <algorithm>
#include <limits>

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

// "SELECT items.* FROM items" with the selection's joins and conditions, not yet ordered.
QString selectItems(const HistorySelection &selection)
{
    QString sql = QStringLiteral("SELECT items.* FROM items") + selection.joins;
    if (!selection.conditions.isEmpty())
        sql += QStringLiteral(" WHERE ") + selection.conditions.join(QStringLiteral(" AND "));
    return sql;
}

HistorySelection substringSelection(const ClipStore::Filter &filter, const QString &search)
{
    HistorySelection selection;
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
    selection.order = QStringLiteral("\nORDER BY items.created_at DESC, items.id DESC");
    return selection;
}

// Rows whose title, subtitle or text contains search, newest first; pinboard and onlyUnfiled
// apply, kinds and sources do not.
std::vector<ClipItem> substringSearch(
    SQLiteDatabase &database, const ClipStore::Filter &filter, const QString &search)
{
    const HistorySelection selection = substringSelection(filter, search);
    if (const std::optional<QString> trigrams = trigramQuery(search)) {
        return CandidateSearch(
            database, selection, QStringLiteral("items_trigrams"), *trigrams, filter.limit)
            .run();
    }
    std::vector<Value> bindings = selection.bindings;
    bindings.emplace_back(filter.limit);
    return ClipItem::readAll(database,
        selectItems(selection) + selection.order + QStringLiteral(" LIMIT ?"), bindings,
        expectedRows(filter.limit));
}

// The kind and source conditions of filter, added to selection.
void appendKindsAndSources(HistorySelection &selection, const ClipStore::Filter &filter)
{
    if (!filter.kinds.empty()) {
        selection.conditions << QStringLiteral("items.kind IN (")
                + rows::placeholders(filter.kinds.size()) + QLatin1Char(')');
        for (ClipKind kind : filter.kinds)
            selection.bindings.emplace_back(storedString(kind));
    }
    if (!filter.sourceBundleIDs.empty()) {
        selection.conditions << QStringLiteral("items.source_bundle_id IN (")
                + rows::placeholders(filter.sourceBundleIDs.size()) + QLatin1Char(')');
        for (const QString &bundleID : filter.sourceBundleIDs)
            selection.bindings.emplace_back(bundleID);
    }
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
        const QString search = trimmedSearch(filter.search);
        // The list the panel opens on: the newest unfiled items, which the filed ones are
        // taken out of here rather than by the statement.
        if (search.isEmpty() && filter.onlyUnfiled && !filter.pinboardID)
            return unfiledItems(database, filter);

        HistorySelection selection;
        if (filter.pinboardID) {
            selection.joins = QStringLiteral(
                " JOIN pinboard_items pi ON pi.item_id = items.id AND pi.pinboard_id = ?");
            selection.bindings.emplace_back(*filter.pinboardID);
        }
        appendKindsAndSources(selection, filter);
        if (filter.onlyUnfiled)
            selection.conditions << QStringLiteral(
                "items.id NOT IN (SELECT item_id FROM pinboard_items)");
        selection.order = filter.pinboardID
            ? QStringLiteral(" ORDER BY pi.sort_order, items.created_at DESC, items.id DESC")
            : QStringLiteral(" ORDER BY items.created_at DESC, items.id DESC");

        if (search.isEmpty()) {
            std::vector<Value> bindings = selection.bindings;
            bindings.emplace_back(filter.limit);
            return ClipItem::readAll(database,
                selectItems(selection) + selection.order + QStringLiteral(" LIMIT ?"), bindings,
                expectedRows(filter.limit));
        }

        std::vector<ClipItem> found = CandidateSearch(
            database, selection, QStringLiteral("items_fts"), ftsQuery(search), filter.limit)
                                          .run();
        // One typed character never scans the whole table; longer texts may match inside a
        // word, which the token index cannot see.
        if (found.empty() && graphemeCount(search) >= 2)
            return substringSearch(database, filter, search);
        return found;
    });
}

std::vector<ClipItem> ClipStore::unfiledItems(SQLiteDatabase &database, const Filter &filter)
{
    return inReadTransaction(database, [&] {
        m_filedItems.refresh(database);
        HistorySelection selection;
        appendKindsAndSources(selection, filter);
        // Every filed row the walk passes costs one more row; SQLite's LIMIT stays, so the
        // statement's plan is the one it would choose for the exclusion in SQL. A negative
        // limit means none, as in SQLite.
        const auto filed = std::int64_t(m_filedItems.size());
        const std::int64_t sqlLimit = filter.limit < 0 ? -1
            : filter.limit > std::numeric_limits<std::int64_t>::max() - filed
            ? std::numeric_limits<std::int64_t>::max()
            : filter.limit + filed;
        std::vector<Value> bindings = selection.bindings;
        bindings.emplace_back(sqlLimit);
        return ClipItem::readAllSkipping(
            database,
            selectItems(selection)
                + QStringLiteral(" ORDER BY items.created_at DESC, items.id DESC LIMIT ?"),
            bindings, [&](std::int64_t id) { return m_filedItems.contains(id); },
            filter.limit < 0 ? std::numeric_limits<std::size_t>::max() : std::size_t(filter.limit));
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
        // Counting by application reads the whole of an index, while the panel asks on every
        // reload: unless something was written since, the last answer stands.
        const DatabaseVersion version = DatabaseVersion::current(database);
        if (m_sourceApps.readAt == version && m_sourceApps.limit == maximumCount)
            return m_sourceApps.apps;
        m_sourceApps.readAt.reset();
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
        m_sourceApps = { .readAt = version, .limit = maximumCount, .apps = apps };
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
