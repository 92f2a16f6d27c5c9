#pragma once

#include "childprocess.h"
#include "testsupport.h"

#include <QJsonObject>
#include <QSet>
#include <QString>

#include <memory>
#include <optional>

namespace corvane::test {

// A `corvane --mcp` process on a given data folder, spoken to over its pipes.
class McpClient
{
public:
    McpClient(const QString &dataHome, const QString &standardErrorFile);

    bool started() const { return m_process.started(); }
    ChildProcess &process() { return m_process; }

    struct Answer
    {
        QString text;
        bool isError = true;
        // False when no well-formed reply came back.
        bool replied = false;
    };
    Answer callTool(const QString &name, const QJsonObject &arguments = {});

private:
    ChildProcess m_process;
    int m_nextID = 0;
};

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
