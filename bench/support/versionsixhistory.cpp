#include "versionsixhistory.h"

#include "historygenerator.h"
#include "store/schema.h"
#include "store/sqlitedatabase.h"
#include "versiontwohistory.h"

#include <QDir>
#include <QFile>

namespace corvane {

namespace {

// The statements of an earlier step that start with one of the beginnings given, in order.
QStringList statementsStartingWith(const QStringList &step, const QStringList &beginnings)
{
    QStringList found;
    for (const QString &statement : step) {
        for (const QString &beginning : beginnings) {
            if (statement.startsWith(beginning)) {
                found << statement;
                break;
            }
        }
    }
    if (found.isEmpty())
        throw SQLiteDatabase::Error(0,
            QStringLiteral("no statement starting with %1").arg(beginnings.join(QLatin1Char(','))));
    return found;
}

} // namespace

QStringList VersionSixHistory::downgradeStatements()
{
    // The filed items longer than version 7 indexes.
    const QString longer = QStringLiteral("SELECT id FROM items WHERE id IN (SELECT item_id FROM "
                                          "pinboard_items) AND (length(CAST(title AS BLOB)) > %1 "
                                          "OR length(CAST(text AS BLOB)) > %1)")
                               .arg(searchedTextBytes);
    QStringList statements {
        QStringLiteral("DROP TRIGGER items_fts_insert"),
        QStringLiteral("DROP TRIGGER items_fts_delete"),
        QStringLiteral("DROP TRIGGER items_fts_update"),
        QStringLiteral("DROP TRIGGER items_trigrams_insert"),
        QStringLiteral("DROP TRIGGER items_trigrams_delete"),
        QStringLiteral("DROP TRIGGER items_trigrams_update"),
        QStringLiteral("DROP TABLE items_fts"),
        QStringLiteral("DROP TABLE items_trigrams"),
        QStringLiteral("DROP VIEW items_searched"),
        QStringLiteral("DROP INDEX items_title_ends"),
        QStringLiteral("DROP INDEX items_text_ends"),
        QStringLiteral("DROP TRIGGER filed_items_insert"),
        QStringLiteral("DROP TRIGGER filed_items_update"),
    };
    // The word index's triggers are the first step's; the third made the indexes themselves
    // as they stayed until version 7, the trigram index's triggers and the rebuilds.
    statements << statementsStartingWith(
        schemaStepOneStatements(), { QStringLiteral("CREATE TRIGGER items_fts_") });
    statements << statementsStartingWith(schemaStepThreeStatements(),
        { QStringLiteral("CREATE VIRTUAL TABLE items_"), QStringLiteral("CREATE TRIGGER"),
            QStringLiteral("INSERT INTO items_") });
    statements << statementsStartingWith(schemaStepSixStatements(),
        { QStringLiteral("CREATE INDEX IF NOT EXISTS items_title_ends"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS items_text_ends"),
            QStringLiteral("CREATE TRIGGER IF NOT EXISTS filed_items_insert"),
            QStringLiteral("CREATE TRIGGER IF NOT EXISTS filed_items_update") });
    // Those filed items indexed whole again.
    statements << QStringLiteral("INSERT INTO filed_trigrams (filed_trigrams, rowid, title, "
                                 "subtitle, text)\n"
                                 "SELECT 'delete', rowid, title, subtitle, text FROM filed_fts\n"
                                 "WHERE rowid IN (%1)")
                      .arg(longer)
               << QStringLiteral("UPDATE filed_fts SET title = (SELECT title FROM items WHERE id "
                                 "= filed_fts.rowid), text = (SELECT text FROM items WHERE id = "
                                 "filed_fts.rowid)\n"
                                 "WHERE rowid IN (%1)")
                      .arg(longer)
               << QStringLiteral("INSERT INTO filed_trigrams (rowid, title, subtitle, text)\n"
                                 "SELECT rowid, title, subtitle, text FROM filed_fts\n"
                                 "WHERE rowid IN (%1)")
                      .arg(longer)
               << QStringLiteral("PRAGMA user_version = 6");
    return statements;
}

void VersionSixHistory::downgrade(SQLiteDatabase &database)
{
    database.query(QStringLiteral("BEGIN IMMEDIATE"));
    try {
        for (const QString &statement : downgradeStatements())
            database.query(statement);
        database.query(QStringLiteral("COMMIT"));
    } catch (...) {
        database.query(QStringLiteral("ROLLBACK"));
        throw;
    }
}

QString VersionSixHistory::cachedStore(int count)
{
    const QString current = HistoryGenerator::cachedStore(count);
    const QString folder = current + QStringLiteral("-v6");
    const QString complete = folder + QStringLiteral("/complete");
    if (QFile::exists(complete))
        return folder;
    if (!VersionTwoHistory::copyStore(current, folder))
        throw SQLiteDatabase::Error(0, QStringLiteral("could not copy %1").arg(current));
    {
        SQLiteDatabase database(QDir(folder).filePath(QStringLiteral("history.sqlite")));
        downgrade(database);
        // The rebuilt indexes' old pages are given back, as a file that never held them
        // would not have them.
        database.query(QStringLiteral("VACUUM"));
        database.query(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    }
    QFile marker(complete);
    if (!marker.open(QIODevice::WriteOnly))
        qWarning("Could not mark the version-6 history as complete: %s",
            qUtf8Printable(marker.errorString()));
    return folder;
}

} // namespace corvane
