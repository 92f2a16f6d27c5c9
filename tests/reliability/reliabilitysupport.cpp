#include "reliabilitysupport.h"

#include "store/sqlitedatabase.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>

#include <cstdlib>

namespace corvane::test {

std::map<QString, QString> dataHomeEnvironment(const QString &dataHome)
{
    return { { QStringLiteral("XDG_DATA_HOME"), dataHome } };
}

int countFromEnvironment(const char *name, int fallback)
{
    const int value = qEnvironmentVariableIntValue(name);
    return value > 0 ? value : fallback;
}

StoreState readStoreState(const QString &storeDirectory)
{
    StoreState state;
    SQLiteDatabase database(storeDirectory + QStringLiteral("/history.sqlite"));
    QStringList integrity;
    for (const SQLiteDatabase::Row &row :
        database.query(QStringLiteral("PRAGMA integrity_check"))) {
        if (const QString *text = textValue(row, QStringLiteral("integrity_check")))
            integrity << *text;
    }
    state.integrity = integrity.join(u'\n');
    try {
        for (const char *index : { "items_fts", "filed_fts", "filed_trigrams" }) {
            database.query(QStringLiteral("INSERT INTO %1 (%1) VALUES ('integrity-check')")
                               .arg(QLatin1String(index)));
        }
    } catch (const SQLiteDatabase::Error &error) {
        state.searchIndexError = error.description();
    }
    state.foreignKeyViolations
        = qsizetype(database.query(QStringLiteral("PRAGMA foreign_key_check")).size());
    for (const SQLiteDatabase::Row &row :
        database.query(QStringLiteral("SELECT blob_name FROM items WHERE blob_name IS NOT NULL"))) {
        if (const QString *name = textValue(row, QStringLiteral("blob_name")))
            state.blobNamesInUse.insert(*name);
    }
    const auto count = database.query(QStringLiteral("SELECT COUNT(*) AS n FROM items"));
    if (const std::int64_t *n
        = count.empty() ? nullptr : integerValue(count[0], QStringLiteral("n")))
        state.itemCount = *n;
    const QStringList entries
        = QDir(storeDirectory + QStringLiteral("/Blobs"))
              .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    state.blobFolderEntries = QSet<QString>(entries.cbegin(), entries.cend());
    return state;
}

QString corvaneExecutable()
{
    return QStringLiteral(CORVANE_EXECUTABLE);
}

QString recorderExecutable()
{
    return QStringLiteral(RECORDER_EXECUTABLE);
}

} // namespace corvane::test
