#include "schema.h"

#include "store/sqlitedatabase.h"
#include "store/transaction.h"

#include <QScopeGuard>

#include <chrono>

namespace corvane {

QStringList schemaStepOneStatements()
{
    return {
        QStringLiteral("CREATE TABLE items (\n"
                       "    id               INTEGER PRIMARY KEY,\n"
                       "    kind             TEXT    NOT NULL,\n"
                       "    text             TEXT,\n"
                       "    title            TEXT    NOT NULL,\n"
                       "    subtitle         TEXT,\n"
                       "    blob_name        TEXT,\n"
                       "    file_bookmark    BLOB,\n"
                       "    byte_count       INTEGER NOT NULL DEFAULT 0,\n"
                       "    source_bundle_id TEXT,\n"
                       "    source_app_name  TEXT,\n"
                       "    created_at       INTEGER NOT NULL,\n"
                       "    last_used_at     INTEGER NOT NULL,\n"
                       "    fingerprint      TEXT    NOT NULL UNIQUE\n"
                       ")"),
        QStringLiteral("CREATE INDEX items_recent ON items (created_at DESC)"),
        QStringLiteral("CREATE INDEX items_kind ON items (kind, created_at DESC)"),
        QStringLiteral("CREATE VIRTUAL TABLE items_fts USING fts5(\n"
                       "    title, subtitle, text,\n"
                       "    content='items', content_rowid='id', tokenize='unicode61'\n"
                       ")"),
        QStringLiteral("CREATE TRIGGER items_fts_insert AFTER INSERT ON items BEGIN\n"
                       "    INSERT INTO items_fts (rowid, title, subtitle, text)\n"
                       "    VALUES (new.id, new.title, new.subtitle, new.text);\n"
                       "END"),
        QStringLiteral("CREATE TRIGGER items_fts_delete AFTER DELETE ON items BEGIN\n"
                       "    INSERT INTO items_fts (items_fts, rowid, title, subtitle, text)\n"
                       "    VALUES ('delete', old.id, old.title, old.subtitle, old.text);\n"
                       "END"),
        QStringLiteral("CREATE TRIGGER items_fts_update AFTER UPDATE ON items BEGIN\n"
                       "    INSERT INTO items_fts (items_fts, rowid, title, subtitle, text)\n"
                       "    VALUES ('delete', old.id, old.title, old.subtitle, old.text);\n"
                       "    INSERT INTO items_fts (rowid, title, subtitle, text)\n"
                       "    VALUES (new.id, new.title, new.subtitle, new.text);\n"
                       "END"),
        QStringLiteral("CREATE TABLE pinboards (\n"
                       "    id          INTEGER PRIMARY KEY,\n"
                       "    name        TEXT    NOT NULL,\n"
                       "    color_index INTEGER NOT NULL DEFAULT 0,\n"
                       "    sort_order  INTEGER NOT NULL DEFAULT 0,\n"
                       "    created_at  INTEGER NOT NULL\n"
                       ")"),
        QStringLiteral(
            "CREATE TABLE pinboard_items (\n"
            "    pinboard_id INTEGER NOT NULL REFERENCES pinboards (id) ON DELETE CASCADE,\n"
            "    item_id     INTEGER NOT NULL REFERENCES items (id) ON DELETE CASCADE,\n"
            "    sort_order  INTEGER NOT NULL DEFAULT 0,\n"
            "    added_at    INTEGER NOT NULL,\n"
            "    PRIMARY KEY (pinboard_id, item_id)\n"
            ")"),
        QStringLiteral("PRAGMA user_version = 1"),
    };
}

QStringList schemaStepTwoStatements()
{
    return {
        QStringLiteral("ALTER TABLE items ADD COLUMN trigger TEXT"),
        QStringLiteral(
            "CREATE UNIQUE INDEX items_trigger ON items (trigger) WHERE trigger IS NOT NULL"),
        QStringLiteral("PRAGMA user_version = 2"),
    };
}

QStringList schemaStepThreeStatements()
{
    return {
        // The word index is rebuilt with prefix indexes for the first three characters of a
        // token: a search of one to three letters then reads one list instead of merging the
        // lists of every word that starts with them. Same name, columns and triggers, so
        // code that knows only version 2 reads and writes it unchanged.
        QStringLiteral("DROP TABLE items_fts"),
        QStringLiteral("CREATE VIRTUAL TABLE items_fts USING fts5(\n"
                       "    title, subtitle, text,\n"
                       "    content='items', content_rowid='id', tokenize='unicode61',\n"
                       "    prefix='1 2 3'\n"
                       ")"),
        QStringLiteral("INSERT INTO items_fts (items_fts) VALUES ('rebuild')"),
        // Every three-character sequence of the same columns, only to narrow the substring
        // fallback to the rows that can match before the exact LIKE runs. Without positions
        // (detail none) it costs a fraction of a positional index.
        QStringLiteral(
            "CREATE VIRTUAL TABLE items_trigrams USING fts5(\n"
            "    title, subtitle, text,\n"
            "    content='items', content_rowid='id', tokenize='trigram', detail='none'\n"
            ")"),
        QStringLiteral("CREATE TRIGGER items_trigrams_insert AFTER INSERT ON items BEGIN\n"
                       "    INSERT INTO items_trigrams (rowid, title, subtitle, text)\n"
                       "    VALUES (new.id, new.title, new.subtitle, new.text);\n"
                       "END"),
        QStringLiteral(
            "CREATE TRIGGER items_trigrams_delete AFTER DELETE ON items BEGIN\n"
            "    INSERT INTO items_trigrams (items_trigrams, rowid, title, subtitle, text)\n"
            "    VALUES ('delete', old.id, old.title, old.subtitle, old.text);\n"
            "END"),
        QStringLiteral(
            "CREATE TRIGGER items_trigrams_update AFTER UPDATE ON items BEGIN\n"
            "    INSERT INTO items_trigrams (items_trigrams, rowid, title, subtitle, text)\n"
            "    VALUES ('delete', old.id, old.title, old.subtitle, old.text);\n"
            "    INSERT INTO items_trigrams (rowid, title, subtitle, text)\n"
            "    VALUES (new.id, new.title, new.subtitle, new.text);\n"
            "END"),
        QStringLiteral("INSERT INTO items_trigrams (items_trigrams) VALUES ('rebuild')"),
        // The dates of given items without reading their rows: a row's date is stored after
        // its text, and reaching it in a text of megabytes reads every page of that text.
        QStringLiteral("CREATE INDEX items_dates ON items (id, created_at)"),
        QStringLiteral("PRAGMA user_version = 3"),
    };
}

QStringList schemaStepFourStatements()
{
    return {
        // The source applications and their counts come from this index alone, without
        // reading the rows: the filter menu's list is then a scan of a few megabytes at
        // most instead of the whole history. A new index only, so code that knows an
        // earlier version reads and writes the file unchanged.
        QStringLiteral("CREATE INDEX IF NOT EXISTS items_sources ON items "
                       "(source_bundle_id, source_app_name)"),
        QStringLiteral("PRAGMA user_version = 4"),
    };
}

QStringList schemaStepFiveStatements()
{
    return {
        // The text recognised in image items, beside them rather than in their rows: a file
        // of this version keeps every table, column and trigger of version 4, so code that
        // knows only version 4 reads and writes it unchanged. An empty text marks an image
        // that was read and holds no words.
        QStringLiteral("CREATE TABLE IF NOT EXISTS image_texts (\n"
                       "    item_id INTEGER PRIMARY KEY,\n"
                       "    text    TEXT    NOT NULL\n"
                       ")"),
        // Deleting or pruning an item takes its text with it, whichever version deletes it.
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS image_texts_of_deleted_items\n"
                       "AFTER DELETE ON items BEGIN\n"
                       "    DELETE FROM image_texts WHERE item_id = old.id;\n"
                       "END"),
        // The same two indexes as the items have, for the same two kinds of search.
        QStringLiteral("CREATE VIRTUAL TABLE IF NOT EXISTS image_texts_fts USING fts5(\n"
                       "    text, content='image_texts', content_rowid='item_id',\n"
                       "    tokenize='unicode61', prefix='1 2 3'\n"
                       ")"),
        QStringLiteral("CREATE VIRTUAL TABLE IF NOT EXISTS image_texts_trigrams USING fts5(\n"
                       "    text, content='image_texts', content_rowid='item_id',\n"
                       "    tokenize='trigram', detail='none'\n"
                       ")"),
        QStringLiteral(
            "CREATE TRIGGER IF NOT EXISTS image_texts_insert\n"
            "AFTER INSERT ON image_texts BEGIN\n"
            "    INSERT INTO image_texts_fts (rowid, text) VALUES (new.item_id, new.text);\n"
            "    INSERT INTO image_texts_trigrams (rowid, text)\n"
            "    VALUES (new.item_id, new.text);\n"
            "END"),
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS image_texts_delete\n"
                       "AFTER DELETE ON image_texts BEGIN\n"
                       "    INSERT INTO image_texts_fts (image_texts_fts, rowid, text)\n"
                       "    VALUES ('delete', old.item_id, old.text);\n"
                       "    INSERT INTO image_texts_trigrams (image_texts_trigrams, rowid, text)\n"
                       "    VALUES ('delete', old.item_id, old.text);\n"
                       "END"),
        QStringLiteral(
            "CREATE TRIGGER IF NOT EXISTS image_texts_update\n"
            "AFTER UPDATE ON image_texts BEGIN\n"
            "    INSERT INTO image_texts_fts (image_texts_fts, rowid, text)\n"
            "    VALUES ('delete', old.item_id, old.text);\n"
            "    INSERT INTO image_texts_trigrams (image_texts_trigrams, rowid, text)\n"
            "    VALUES ('delete', old.item_id, old.text);\n"
            "    INSERT INTO image_texts_fts (rowid, text) VALUES (new.item_id, new.text);\n"
            "    INSERT INTO image_texts_trigrams (rowid, text)\n"
            "    VALUES (new.item_id, new.text);\n"
            "END"),
        QStringLiteral("PRAGMA user_version = 5"),
    };
}

QStringList schemaStepSixStatements()
{
    return {
        // The last two characters of every searched text. A search of two characters that
        // starts no word is found through the trigram indexes, as every trigram that begins
        // with it, except where the two end a text: no trigram begins there, and these
        // indexes find those. New indexes only, so code that knows an earlier version reads
        // and writes the file unchanged.
        QStringLiteral("CREATE INDEX IF NOT EXISTS items_title_ends ON items (substr(title, -2))"),
        QStringLiteral(
            "CREATE INDEX IF NOT EXISTS items_subtitle_ends ON items (substr(subtitle, -2))"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS items_text_ends ON items (substr(text, -2))"),
        QStringLiteral(
            "CREATE INDEX IF NOT EXISTS image_texts_ends ON image_texts (substr(text, -2))"),
        // The history's own order, ties on the date included: a walk by date then needs no
        // sorting of equal dates by id on the way, which took half of a long walk's time.
        QStringLiteral(
            "CREATE INDEX IF NOT EXISTS items_newest ON items (created_at DESC, id DESC)"),
        // A pinboard's items in its own order: its list then stops at the rows it shows
        // instead of sorting every item filed on it (and reading each of their rows).
        QStringLiteral("CREATE INDEX IF NOT EXISTS pinboard_items_order ON pinboard_items "
                       "(pinboard_id, sort_order)"),
        // The words and trigrams of the filed items alone, for searching a pinboard: what a
        // search finds among the whole history can take tens of milliseconds to list on a
        // long one, where the pinboards hold thousands of items at most. The word index keeps
        // its own copy of the texts, so that unfiling (by whichever version, or by deleting
        // the item) needs only the id; the trigram index keeps none and is told what to forget
        // from that copy.
        QStringLiteral("CREATE VIRTUAL TABLE IF NOT EXISTS filed_fts USING fts5(\n"
                       "    title, subtitle, text, tokenize='unicode61', prefix='1 2 3'\n"
                       ")"),
        QStringLiteral("CREATE VIRTUAL TABLE IF NOT EXISTS filed_trigrams USING fts5(\n"
                       "    title, subtitle, text, content='', tokenize='trigram', detail='none'\n"
                       ")"),
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS filed_items_insert AFTER INSERT ON "
                       "pinboard_items\n"
                       "WHEN NOT EXISTS (SELECT 1 FROM filed_fts WHERE rowid = new.item_id) BEGIN\n"
                       "    INSERT INTO filed_fts (rowid, title, subtitle, text)\n"
                       "    SELECT id, title, subtitle, text FROM items WHERE id = new.item_id;\n"
                       "    INSERT INTO filed_trigrams (rowid, title, subtitle, text)\n"
                       "    SELECT id, title, subtitle, text FROM items WHERE id = new.item_id;\n"
                       "END"),
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS filed_items_delete AFTER DELETE ON "
                       "pinboard_items\n"
                       "WHEN NOT EXISTS (SELECT 1 FROM pinboard_items WHERE item_id = "
                       "old.item_id) BEGIN\n"
                       "    INSERT INTO filed_trigrams (filed_trigrams, rowid, title, subtitle, "
                       "text)\n"
                       "    SELECT 'delete', rowid, title, subtitle, text FROM filed_fts\n"
                       "    WHERE rowid = old.item_id;\n"
                       "    DELETE FROM filed_fts WHERE rowid = old.item_id;\n"
                       "END"),
        // Filed items whose texts change (a snippet edited) are indexed anew.
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS filed_items_update\n"
                       "AFTER UPDATE OF title, subtitle, text ON items\n"
                       "WHEN EXISTS (SELECT 1 FROM filed_fts WHERE rowid = new.id) BEGIN\n"
                       "    INSERT INTO filed_trigrams (filed_trigrams, rowid, title, subtitle, "
                       "text)\n"
                       "    SELECT 'delete', rowid, title, subtitle, text FROM filed_fts\n"
                       "    WHERE rowid = old.id;\n"
                       "    UPDATE filed_fts SET title = new.title, subtitle = new.subtitle,\n"
                       "        text = new.text WHERE rowid = old.id;\n"
                       "    INSERT INTO filed_trigrams (rowid, title, subtitle, text)\n"
                       "    VALUES (new.id, new.title, new.subtitle, new.text);\n"
                       "END"),
        QStringLiteral("INSERT INTO filed_fts (rowid, title, subtitle, text)\n"
                       "SELECT id, title, subtitle, text FROM items\n"
                       "WHERE id IN (SELECT item_id FROM pinboard_items)\n"
                       "  AND id NOT IN (SELECT rowid FROM filed_fts)"),
        QStringLiteral("INSERT INTO filed_trigrams (rowid, title, subtitle, text)\n"
                       "SELECT rowid, title, subtitle, text FROM filed_fts"),
        QStringLiteral("PRAGMA user_version = 6"),
    };
}

QString searchedPart(const QString &column)
{
    return QStringLiteral("CAST(substr(CAST(%1 AS BLOB), 1, %2) AS TEXT)")
        .arg(column)
        .arg(searchedTextBytes);
}

QStringList schemaStepSevenStatements()
{
    const auto part = [](const char *column) { return searchedPart(QLatin1String(column)); };
    // The title, subtitle and text of a row as the indexes hold them, from a row's values
    // (new or old) in a trigger.
    const auto searched = [](const char *row) {
        const QString prefix = QLatin1String(row) + QLatin1Char('.');
        return QStringLiteral("%1, %2subtitle, %3")
            .arg(searchedPart(prefix + QStringLiteral("title")), prefix,
                searchedPart(prefix + QStringLiteral("text")));
    };
    // The filed items whose copy in the filed word index is longer than the indexes now hold.
    const QString longFiled = QStringLiteral("length(CAST(title AS BLOB)) > %1 "
                                             "OR length(CAST(text AS BLOB)) > %1")
                                  .arg(searchedTextBytes);
    return {
        // The items' two indexes are rebuilt over a view that presents each row as they hold
        // it, so that what FTS5 reads back from its content ('rebuild', 'integrity-check')
        // is what the triggers gave it. Same names, columns and options as before: code that
        // knows only version 6 searches them unchanged, and writes through the triggers below.
        // A file whose indexes lack a trigger (made by hand) gets it.
        QStringLiteral("DROP TRIGGER IF EXISTS items_fts_insert"),
        QStringLiteral("DROP TRIGGER IF EXISTS items_fts_delete"),
        QStringLiteral("DROP TRIGGER IF EXISTS items_fts_update"),
        QStringLiteral("DROP TRIGGER IF EXISTS items_trigrams_insert"),
        QStringLiteral("DROP TRIGGER IF EXISTS items_trigrams_delete"),
        QStringLiteral("DROP TRIGGER IF EXISTS items_trigrams_update"),
        QStringLiteral("DROP TABLE IF EXISTS items_fts"),
        QStringLiteral("DROP TABLE IF EXISTS items_trigrams"),
        QStringLiteral("CREATE VIEW items_searched AS\n"
                       "SELECT id, %1 AS title, subtitle, %2 AS text FROM items")
            .arg(part("title"), part("text")),
        QStringLiteral("CREATE VIRTUAL TABLE items_fts USING fts5(\n"
                       "    title, subtitle, text,\n"
                       "    content='items_searched', content_rowid='id', tokenize='unicode61',\n"
                       "    prefix='1 2 3'\n"
                       ")"),
        QStringLiteral(
            "CREATE VIRTUAL TABLE items_trigrams USING fts5(\n"
            "    title, subtitle, text,\n"
            "    content='items_searched', content_rowid='id', tokenize='trigram', detail='none'\n"
            ")"),
        QStringLiteral("CREATE TRIGGER items_fts_insert AFTER INSERT ON items BEGIN\n"
                       "    INSERT INTO items_fts (rowid, title, subtitle, text)\n"
                       "    VALUES (new.id, %1);\n"
                       "END")
            .arg(searched("new")),
        QStringLiteral("CREATE TRIGGER items_fts_delete AFTER DELETE ON items BEGIN\n"
                       "    INSERT INTO items_fts (items_fts, rowid, title, subtitle, text)\n"
                       "    VALUES ('delete', old.id, %1);\n"
                       "END")
            .arg(searched("old")),
        // Only a change of what is indexed touches the indexes: using an item again changes
        // its dates, and re-indexing a text of megabytes for that read it twice more.
        QStringLiteral("CREATE TRIGGER items_fts_update\n"
                       "AFTER UPDATE OF id, title, subtitle, text ON items BEGIN\n"
                       "    INSERT INTO items_fts (items_fts, rowid, title, subtitle, text)\n"
                       "    VALUES ('delete', old.id, %1);\n"
                       "    INSERT INTO items_fts (rowid, title, subtitle, text)\n"
                       "    VALUES (new.id, %2);\n"
                       "END")
            .arg(searched("old"), searched("new")),
        QStringLiteral("CREATE TRIGGER items_trigrams_insert AFTER INSERT ON items BEGIN\n"
                       "    INSERT INTO items_trigrams (rowid, title, subtitle, text)\n"
                       "    VALUES (new.id, %1);\n"
                       "END")
            .arg(searched("new")),
        QStringLiteral(
            "CREATE TRIGGER items_trigrams_delete AFTER DELETE ON items BEGIN\n"
            "    INSERT INTO items_trigrams (items_trigrams, rowid, title, subtitle, text)\n"
            "    VALUES ('delete', old.id, %1);\n"
            "END")
            .arg(searched("old")),
        QStringLiteral(
            "CREATE TRIGGER items_trigrams_update\n"
            "AFTER UPDATE OF id, title, subtitle, text ON items BEGIN\n"
            "    INSERT INTO items_trigrams (items_trigrams, rowid, title, subtitle, text)\n"
            "    VALUES ('delete', old.id, %1);\n"
            "    INSERT INTO items_trigrams (rowid, title, subtitle, text)\n"
            "    VALUES (new.id, %2);\n"
            "END")
            .arg(searched("old"), searched("new")),
        QStringLiteral("INSERT INTO items_fts (items_fts) VALUES ('rebuild')"),
        QStringLiteral("INSERT INTO items_trigrams (items_trigrams) VALUES ('rebuild')"),
        // The ends of the indexed parts, which complete the trigram index where it stops.
        // substr() of a whole text made SQLite copy it whole on every insert of a text bound
        // without its NUL; the ends of the part copy only the part. The subtitle is short, and
        // its index stays.
        QStringLiteral("DROP INDEX IF EXISTS items_title_ends"),
        QStringLiteral("DROP INDEX IF EXISTS items_text_ends"),
        QStringLiteral("CREATE INDEX items_title_ends ON items (substr(%1, -2))")
            .arg(part("title")),
        QStringLiteral("CREATE INDEX items_text_ends ON items (substr(%1, -2))").arg(part("text")),
        // The filed items' indexes take the same parts. Unfiling keeps working from the
        // copy in filed_fts, which now holds the parts too.
        QStringLiteral("DROP TRIGGER IF EXISTS filed_items_insert"),
        QStringLiteral("DROP TRIGGER IF EXISTS filed_items_update"),
        QStringLiteral("CREATE TRIGGER filed_items_insert AFTER INSERT ON pinboard_items\n"
                       "WHEN NOT EXISTS (SELECT 1 FROM filed_fts WHERE rowid = new.item_id) BEGIN\n"
                       "    INSERT INTO filed_fts (rowid, title, subtitle, text)\n"
                       "    SELECT id, title, subtitle, text FROM items_searched\n"
                       "    WHERE id = new.item_id;\n"
                       "    INSERT INTO filed_trigrams (rowid, title, subtitle, text)\n"
                       "    SELECT rowid, title, subtitle, text FROM filed_fts\n"
                       "    WHERE rowid = new.item_id;\n"
                       "END"),
        QStringLiteral("CREATE TRIGGER filed_items_update\n"
                       "AFTER UPDATE OF title, subtitle, text ON items\n"
                       "WHEN EXISTS (SELECT 1 FROM filed_fts WHERE rowid = new.id) BEGIN\n"
                       "    INSERT INTO filed_trigrams (filed_trigrams, rowid, title, subtitle, "
                       "text)\n"
                       "    SELECT 'delete', rowid, title, subtitle, text FROM filed_fts\n"
                       "    WHERE rowid = old.id;\n"
                       "    UPDATE filed_fts SET title = %1, subtitle = new.subtitle,\n"
                       "        text = %2 WHERE rowid = old.id;\n"
                       "    INSERT INTO filed_trigrams (rowid, title, subtitle, text)\n"
                       "    VALUES (new.id, %3);\n"
                       "END")
            .arg(part("new.title"), part("new.text"), searched("new")),
        // The filed items indexed whole before: their trigrams are forgotten as they were
        // given, then given again cut, then the copy is cut.
        QStringLiteral("INSERT INTO filed_trigrams (filed_trigrams, rowid, title, subtitle, text)\n"
                       "SELECT 'delete', rowid, title, subtitle, text FROM filed_fts WHERE ")
            + longFiled,
        QStringLiteral("INSERT INTO filed_trigrams (rowid, title, subtitle, text)\n"
                       "SELECT rowid, %1, subtitle, %2 FROM filed_fts WHERE ")
                .arg(part("title"), part("text"))
            + longFiled,
        QStringLiteral("UPDATE filed_fts SET title = %1, text = %2 WHERE ")
                .arg(part("title"), part("text"))
            + longFiled,
        QStringLiteral("PRAGMA user_version = 7"),
    };
}

namespace {

std::int64_t userVersion(SQLiteDatabase &database)
{
    const auto rows = database.query(QStringLiteral("PRAGMA user_version"));
    if (rows.empty())
        return 0;
    const std::int64_t *version = integerValue(rows.front(), QStringLiteral("user_version"));
    return version ? *version : 0;
}

// How many virtual machine steps SQLite takes between two looks at the clock: a look costs
// tens of nanoseconds, these steps a millisecond or so.
constexpr int progressInstructions = 10'000;

std::int64_t itemCount(SQLiteDatabase &database, std::int64_t version)
{
    // A new file has no table yet.
    if (version < 1)
        return 0;
    // Only for the log: a file without our table fails in the step that needs it, with that
    // step's own message, as it did before the count was taken.
    try {
        const auto rows = database.query(QStringLiteral("SELECT count(*) AS n FROM items"));
        const std::int64_t *count
            = rows.empty() ? nullptr : integerValue(rows.front(), QStringLiteral("n"));
        return count ? *count : 0;
    } catch (const SQLiteDatabase::Error &) {
        return 0;
    }
}

void runStep(SQLiteDatabase &database, std::int64_t targetVersion, const QStringList &statements)
{
    inWriteTransaction(database, [&] {
        // Another process opening the same new file may have run this step while we waited
        // for the write lock; running it again would fail on the objects it created.
        if (userVersion(database) < targetVersion) {
            for (const QString &statement : statements)
                database.query(statement);
        }
    });
}

// Raises the connection's busy timeout for as long as it lives.
class LongerBusyTimeout
{
public:
    LongerBusyTimeout(SQLiteDatabase &database, std::chrono::milliseconds timeout)
        : m_database(database)
    {
        setTimeout(timeout);
    }
    ~LongerBusyTimeout()
    {
        try {
            setTimeout(SQLiteDatabase::busyTimeout);
        } catch (const SQLiteDatabase::Error &) { }
    }
    LongerBusyTimeout(const LongerBusyTimeout &) = delete;
    LongerBusyTimeout &operator=(const LongerBusyTimeout &) = delete;

private:
    void setTimeout(std::chrono::milliseconds timeout)
    {
        m_database.query(QStringLiteral("PRAGMA busy_timeout = %1").arg(timeout.count()));
    }

    SQLiteDatabase &m_database;
};

} // namespace

void upgradeSchema(SQLiteDatabase &database, UpgradeProgress::Timing timing)
{
    const std::int64_t version = userVersion(database);
    if (version >= currentSchemaVersion)
        return;
    // Another process may be running the same upgrade, which rebuilds the search indexes and
    // holds the write lock for seconds on a long history (tens of seconds on a million
    // items). Waiting for it to finish beats failing to open the history.
    const LongerBusyTimeout patience(database, upgradeBusyTimeout);
    UpgradeProgress progress(itemCount(database, version), version, currentSchemaVersion, timing);
    // The rebuilds are single statements that run for tens of seconds on a million items;
    // SQLite's progress handler is the only way to hear from inside them, and it costs
    // nothing measurable at this interval.
    database.setProgressHandler(progressInstructions, [&progress] { progress.tick(); });
    const auto removeHandler
        = qScopeGuard([&database] { database.setProgressHandler(0, nullptr); });
    const auto step
        = [&](std::int64_t target, const QString &description, const QStringList &statements) {
              progress.beginStep(description);
              runStep(database, target, statements);
          };
    try {
        // Versions below 1 (a new file) and unknown negative ones start from the beginning.
        if (version < 1)
            step(1, QStringLiteral("creating the tables"), schemaStepOneStatements());
        if (version < 2)
            step(2, QStringLiteral("adding the snippet triggers"), schemaStepTwoStatements());
        step(3, QStringLiteral("rebuilding the search indexes"), schemaStepThreeStatements());
        step(4, QStringLiteral("indexing the source applications"), schemaStepFourStatements());
        step(5, QStringLiteral("adding the text read in images"), schemaStepFiveStatements());
        step(6, QStringLiteral("indexing the ends of texts"), schemaStepSixStatements());
        step(7, QStringLiteral("indexing the first megabyte of each text"),
            schemaStepSevenStatements());
    } catch (...) {
        progress.fail();
        throw;
    }
    progress.finish();
}

} // namespace corvane
