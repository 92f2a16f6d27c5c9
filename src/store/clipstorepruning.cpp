// How items leave the history. Rows always go before their payload files: a failure part-way
// leaves at worst a file without a row, which the next sweep removes, never a row without
// its file.
#include "clipstore.h"
#include "store/blobfiles.h"
#include "store/rowreading.h"
#include "store/transaction.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <algorithm>
#include <limits>

namespace corvane {

namespace {

using Value = SQLiteDatabase::Value;

constexpr std::int64_t millisPerDay = 86400 * 1000;

std::vector<Value> idBindings(const std::vector<std::int64_t> &ids)
{
    return { ids.begin(), ids.end() };
}

QStringList blobNames(const std::vector<SQLiteDatabase::Row> &found)
{
    QStringList names;
    for (const SQLiteDatabase::Row &row : found) {
        if (const QString *name = textValue(row, QStringLiteral("blob_name")))
            names << *name;
    }
    return names;
}

// Deletes the selected rows (each with "id" and "blob_name"); gives their payload files' names.
QStringList deleteSelectionRows(
    SQLiteDatabase &database, const std::vector<SQLiteDatabase::Row> &selection)
{
    if (selection.empty())
        return {};
    std::vector<Value> ids;
    ids.reserve(selection.size());
    for (const SQLiteDatabase::Row &row : selection)
        ids.push_back(row.values.value(QStringLiteral("id"), std::monostate()));
    database.query(QStringLiteral("DELETE FROM items WHERE id IN (")
            + rows::placeholders(ids.size()) + QLatin1Char(')'),
        ids);
    return blobNames(selection);
}

// Selects with selectSql and deletes what it found, in one write transaction: another
// process filing one of the selected items between the two statements would otherwise lose
// it from its pinboard. The payload files go once the deletion is committed.
void pruneSelection(SQLiteDatabase &database, const QString &blobDirectory,
    const QString &selectSql, const std::vector<Value> &bindings)
{
    QStringList names;
    inWriteTransaction(database,
        [&] { names = deleteSelectionRows(database, database.query(selectSql, bindings)); });
    for (const QString &name : names)
        removeBlob(blobDirectory, name);
}

// Now minus the given number of days, in stored milliseconds; limits too large to reach
// back that far simply keep everything.
std::int64_t cutOff(std::int64_t dayLimit)
{
    constexpr std::int64_t earliest = std::numeric_limits<std::int64_t>::min();
    const std::int64_t nowMillis = toMillis(now());
    if (dayLimit > std::numeric_limits<std::int64_t>::max() / millisPerDay)
        return earliest;
    const std::int64_t span = dayLimit * millisPerDay;
    return nowMillis < earliest + span ? earliest : nowMillis - span;
}

} // namespace

void ClipStore::prune(
    std::int64_t itemLimit, std::int64_t dayLimit, std::optional<std::int64_t> keeping)
{
    perform([&](SQLiteDatabase &database) {
        if (dayLimit >= 1) {
            pruneSelection(database, m_blobDirectory,
                QStringLiteral("SELECT id, blob_name FROM items\n"
                               "WHERE created_at < ? AND id NOT IN (SELECT "
                               "item_id FROM pinboard_items)"),
                { cutOff(dayLimit) });
        }
        // The kept item counts towards the limit but is never selected: a copy stamped by a
        // clock that was set back looks older than the rest, yet it is the one just made.
        if (itemLimit >= 1) {
            const Value kept = keeping ? Value(*keeping) : Value(std::monostate());
            pruneSelection(database, m_blobDirectory,
                QStringLiteral("SELECT id, blob_name FROM items\n"
                               "WHERE id IS NOT ? AND id NOT IN (SELECT item_id FROM "
                               "pinboard_items)\n"
                               "ORDER BY created_at DESC, id DESC\n"
                               "LIMIT -1 OFFSET ?"),
                { kept, keeping ? itemLimit - 1 : itemLimit });
        }
    });
}

void ClipStore::deleteItems(const std::vector<std::int64_t> &ids)
{
    perform([&](SQLiteDatabase &database) {
        const QString marks = rows::placeholders(ids.size());
        const QStringList names = blobNames(database.query(
            QStringLiteral("SELECT blob_name FROM items WHERE id IN (") + marks + QLatin1Char(')'),
            idBindings(ids)));
        database.query(QStringLiteral("DELETE FROM items WHERE id IN (") + marks + QLatin1Char(')'),
            idBindings(ids));
        for (const QString &name : names)
            removeBlob(m_blobDirectory, name);
        advanceGeneration();
    });
}

void ClipStore::clearHistory()
{
    perform([&](SQLiteDatabase &database) {
        const QStringList names = blobNames(
            database.query(QStringLiteral("SELECT blob_name FROM items\n"
                                          "WHERE blob_name IS NOT NULL\n"
                                          "  AND id NOT IN (SELECT item_id FROM pinboard_items)")));
        database.query(QStringLiteral(
            "DELETE FROM items WHERE id NOT IN (SELECT item_id FROM pinboard_items)"));
        for (const QString &name : names)
            removeBlob(m_blobDirectory, name);
        advanceGeneration();
    });
}

void ClipStore::sweepOrphanBlobs()
{
    // Listed first: a payload written after this is not in the list, so it is never removed.
    // Every entry counts, including files the store did not write; an unreadable folder lists
    // nothing.
    const QStringList entries
        = QDir(m_blobDirectory)
              .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    QSet<QString> orphans(entries.cbegin(), entries.cend());
    if (orphans.isEmpty())
        return;
    // The names in use, read in slices of ids so that recording meanwhile waits for one slice
    // at most, not for a scan of the whole history.
    constexpr std::int64_t slice = 20'000;
    const std::int64_t lastID = perform([](SQLiteDatabase &database) {
        return rows::firstInteger(database.query(QStringLiteral("SELECT max(id) AS id FROM items")),
            QStringLiteral("id"), 0);
    });
    for (std::int64_t from = 0; from < lastID && !orphans.isEmpty(); from += slice) {
        const QStringList used = perform([&](SQLiteDatabase &database) {
            return blobNames(
                database.query(QStringLiteral("SELECT blob_name FROM items\n"
                                              "WHERE id > ? AND id <= ? AND blob_name IS NOT NULL"),
                    { from, from + slice }));
        });
        for (const QString &name : used)
            orphans.remove(name);
    }
    if (orphans.isEmpty())
        return;
    // Rows written or changed since their slice was read are seen here, in one check of the
    // few remaining names with the store held, before anything is removed.
    perform([&](SQLiteDatabase &database) {
        const std::vector<QString> candidates(orphans.cbegin(), orphans.cend());
        // In groups, within SQLite's limit on parameters.
        constexpr std::size_t group = 500;
        for (std::size_t first = 0; first < candidates.size(); first += group) {
            const std::size_t count = std::min(group, candidates.size() - first);
            const std::vector<SQLiteDatabase::Value> bindings(
                candidates.cbegin() + std::ptrdiff_t(first),
                candidates.cbegin() + std::ptrdiff_t(first + count));
            const QStringList used = blobNames(
                database.query(QStringLiteral("SELECT blob_name FROM items WHERE blob_name IN (")
                        + rows::placeholders(count) + QLatin1Char(')'),
                    bindings));
            for (std::size_t i = first; i < first + count; ++i) {
                if (!used.contains(candidates[i]))
                    QFile::remove(QDir(m_blobDirectory).filePath(candidates[i]));
            }
        }
    });
}

bool ClipStore::mergeSearchIndexes(int pages)
{
    // A positive page count merges only levels holding several segments, the state recording
    // leaves behind, instead of rewriting the whole index as 'optimize' does every time.
    static const QStringList indexes
        = { QStringLiteral("items_fts"), QStringLiteral("items_trigrams"),
              QStringLiteral("image_texts_fts"), QStringLiteral("image_texts_trigrams") };
    return perform([&](SQLiteDatabase &database) {
        bool workLeft = false;
        for (const QString &index : indexes) {
            const std::int64_t before = database.changeCount();
            database.query(
                QStringLiteral("INSERT INTO %1 (%1, rank) VALUES ('merge', ?)").arg(index),
                { std::int64_t(pages) });
            // The statement counts one change for itself; more means it merged something and
            // may have more to merge.
            workLeft = workLeft || database.changeCount() - before >= 2;
        }
        return workLeft;
    });
}

} // namespace corvane
