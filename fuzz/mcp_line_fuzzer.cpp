// One request line to the tool server, in process, over a store in a temporary folder. Every
// line must get no reply or exactly one line of strict JSON with the protocol's envelope.

#include "fuzzsupport.h"
#include "mcp/mcpserver.h"
#include "mcp/rawjson.h"
#include "store/clipstore.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>
#include <QTemporaryDir>

namespace {

corvane::McpServer *server = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication application(*argc, *argv);
    static QTemporaryDir folder;
    static corvane::ClipStore store(folder.filePath(QStringLiteral("Corvane")));
    static corvane::McpServer instance(store, [](const QString &) {});
    server = &instance;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The reader hands over lines without their line feed.
    const QByteArray line = QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
    if (line.contains('\n'))
        return -1;
    QByteArray reply = server->handleLine(line);
    if (reply.isEmpty())
        return 0;
    FUZZ_CHECK(reply.endsWith('\n'));
    reply.chop(1);
    FUZZ_CHECK(!reply.contains('\n'));
    // Qt's parser below is lenient about control characters and escapes; clients are not.
    FUZZ_CHECK(!corvane::containsForbiddenJsonCharacter(reply));
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    decoder.decode(reply);
    FUZZ_CHECK(!decoder.hasError());
    QJsonParseError error;
    const QJsonObject object = QJsonDocument::fromJson(reply, &error).object();
    FUZZ_CHECK(error.error == QJsonParseError::NoError);
    FUZZ_CHECK(object.value(QStringLiteral("jsonrpc")) == QStringLiteral("2.0"));
    FUZZ_CHECK(object.contains(QStringLiteral("id")));
    FUZZ_CHECK(
        object.contains(QStringLiteral("result")) != object.contains(QStringLiteral("error")));
    return 0;
}
