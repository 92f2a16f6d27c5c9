// Input no client should send, handled in process: every line gets the reply the protocol
// defines or a parse error, every reply is one line of valid JSON, and serving goes on.

#include "candidates.h"
#include "mcp/linereader.h"
#include "mcp/mcpserver.h"
#include "store/clipstore.h"
#include "testsupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

namespace corvane {
namespace {

const QByteArray parseError = QByteArrayLiteral(
    R"({"jsonrpc":"2.0","id":null,"error":{"code":-32700,"message":"Parse error"}})");

class HostileInput : public test::TemporaryFolderTest
{
protected:
    void SetUp() override
    {
        TemporaryFolderTest::SetUp();
        m_store = std::make_unique<ClipStore>(path(QStringLiteral("Corvane")));
        m_server = std::make_unique<McpServer>(
            *m_store, [this](const QString &message) { m_diagnostics << message; });
    }

    // The reply without its line feed, after checking it is exactly one line of strict JSON.
    QByteArray reply(const QByteArray &line)
    {
        QByteArray bytes = m_server->handleLine(line);
        if (bytes.isEmpty())
            return bytes;
        EXPECT_TRUE(bytes.endsWith('\n'));
        bytes.chop(1);
        expectStrictJson(bytes);
        // The server is still serving.
        EXPECT_EQ(m_server->handleLine(R"({"id":"after","method":"ping"})"),
            QByteArrayLiteral(R"({"jsonrpc":"2.0","id":"after","result":{}})") + '\n');
        return bytes;
    }

    static void expectStrictJson(const QByteArray &bytes)
    {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        decoder.decode(bytes);
        EXPECT_FALSE(decoder.hasError()) << "reply is not UTF-8";
        // Qt's parser lets raw control characters through inside strings; JSON does not.
        for (char c : bytes)
            EXPECT_GE(static_cast<unsigned char>(c), 0x20) << "raw control character in reply";
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << bytes.left(300).toStdString();
        EXPECT_TRUE(document.isObject());
    }

    QString toolText(const QByteArray &replyLine, bool isError = false)
    {
        const QJsonObject result
            = QJsonDocument::fromJson(replyLine)[QStringLiteral("result")].toObject();
        EXPECT_EQ(result[QStringLiteral("isError")], QJsonValue(isError))
            << replyLine.left(300).toStdString();
        return result[QStringLiteral("content")][0][QStringLiteral("text")].toString();
    }

    QByteArray call(const QString &tool, const QByteArray &argumentsJson)
    {
        return reply(R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":")"
            + tool.toUtf8() + R"(","arguments":)" + argumentsJson + "}}");
    }

    ClipStore &store() { return *m_store; }
    QStringList m_diagnostics;

private:
    std::unique_ptr<ClipStore> m_store;
    std::unique_ptr<McpServer> m_server;
};

TEST_F(HostileInput, MalformedBytesAndStructuresGetAParseErrorOrTheirDefinedReply)
{
    const QByteArray deepArrays = QByteArray(100000, '[') + QByteArray(100000, ']');
    const QByteArray deepObjects
        = QByteArray("{\"a\":").repeated(100000) + "1" + QByteArray(100000, '}');
    struct Case
    {
        const char *what;
        QByteArray line;
        QByteArray expected; // empty: no reply at all
    };
    const Case cases[] = {
        { "invalid UTF-8 in a string", "{\"id\":1,\"method\":\"ping\xff\"}", parseError },
        { "an overlong encoding", "{\"id\":1,\"method\":\"\xc0\xafping\"}", parseError },
        { "a lone surrogate encoded", "{\"id\":1,\"method\":\"\xed\xa0\x80\"}", parseError },
        { "truncated UTF-8 at the end", "{\"id\":1,\"method\":\"ping\"}\xe2\x82", parseError },
        { "NUL inside a string", QByteArray("{\"id\":1,\"method\":\"pi\0ng\"}", 25), parseError },
        { "NUL between members", QByteArray("{\"id\":1,\0\"method\":\"ping\"}", 25), parseError },
        { "NUL alone", QByteArray(1, '\0'), parseError },
        { "raw line feed escape kept", R"({"id":1,"method":"a\nb"})",
            R"({"jsonrpc":"2.0","id":1,"error":{"code":-32601,"message":"Method not found: a\nb"}})" },
        { "escaped NUL in the method", R"({"id":1,"method":"a\u0000b"})",
            R"({"jsonrpc":"2.0","id":1,"error":{"code":-32601,"message":"Method not found: a\u0000b"}})" },
        { "deeply nested arrays", deepArrays, parseError },
        { "deeply nested params", R"({"id":1,"method":"ping","params":)" + deepObjects + "}",
            parseError },
        { "nested id within the parser's depth",
            R"({"id":)" + QByteArray(500, '[') + QByteArray(500, ']') + R"(,"method":"ping"})",
            R"({"jsonrpc":"2.0","id":)" + QByteArray(500, '[') + QByteArray(500, ']')
                + R"(,"result":{}})" },
        { "an id beyond 64 bits", R"({"id":123456789012345678901234567890,"method":"ping"})",
            R"({"jsonrpc":"2.0","id":123456789012345678901234567890,"result":{}})" },
        { "a fractional id", R"({"id":-0.5e-3,"method":"ping"})",
            R"({"jsonrpc":"2.0","id":-0.5e-3,"result":{}})" },
        { "an id beyond a double", R"({"id":1e999,"method":"ping"})", parseError },
        { "duplicate ids", R"({"id":1,"method":"ping","id":"two"})",
            R"({"jsonrpc":"2.0","id":"two","result":{}})" },
        { "duplicate methods", R"({"id":1,"method":"nothing","method":"ping"})",
            R"({"jsonrpc":"2.0","id":1,"result":{}})" },
        { "a later null id makes a notification", R"({"id":1,"method":"ping","id":null})", {} },
        { "a string with a raw tab", "{\"id\":1,\"method\":\"a\tb\"}", parseError },
        { "a raw tab in a string id", "{\"id\":\"a\tb\",\"method\":\"ping\"}", parseError },
        { "a raw carriage return in a key", "{\"id\":1,\"me\rthod\":\"ping\"}", parseError },
        { "a form feed between members", "{\"id\":1,\f\"method\":\"ping\"}", parseError },
        { "a backslash before a raw control character in an id",
            "{\"id\":{\"a\":\"\\\x1c\"},\"method\":\"ping\"}", parseError },
        { "an escape JSON does not define", R"({"id":"\q","method":"ping"})", parseError },
        { "a short unicode escape", R"({"id":"\u12","method":"ping"})", parseError },
        { "a unicode escape cut by the end of the string", R"({"id":"\u12"})", parseError },
        { "escaped backslash before a closing quote", R"({"id":"\\","method":"ping"})",
            R"({"jsonrpc":"2.0","id":"\\","result":{}})" },
        { "trailing garbage", R"({"id":1,"method":"ping"} x)", parseError },
        { "two objects", R"({"id":1,"method":"ping"}{"id":2,"method":"ping"})", parseError },
        { "a number", "42", parseError },
        { "a bare string", R"("ping")", parseError },
        { "unclosed", R"({"id":1,"method":"ping")", parseError },
        { "a batch", R"([{"jsonrpc":"2.0","id":1,"method":"ping"}])", parseError },
        { "blanks and a carriage return around the request",
            "  \t{\"jsonrpc\":\"2.0\",\"id\":8,\"method\":\"ping\"}\t \r",
            R"({"jsonrpc":"2.0","id":8,"result":{}})" },
        { "no jsonrpc member", R"({"id":"abc","method":"ping"})",
            R"({"jsonrpc":"2.0","id":"abc","result":{}})" },
        { "an id beyond a double's precision", R"({"id":9007199254740993,"method":"ping"})",
            R"({"jsonrpc":"2.0","id":9007199254740993,"result":{}})" },
        { "an object id loses its blanks", R"({"id":{"n": [1, 2]},"method":"ping"})",
            R"({"jsonrpc":"2.0","id":{"n":[1,2]},"result":{}})" },
        { "a response", R"({"jsonrpc":"2.0","id":5,"result":{}})",
            R"({"jsonrpc":"2.0","id":5,"error":{"code":-32600,"message":"Not a request"}})" },
        { "a method that is no string", R"({"jsonrpc":"2.0","id":"x","method":3})",
            R"({"jsonrpc":"2.0","id":"x","error":{"code":-32600,"message":"Not a request"}})" },
        { "methods are case-sensitive", R"({"id":9,"method":"Ping"})",
            R"({"jsonrpc":"2.0","id":9,"error":{"code":-32601,"message":"Method not found: Ping"}})" },
        { "a call without a tool name",
            R"({"id":11,"method":"tools/call","params":{"arguments":{}}})",
            R"({"jsonrpc":"2.0","id":11,"error":{"code":-32602,"message":"Missing tool name"}})" },
        { "tool names are case-sensitive",
            R"({"id":13,"method":"tools/call","params":{"name":"Search_Clipboard"}})",
            R"({"jsonrpc":"2.0","id":13,"error":{"code":-32602,"message":"Unknown tool: Search_Clipboard"}})" },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(reply(c.line), c.expected);
    }
}

TEST_F(HostileInput, EveryArgumentOfEveryToolWithEveryWrongTypeCountsAsMissing)
{
    const auto stored = store().record(
        test::textCandidate(QStringLiteral("kept note")), 0, 0, ClipStore::payloadCapBytes);
    ASSERT_TRUE(stored);
    const std::int64_t id = stored->id;
    store().createPinboard(QStringLiteral("Work"));
    const QByteArray idText = QByteArray::number(id);

    const QList<QByteArray> notStrings = { "null", "true", "false", "0", "-1.5", "1e308", "[]",
        "[\"Work\"]", "{}", R"({"text":"x"})" };
    const QList<QByteArray> notIntegers = { "null", "true", "false", "1.5", "-0.25", "1e300",
        "-1e300", "9.3e18", "\"" + idText + "\"", "[" + idText + "]", "{}", R"({"id":1})" };

    const QString listing = toolText(call(QStringLiteral("search_clipboard"), "{}"));
    ASSERT_TRUE(listing.startsWith(QStringLiteral("[") + QString::number(id) + u']'));
    for (const QByteArray &wrong : notStrings) {
        SCOPED_TRACE(wrong.toStdString());
        for (const char *key : { "query", "kind", "app" }) {
            EXPECT_EQ(toolText(call(QStringLiteral("search_clipboard"),
                          "{\"" + QByteArray(key) + "\":" + wrong + "}")),
                listing);
        }
        EXPECT_EQ(toolText(call(QStringLiteral("save_clipboard_item"), "{\"text\":" + wrong + "}")),
            QStringLiteral("Give me some text to save."));
        EXPECT_EQ(toolText(call(QStringLiteral("create_pinboard"), "{\"name\":" + wrong + "}")),
            QStringLiteral("Give the pinboard a name."));
        EXPECT_EQ(toolText(call(QStringLiteral("add_to_pinboard"),
                      "{\"pinboard\":" + wrong + ",\"item_id\":" + idText + "}")),
            QStringLiteral("Give me both a pinboard name and an item id."));
        EXPECT_EQ(toolText(call(QStringLiteral("list_pinboards"), "{\"name\":" + wrong + "}")),
            QStringLiteral("Work — 0 items"));
    }
    for (const QByteArray &wrong : notIntegers) {
        SCOPED_TRACE(wrong.toStdString());
        EXPECT_EQ(toolText(call(QStringLiteral("search_clipboard"), "{\"limit\":" + wrong + "}")),
            listing);
        EXPECT_EQ(toolText(call(QStringLiteral("get_clipboard_item"), "{\"id\":" + wrong + "}")),
            QStringLiteral("Give me the item's id."));
        EXPECT_EQ(toolText(call(QStringLiteral("add_to_pinboard"),
                      "{\"pinboard\":\"Work\",\"item_id\":" + wrong + "}")),
            QStringLiteral("Give me both a pinboard name and an item id."));
    }
    // Whole argument objects and params of the wrong type are as if absent.
    for (const QByteArray &wrong : notStrings) {
        EXPECT_EQ(toolText(call(QStringLiteral("get_clipboard_item"), wrong)),
            QStringLiteral("Give me the item's id."));
        EXPECT_EQ(reply(R"({"id":1,"method":"tools/call","params":)" + wrong + "}"),
            R"({"jsonrpc":"2.0","id":1,"error":{"code":-32602,"message":"Missing tool name"}})");
        EXPECT_EQ(reply(R"({"id":1,"method":"tools/call","params":{"name":)" + wrong + "}}"),
            R"({"jsonrpc":"2.0","id":1,"error":{"code":-32602,"message":"Missing tool name"}})");
    }
    // Integral ids at the ends of the 64-bit range are ids like any other.
    for (const char *extreme : { "9223372036854775807", "-9223372036854775808", "0", "-0.0" }) {
        const QString text = toolText(
            call(QStringLiteral("get_clipboard_item"), "{\"id\":" + QByteArray(extreme) + "}"));
        EXPECT_TRUE(text.startsWith(QStringLiteral("There is no clipboard item with id ")))
            << text.toStdString();
    }
    // Nothing was saved or created by any of it.
    EXPECT_EQ(store().statistics().itemCount, 1);
    EXPECT_EQ(store().pinboards().size(), 1u);
    EXPECT_TRUE(m_diagnostics.isEmpty()) << m_diagnostics.join(u'\n').toStdString();
}

TEST_F(HostileInput, ATensOfMegabytesNoteIsSavedWholeAndFoundAgain)
{
    // 24 MiB of text with escapes, under the payload cap and the line limit.
    const QByteArray unit = R"(line \"quoted\" \\ path\n)";
    const QByteArray text = unit.repeated(24 * 1024 * 1024 / unit.size());
    const QString saved
        = toolText(call(QStringLiteral("save_clipboard_item"), "{\"text\":\"" + text + "\"}"));
    ASSERT_TRUE(saved.startsWith(QStringLiteral("Saved as item "))) << saved.toStdString();
    const QString id = saved.mid(14).chopped(1);
    const QString full
        = toolText(call(QStringLiteral("get_clipboard_item"), "{\"id\":" + id.toUtf8() + "}"));
    EXPECT_TRUE(full.endsWith(QStringLiteral("line \"quoted\" \\ path\n")));
    EXPECT_GT(full.size(), 20 * 1024 * 1024);
}

// The reader of the real server, over a socket pair, with a small limit to keep it quick:
// each line too long is dropped as it arrives (an unterminated last one too) and reading goes
// on after it.
TEST(LineReaderLimit, DropsOverlongLinesAsTheyArriveAndReadsTheLinesAfterThem)
{
    using Lines = std::vector<std::pair<QByteArray, bool>>;
    const struct
    {
        QByteArray input;
        qsizetype limit;
        Lines lines;
    } cases[] = {
        { "short\n" + QByteArray(100000, 'x') + "\n" + QByteArray(16, 'y') + "\n"
                + QByteArray(17, 'z') + "\nlast",
            16,
            { { "short", false }, { {}, true }, { QByteArray(16, 'y'), false }, { {}, true },
                { "last", false } } },
        { "ok\n" + QByteArray(200000, 'x'), 1000, { { "ok", false }, { {}, true } } },
    };
    for (const auto &c : cases) {
        int ends[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
        std::thread writer([&] {
            ::write(ends[1], c.input.constData(), size_t(c.input.size()));
            ::close(ends[1]);
        });
        LineReader reader(ends[0], c.limit);
        Lines lines;
        while (const auto line = reader.next())
            lines.emplace_back(line->bytes, line->tooLong);
        writer.join();
        ::close(ends[0]);
        EXPECT_EQ(lines, c.lines);
    }
}

// The server gives back its search cache while no request comes: the reader says so once per
// wait, and only when the wait outlasts the idle time.
TEST(LineReaderIdle, ReportsEachLongWaitOnceAndNeverAWaitForBufferedInput)
{
    int ends[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    ASSERT_EQ(::write(ends[1], "first\nsecond\n", 13), 13);
    std::atomic<int> idles = 0;
    QStringList events;
    LineReader reader(ends[0]);
    reader.whenIdle(std::chrono::milliseconds(10), [&] {
        events << QStringLiteral("idle");
        ++idles;
    });
    std::thread writer([&] {
        // Bounded, so that a reader that never reports idleness fails instead of hanging.
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (idles == 0 && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_EQ(::write(ends[1], "third\n", 6), 6);
        ::close(ends[1]);
    });
    while (const auto line = reader.next())
        events << QString::fromUtf8(line->bytes);
    writer.join();
    ::close(ends[0]);
    EXPECT_EQ(events,
        QStringList({ QStringLiteral("first"), QStringLiteral("second"), QStringLiteral("idle"),
            QStringLiteral("third") }));
}

} // namespace
} // namespace corvane
