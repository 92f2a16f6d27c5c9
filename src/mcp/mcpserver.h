#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonObject>
#include <QString>

#include <exception>
#include <functional>

namespace corvane {

class ClipStore;

// The Model Context Protocol server of `corvane --mcp`: JSON-RPC 2.0 requests, one per line,
// each answered by one line of compact JSON. It keeps nothing between requests but the store.
class McpServer
{
public:
    // Receives each diagnostic message (without prefix or line feed).
    using DiagnosticSink = std::function<void(const QString &message)>;

    McpServer(ClipStore &store, DiagnosticSink diagnostics);

    // The reply to one line of input, ending in a line feed; empty when the line gets no
    // reply (blank lines and notifications). Malformed input gets an error reply; never throws
    // for a failing tool, which is answered as a result with "isError" true.
    QByteArray handleLine(QByteArrayView line);

    // The reply to a line that is not a JSON object, or too long to be read at all.
    static QByteArray parseErrorReply();

    // Serves standard input and output: opens the store, answers each line before reading the
    // next and gives 0 at the end of input, 1 when the store cannot be opened. Diagnostics,
    // Qt's messages included, go to standard error prefixed "corvane-mcp: ".
    static int run();

    // The error's own text, as diagnostics and failed tool results show it.
    static QString diagnosticDescription(const std::exception &error);

private:
    QJsonObject initializeResult(const QJsonObject &params) const;
    QByteArray toolCallReply(const QByteArray &id, const QJsonObject &params);

    ClipStore &m_store;
    DiagnosticSink m_diagnostics;
};

} // namespace corvane
