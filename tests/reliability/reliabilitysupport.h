#pragma once

#include "childprocess.h"
#include "mcpclient.h"
#include "testsupport.h"

#include <QJsonObject>
#include <QSet>
#include <QString>

#include <memory>
#include <optional>

namespace corvane::test {

// Variables to pass to every process the tests start.
std::map<QString, QString> dataHomeEnvironment(const QString &dataHome);

// An environment variable as a positive count, or fallback.
int countFromEnvironment(const char *name, int fallback);

// What a store folder holds on disk, read with an independent connection.
struct StoreState
{
    QString integrity; // "ok" when PRAGMA integrity_check passes
    QString searchIndexError; // empty when the FTS index matches its content
    qsizetype foreignKeyViolations = 0;
    QSet<QString> blobNamesInUse;
    QSet<QString> blobFolderEntries;
    std::int64_t itemCount = 0;
};
StoreState readStoreState(const QString &storeDirectory);

// The executables under test.
QString corvaneExecutable();
QString recorderExecutable();

} // namespace corvane::test
