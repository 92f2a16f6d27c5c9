// Pinboards, their membership, and snippet triggers, which may only live on filed items.
#include "clipstore.h"
#include "store/rowreading.h"
#include "store/transaction.h"

#include <algorithm>

namespace corvane {

namespace {

// The number of colours in the panel's pinboard palette.
constexpr std::int64_t paletteSize = 6;

bool containsWhitespace(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.isSpace(); });
}

} // namespace

std::vector<Pinboard> ClipStore::pinboards()
{
    return perform([&](SQLiteDatabase &database) {
        const auto found = database.query(QStringLiteral(
            "SELECT p.*, (SELECT COUNT(*) FROM pinboard_items WHERE pinboard_id = p.id) AS "
            "item_count\nFROM pinboards p ORDER BY p.sort_order, p.id"));
        std::vector<Pinboard> result;
        result.reserve(found.size());
        for (const SQLiteDatabase::Row &row : found)
            result.push_back(Pinboard::fromRow(row));
        return result;
    });
}

Pinboard ClipStore::createPinboard(const QString &name, std::optional<std::int64_t> colorIndex)
{
    return perform([&](SQLiteDatabase &database) {
        const std::int64_t order = rows::firstInteger(
            database.query(
                QStringLiteral("SELECT COALESCE(MAX(sort_order), -1) + 1 AS n FROM pinboards")),
            QStringLiteral("n"), 0);
        // Without a choice, colours rotate through the palette in creation order.
        const std::int64_t colour = colorIndex.value_or(order % paletteSize);
        const Timestamp createdAt = now();
        database.query(QStringLiteral("INSERT INTO pinboards (name, color_index, sort_order, "
                                      "created_at) VALUES (?, ?, ?, ?)"),
            { name, colour, order, toMillis(createdAt) });
        advanceGeneration();
        return Pinboard { database.lastInsertRowId(), name, colour, order, createdAt, 0 };
    });
}

void ClipStore::reorderPinboards(const std::vector<std::int64_t> &pinboardIDs)
{
    perform([&](SQLiteDatabase &database) {
        inWriteTransaction(database, [&] {
            std::int64_t position = 0;
            for (std::int64_t id : pinboardIDs) {
                database.query(QStringLiteral("UPDATE pinboards SET sort_order = ? WHERE id = ?"),
                    { position++, id });
            }
        });
        advanceGeneration();
    });
}

void ClipStore::deletePinboard(std::int64_t pinboardID)
{
    perform([&](SQLiteDatabase &database) {
        const auto stranded
            = database.query(QStringLiteral("SELECT items.trigger AS trigger FROM items\n"
                                            "JOIN pinboard_items ON pinboard_items.item_id = "
                                            "items.id\n"
                                            "WHERE pinboard_items.pinboard_id = ?\n"
                                            "  AND items.trigger IS NOT NULL\n"
                                            "  AND (SELECT COUNT(*) FROM pinboard_items others\n"
                                            "       WHERE others.item_id = items.id) = 1"),
                { pinboardID });
        QStringList triggers;
        for (const SQLiteDatabase::Row &row : stranded) {
            if (const QString *trigger = textValue(row, QStringLiteral("trigger")))
                triggers << *trigger;
        }
        if (!triggers.isEmpty()) {
            std::sort(triggers.begin(), triggers.end());
            throw Error::pinboardHoldsTriggers(triggers);
        }
        database.query(QStringLiteral("DELETE FROM pinboards WHERE id = ?"), { pinboardID });
        advanceGeneration();
    });
}

void ClipStore::addItem(std::int64_t pinboardID, std::int64_t itemID)
{
    perform([&](SQLiteDatabase &database) {
        // One less than the smallest order there, so the newest addition is listed first.
        const std::int64_t order = rows::firstInteger(
            database.query(QStringLiteral("SELECT COALESCE(MIN(sort_order), 1) - 1 AS n FROM "
                                          "pinboard_items WHERE pinboard_id = ?"),
                { pinboardID }),
            QStringLiteral("n"), 0);
        try {
            database.query(QStringLiteral("INSERT INTO pinboard_items (pinboard_id, item_id, "
                                          "sort_order, added_at)\nVALUES (?, ?, ?, ?)\n"
                                          "ON CONFLICT (pinboard_id, item_id) DO NOTHING"),
                { pinboardID, itemID, order, toMillis(now()) });
        } catch (const SQLiteDatabase::Error &error) {
            // Only the references can fail here: another process deleted the item (pruning,
            // most likely) or the pinboard since the caller looked.
            if (error.isConstraintViolation())
                throw Error::missing();
            throw;
        }
        advanceGeneration();
    });
}

void ClipStore::removeItem(std::int64_t itemID, std::int64_t pinboardID)
{
    perform([&](SQLiteDatabase &database) {
        const std::optional<ClipItem> current = item(itemID);
        if (current && current->trigger) {
            const std::int64_t memberships = rows::firstInteger(
                database.query(
                    QStringLiteral("SELECT COUNT(*) AS n FROM pinboard_items WHERE item_id = ?"),
                    { itemID }),
                QStringLiteral("n"), 0);
            if (memberships == 1)
                throw Error::triggerStrandedByUnfiling(*current->trigger);
        }
        database.query(
            QStringLiteral("DELETE FROM pinboard_items WHERE pinboard_id = ? AND item_id = ?"),
            { pinboardID, itemID });
        advanceGeneration();
    });
}

std::set<std::int64_t> ClipStore::pinboardIDs(std::int64_t itemID)
{
    return perform([&](SQLiteDatabase &database) {
        std::set<std::int64_t> ids;
        for (const SQLiteDatabase::Row &row : database.query(
                 QStringLiteral("SELECT pinboard_id FROM pinboard_items WHERE item_id = ?"),
                 { itemID })) {
            if (const std::int64_t *id = integerValue(row, QStringLiteral("pinboard_id")))
                ids.insert(*id);
        }
        return ids;
    });
}

void ClipStore::setTrigger(std::int64_t itemID, const std::optional<QString> &trigger)
{
    perform([&](SQLiteDatabase &database) {
        const std::optional<ClipItem> current = item(itemID);
        if (!current)
            throw Error::missing();
        if (!isEditable(current->kind))
            throw Error::notEditable();
        if (!trigger) {
            database.query(
                QStringLiteral("UPDATE items SET trigger = NULL WHERE id = ?"), { itemID });
            advanceGeneration();
            return;
        }
        if (database
                .query(QStringLiteral(
                           "SELECT 1 AS present FROM pinboard_items WHERE item_id = ? LIMIT 1"),
                    { itemID })
                .empty()) {
            throw Error::triggerNeedsPinboard();
        }
        const QString normalized = trigger->trimmed().toLower();
        if (normalized.isEmpty())
            throw Error::emptyTrigger();
        if (containsWhitespace(normalized))
            throw Error::spacedTrigger();
        const std::optional<ClipItem> holder = itemWithTrigger(normalized);
        if (holder && holder->id != itemID)
            throw Error::triggerTaken(normalized);
        database.query(
            QStringLiteral("UPDATE items SET trigger = ? WHERE id = ?"), { normalized, itemID });
        advanceGeneration();
    });
}

QHash<QString, QString> ClipStore::triggerTable()
{
    return perform([&](SQLiteDatabase &database) {
        QHash<QString, QString> table;
        for (const SQLiteDatabase::Row &row :
            database.query(QStringLiteral("SELECT trigger, text FROM items WHERE trigger IS NOT "
                                          "NULL AND text IS NOT NULL"))) {
            const QString *trigger = textValue(row, QStringLiteral("trigger"));
            const QString *text = textValue(row, QStringLiteral("text"));
            if (trigger && text && !trigger->isEmpty() && !text->isEmpty())
                table.insert(*trigger, *text);
        }
        return table;
    });
}

} // namespace corvane
