#include "versiontwohistory.h"

#include "historygenerator.h"
#include "store/schema.h"
#include "store/sqlitedatabase.h"
#include "versionsixhistory.h"

#include <QDir>
#include <QFile>

namespace corvane {

namespace {

// The word index's statement at version 2: the one the first step created (the second step
// does not touch it).
QString versionTwoWordIndex()
{
    for (const QString &statement : schemaStepOneStatements()) {
        if (statement.startsWith(QStringLiteral("CREATE VIRTUAL TABLE items_fts")))
            return statement;
    }
    throw SQLiteDatabase::Error(0, QStringLiteral("no word index in the first step"));
}

} // namespace

void VersionTwoHistory::downgrade(SQLiteDatabase &database)
{
    // What the seventh step changed, as the sixth left it.
    const QStringList statements = VersionSixHistory::downgradeStatements()
        + QStringList {
              // What the sixth step created; the image texts' index goes with their table.
              QStringLiteral("DROP INDEX items_title_ends"),
              QStringLiteral("DROP INDEX items_subtitle_ends"),
              QStringLiteral("DROP INDEX items_text_ends"),
              QStringLiteral("DROP INDEX pinboard_items_order"),
              QStringLiteral("DROP INDEX items_newest"),
              QStringLiteral("DROP TRIGGER filed_items_insert"),
              QStringLiteral("DROP TRIGGER filed_items_delete"),
              QStringLiteral("DROP TRIGGER filed_items_update"),
              QStringLiteral("DROP TABLE filed_trigrams"),
              QStringLiteral("DROP TABLE filed_fts"),
              // What the fifth step created; the image texts' own triggers go with their table.
              QStringLiteral("DROP TRIGGER image_texts_of_deleted_items"),
              QStringLiteral("DROP TABLE image_texts_fts"),
              QStringLiteral("DROP TABLE image_texts_trigrams"),
              QStringLiteral("DROP TABLE image_texts"),
              // The fourth.
              QStringLiteral("DROP INDEX items_sources"),
              // The third: the trigram index, its triggers, the dates index, and the word index
              // with prefixes, replaced by the version-2 one with its entries. Its triggers on
              // items are version 1's and stay.
              QStringLiteral("DROP INDEX items_dates"),
              QStringLiteral("DROP TRIGGER items_trigrams_insert"),
              QStringLiteral("DROP TRIGGER items_trigrams_delete"),
              QStringLiteral("DROP TRIGGER items_trigrams_update"),
              QStringLiteral("DROP TABLE items_trigrams"),
              QStringLiteral("DROP TABLE items_fts"),
              versionTwoWordIndex(),
              QStringLiteral("INSERT INTO items_fts (items_fts) VALUES ('rebuild')"),
              QStringLiteral("PRAGMA user_version = 2"),
          };
    database.query(QStringLiteral("BEGIN IMMEDIATE"));
    try {
        for (const QString &statement : statements)
            database.query(statement);
        database.query(QStringLiteral("COMMIT"));
    } catch (...) {
        database.query(QStringLiteral("ROLLBACK"));
        throw;
    }
    // A version-2 file never held the dropped indexes: their pages are given back, so the
    // upgrade grows the file as it would on a real one.
    database.query(QStringLiteral("VACUUM"));
}

bool VersionTwoHistory::copyStore(const QString &source, const QString &target)
{
    const QString file = QStringLiteral("history.sqlite");
    QDir(target).removeRecursively();
    return QDir().mkpath(QDir(target).filePath(QStringLiteral("Blobs")))
        && QFile::copy(QDir(source).filePath(file), QDir(target).filePath(file));
}

QString VersionTwoHistory::cachedStore(int count)
{
    const QString current = HistoryGenerator::cachedStore(count);
    const QString folder = current + QStringLiteral("-v2");
    const QString complete = folder + QStringLiteral("/complete");
    if (QFile::exists(complete))
        return folder;
    if (!copyStore(current, folder))
        throw SQLiteDatabase::Error(0, QStringLiteral("could not copy %1").arg(current));
    {
        SQLiteDatabase database(QDir(folder).filePath(QStringLiteral("history.sqlite")));
        downgrade(database);
        database.query(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    }
    QFile marker(complete);
    if (!marker.open(QIODevice::WriteOnly))
        qWarning("Could not mark the version-2 history as complete: %s",
            qUtf8Printable(marker.errorString()));
    return folder;
}

} // namespace corvane
