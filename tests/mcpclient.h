#pragma once

#include "childprocess.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace corvane::test {

// A `corvane --mcp` process on a given data folder, spoken to over its pipes, with its
// standard error in a file. Usable from any thread.
class McpClient
{
public:
    McpClient(const QString &dataHome, const QString &standardErrorFile,
        const QStringList &arguments = { QStringLiteral("--mcp") });

    bool started() const { return m_process.started(); }
    ChildProcess &process() { return m_process; }

    void send(const QByteArray &bytes) { m_process.send(bytes); }
    // The next reply line without its line feed, checked to be one compact JSON-RPC object;
    // empty at the end of output or after a minute.
    QByteArray nextLine();
    QByteArray request(const QByteArray &line);

    struct Answer
    {
        QString text;
        bool isError = true;
        // False when no well-formed reply came back.
        bool replied = false;
    };
    Answer callTool(const QString &name, const QJsonObject &arguments = {});
    // The tool's text, a test failure unless it replied with isError as given.
    QString toolText(const QString &name, const QJsonObject &arguments = {}, bool isError = false);

    // Closes standard input and waits for the exit status; -1 when it did not end.
    int finish();
    // Standard output not taken as reply lines, once finished.
    const QByteArray &unreadOutput() const { return m_unread; }
    QByteArray standardError() const;
    // The most memory the process has held so far, in KiB, from the kernel's accounting.
    qint64 peakMemoryKiB() const;

private:
    ChildProcess m_process;
    QString m_standardErrorFile;
    QByteArray m_unread;
    int m_nextID = 1000;
};

} // namespace corvane::test
