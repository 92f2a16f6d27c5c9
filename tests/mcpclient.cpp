#include "mcpclient.h"

#include "testsupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <csignal>
#include <gtest/gtest.h>

namespace corvane::test {

namespace {

constexpr int timeoutMs = 60000;

// The reply bytes with every string literal removed, to look at the JSON structure alone.
QByteArray withoutStrings(const QByteArray &json)
{
    QByteArray structure;
    bool inString = false;
    for (qsizetype i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (inString && c == '\\')
            ++i;
        else if (c == '"')
            inString = !inString;
        else if (!inString)
            structure.append(c);
    }
    return structure;
}

} // namespace

McpClient::McpClient(
    const QString &dataHome, const QString &standardErrorFile, const QStringList &arguments)
    : m_process({ .program = QStringLiteral(CORVANE_EXECUTABLE),
        .arguments = arguments,
        .environment = { { QStringLiteral("XDG_DATA_HOME"), dataHome } },
        .standardErrorFile = standardErrorFile })
    , m_standardErrorFile(standardErrorFile)
{
    // Writing to a server that has ended must fail, not end the test.
    std::signal(SIGPIPE, SIG_IGN);
}

QByteArray McpClient::nextLine()
{
    const std::optional<QByteArray> line = m_process.readLine(timeoutMs);
    if (!line)
        return {};
    QJsonParseError error;
    const QJsonDocument reply = QJsonDocument::fromJson(*line, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << line->toStdString();
    EXPECT_EQ(reply[QStringLiteral("jsonrpc")], QJsonValue(QStringLiteral("2.0")));
    const QByteArray structure = withoutStrings(*line);
    for (char space : { ' ', '\t', '\r', '\n' })
        EXPECT_FALSE(structure.contains(space)) << "not compact: " << line->toStdString();
    return *line;
}

QByteArray McpClient::request(const QByteArray &line)
{
    send(line + '\n');
    return nextLine();
}

McpClient::Answer McpClient::callTool(const QString &name, const QJsonObject &arguments)
{
    const int id = ++m_nextID;
    const QJsonObject request { { QStringLiteral("jsonrpc"), QStringLiteral("2.0") },
        { QStringLiteral("id"), id }, { QStringLiteral("method"), QStringLiteral("tools/call") },
        { QStringLiteral("params"),
            QJsonObject {
                { QStringLiteral("name"), name }, { QStringLiteral("arguments"), arguments } } } };
    Answer answer;
    if (!m_process.send(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n'))
        return answer;
    const std::optional<QByteArray> line = m_process.readLine(timeoutMs);
    if (!line)
        return answer;
    const QJsonObject reply = QJsonDocument::fromJson(*line).object();
    if (reply.value(QStringLiteral("id")) != QJsonValue(id))
        return answer;
    const QJsonObject result = reply.value(QStringLiteral("result")).toObject();
    answer.text = result[QStringLiteral("content")][0][QStringLiteral("text")].toString();
    answer.isError = result.value(QStringLiteral("isError")).toBool(true);
    answer.replied = result.contains(QStringLiteral("isError"));
    return answer;
}

QString McpClient::toolText(const QString &name, const QJsonObject &arguments, bool isError)
{
    const Answer answer = callTool(name, arguments);
    EXPECT_TRUE(answer.replied) << name.toStdString();
    EXPECT_EQ(answer.isError, isError) << name.toStdString() << ": " << answer.text.toStdString();
    return answer.text;
}

int McpClient::finish()
{
    m_process.closeInput();
    const int status = m_process.wait(timeoutMs);
    while (const std::optional<QByteArray> line = m_process.readLine(timeoutMs))
        m_unread += *line + '\n';
    m_unread += m_process.unreadOutput();
    return status;
}

QByteArray McpClient::standardError() const
{
    return fileContents(m_standardErrorFile);
}

qint64 McpClient::peakMemoryKiB() const
{
    QFile status(QStringLiteral("/proc/%1/status").arg(m_process.pid()));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

} // namespace corvane::test
