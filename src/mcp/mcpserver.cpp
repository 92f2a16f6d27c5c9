#include "mcpserver.h"

#include "common/writeall.h"
#include "mcp/linereader.h"
#include "mcp/mcptools.h"
#include "mcp/rawjson.h"
#include "store/clipstore.h"
#include "store/filesystemerror.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QStringDecoder>

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <memory>
#include <optional>

namespace corvane {

namespace {

const QByteArray nullID = QByteArrayLiteral("null");

constexpr int parseErrorCode = -32700;
constexpr int invalidRequestCode = -32600;
constexpr int methodNotFoundCode = -32601;
constexpr int invalidParamsCode = -32602;

const std::array<QString, 3> acceptedProtocolVersions
    = { QStringLiteral("2025-06-18"), QStringLiteral("2025-03-26"), QStringLiteral("2024-11-05") };
const QString preferredProtocolVersion = QStringLiteral("2025-06-18");

const QString instructions = QStringLiteral(
    "Corvane is the user's clipboard history on this computer. Search it to find something they "
    "copied earlier — a link, a snippet, an error message — rather than asking them to paste "
    "it again. Pinboards are collections they curated on purpose; items on one are kept "
    "forever.");

QString serverVersion()
{
    static const QString version = [] {
        const QString built = QStringLiteral(CORVANE_VERSION);
        return built.isEmpty() ? QStringLiteral("0") : built;
    }();
    return version;
}

void writeDiagnostic(const QString &message)
{
    static const QByteArray prefix = QByteArrayLiteral("corvane-mcp: ");
    QByteArray bytes;
    // Every line of a multi-line message carries the prefix, so each stays attributable.
    for (const QString &line : message.split(u'\n'))
        bytes += prefix + line.toUtf8() + '\n';
    writeAll(STDERR_FILENO, bytes);
}

void diagnosticMessageHandler(QtMsgType, const QMessageLogContext &, const QString &message)
{
    writeDiagnostic(message);
}

QByteArray compactJson(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray successReply(const QByteArray &id, const QJsonObject &result)
{
    return QByteArrayLiteral("{\"jsonrpc\":\"2.0\",\"id\":") + id
        + QByteArrayLiteral(",\"result\":") + compactJson(result) + QByteArrayLiteral("}\n");
}

QByteArray errorReply(const QByteArray &id, int code, const QString &message)
{
    const QJsonObject error { { QStringLiteral("code"), code },
        { QStringLiteral("message"), message } };
    return QByteArrayLiteral("{\"jsonrpc\":\"2.0\",\"id\":") + id + QByteArrayLiteral(",\"error\":")
        + compactJson(error) + QByteArrayLiteral("}\n");
}

QJsonObject textResult(const QString &text, bool isError)
{
    const QJsonObject content { { QStringLiteral("type"), QStringLiteral("text") },
        { QStringLiteral("text"), text } };
    return QJsonObject { { QStringLiteral("content"), QJsonArray { content } },
        { QStringLiteral("isError"), isError } };
}

// How long the server keeps the search cache after its last request. An assistant asks in
// bursts; between them, which can last hours, the server holds SQLite's usual 2 MB only.
constexpr std::chrono::seconds searchCacheIdle { 10 };

// Widens the store's page cache while requests come, so that each search finds most of what
// the one before it read, and gives it back when they stop.
void keepSearchCache(ClipStore &store, bool keep)
{
    try {
        store.keepSearchCache(keep);
    } catch (const std::exception &error) {
        writeDiagnostic(QStringLiteral("could not resize the search cache: ")
            + McpServer::diagnosticDescription(error));
    }
}

} // namespace

McpServer::McpServer(ClipStore &store, DiagnosticSink diagnostics)
    : m_store(store)
    , m_diagnostics(std::move(diagnostics))
{ }

QByteArray McpServer::parseErrorReply()
{
    return errorReply(nullID, parseErrorCode, QStringLiteral("Parse error"));
}

QByteArray McpServer::handleLine(QByteArrayView line)
{
    QByteArray text;
    {
        // The decoded copy goes before the request runs: a note can be tens of megabytes.
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString decoded = decoder.decode(line);
        if (decoder.hasError())
            return parseErrorReply();
        const QString trimmed = decoded.trimmed();
        if (trimmed.isEmpty())
            return {};
        text = trimmed.toUtf8();
    }
    if (containsForbiddenJsonCharacter(text))
        return parseErrorReply();
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(text, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return parseErrorReply();

    const QJsonObject request = document.object();
    const QJsonValue idValue = request.value(QStringLiteral("id"));
    if (idValue.isUndefined() || idValue.isNull())
        return {};
    // The id goes back as the client wrote it: the parser would round integers beyond 64 bits.
    const QByteArray id = rawJsonMember(text, u"id")
                              .value_or(QJsonDocument(QJsonArray { idValue })
                                            .toJson(QJsonDocument::Compact)
                                            .sliced(1)
                                            .chopped(1));
    text.clear();

    const QJsonValue methodValue = request.value(QStringLiteral("method"));
    if (!methodValue.isString())
        return errorReply(id, invalidRequestCode, QStringLiteral("Not a request"));
    const QString method = methodValue.toString();
    const QJsonObject params = request.value(QStringLiteral("params")).toObject();

    if (method == u"initialize")
        return successReply(id, initializeResult(params));
    if (method == u"ping")
        return successReply(id, QJsonObject());
    if (method == u"tools/list")
        return successReply(id, QJsonObject { { QStringLiteral("tools"), mcpToolDefinitions() } });
    if (method == u"tools/call")
        return toolCallReply(id, params);
    return errorReply(id, methodNotFoundCode, QStringLiteral("Method not found: ") + method);
}

QJsonObject McpServer::initializeResult(const QJsonObject &params) const
{
    QString protocolVersion = preferredProtocolVersion;
    const QJsonValue requested = params.value(QStringLiteral("protocolVersion"));
    for (const QString &accepted : acceptedProtocolVersions) {
        if (requested.isString() && requested.toString() == accepted)
            protocolVersion = accepted;
    }
    return QJsonObject {
        { QStringLiteral("protocolVersion"), protocolVersion },
        { QStringLiteral("capabilities"),
            QJsonObject { { QStringLiteral("tools"),
                QJsonObject { { QStringLiteral("listChanged"), false } } } } },
        { QStringLiteral("serverInfo"),
            QJsonObject { { QStringLiteral("name"), QStringLiteral("corvane") },
                { QStringLiteral("title"), QStringLiteral("Corvane") },
                { QStringLiteral("version"), serverVersion() } } },
        { QStringLiteral("instructions"), instructions },
    };
}

QByteArray McpServer::toolCallReply(const QByteArray &id, const QJsonObject &params)
{
    const QJsonValue nameValue = params.value(QStringLiteral("name"));
    if (!nameValue.isString())
        return errorReply(id, invalidParamsCode, QStringLiteral("Missing tool name"));
    const QString name = nameValue.toString();
    const QJsonObject arguments = params.value(QStringLiteral("arguments")).toObject();

    std::optional<QString> answer;
    try {
        answer = callTool(name, arguments, m_store);
    } catch (const std::exception &error) {
        const QString description = diagnosticDescription(error);
        m_diagnostics(QStringLiteral("tool ") + name + QStringLiteral(" failed: ") + description);
        return successReply(
            id, textResult(QStringLiteral("Corvane could not do that: ") + description, true));
    }
    if (!answer)
        return errorReply(id, invalidParamsCode, QStringLiteral("Unknown tool: ") + name);
    return successReply(id, textResult(*answer, false));
}

QString McpServer::diagnosticDescription(const std::exception &error)
{
    if (const auto *database = dynamic_cast<const SQLiteDatabase::Error *>(&error))
        return database->description();
    if (const auto *store = dynamic_cast<const ClipStoreError *>(&error))
        return store->diagnostic();
    if (const auto *fileSystem = dynamic_cast<const FileSystemError *>(&error))
        return fileSystem->description();
    return QString::fromLocal8Bit(error.what());
}

int McpServer::run()
{
    qInstallMessageHandler(diagnosticMessageHandler);
    // A client that goes away must not kill the server mid-write; the write fails instead.
    std::signal(SIGPIPE, SIG_IGN);
    // Standard output belongs to the protocol. Replies go to a private copy of it and the
    // shared descriptor is pointed at standard error, so a stray write by any library cannot
    // corrupt the stream.
    const int replies = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (replies < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        writeDiagnostic(QStringLiteral("could not reserve standard output: ")
            + QString::fromLocal8Bit(std::strerror(errno)));
        return 1;
    }

    // No QCoreApplication: nothing here needs an event loop or the application's name, and
    // constructing one (locale, event dispatcher) was a third of the server's start.
    std::unique_ptr<ClipStore> store;
    try {
        store = std::make_unique<ClipStore>();
    } catch (const std::exception &error) {
        writeDiagnostic(QStringLiteral("could not open the clipboard history: ")
            + diagnosticDescription(error));
        return 1;
    }

    McpServer server(*store, writeDiagnostic);
    LineReader reader(STDIN_FILENO, LineReader::maximumLineBytes, writeDiagnostic);
    reader.whenIdle(searchCacheIdle, [&store] { keepSearchCache(*store, false); });
    bool canReply = true;
    while (const auto line = reader.next()) {
        keepSearchCache(*store, true);
        QByteArray reply;
        if (line->tooLong) {
            writeDiagnostic(QStringLiteral("ignored a request longer than %1 bytes")
                                .arg(LineReader::maximumLineBytes));
            reply = parseErrorReply();
        } else {
            reply = server.handleLine(line->bytes);
        }
        if (reply.isEmpty() || !canReply)
            continue;
        if (!writeAll(replies, reply)) {
            // The client stopped listening; keep reading so that it still ends at end of input.
            writeDiagnostic(QStringLiteral("could not write a reply: ")
                + QString::fromLocal8Bit(std::strerror(errno)));
            canReply = false;
        }
    }
    ::close(replies);
    return 0;
}

} // namespace corvane
