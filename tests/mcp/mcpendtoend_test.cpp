// Starts the real executable in its tool server mode and speaks JSON-RPC over its pipes.

#include "mcpclient.h"
#include "store/clipstore.h"
#include "store/sqlitedatabase.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>
#include <optional>

namespace corvane {
namespace {

using test::McpClient;

constexpr int timeoutMs = 30000;

class McpEndToEndTest : public test::TemporaryFolderTest
{
protected:
    QString dataHome() const { return path(QStringLiteral("data")); }
    // A fresh file for the next server's standard error.
    QString logFile() { return path(QStringLiteral("server-%1.log").arg(++m_logs)); }
    QString storeDirectory() const { return dataHome() + QStringLiteral("/Corvane"); }

    // Every diagnostic line carries the prefix; nothing else reaches standard error.
    static void expectOnlyDiagnostics(const QByteArray &standardError)
    {
        for (const QByteArray &line : standardError.split('\n')) {
            if (!line.isEmpty()) {
                EXPECT_TRUE(line.startsWith("corvane-mcp: ")) << line.toStdString();
            }
        }
    }

    // The server ends with status 0 once its input closes, having written nothing but its
    // replies and nothing but prefixed diagnostics; what it wrote to standard error.
    static QByteArray expectCleanEnd(McpClient &server)
    {
        EXPECT_EQ(server.finish(), 0);
        EXPECT_TRUE(server.unreadOutput().isEmpty());
        const QByteArray diagnostics = server.standardError();
        expectOnlyDiagnostics(diagnostics);
        return diagnostics;
    }

    static QByteArray ping(int id)
    {
        return "{\"jsonrpc\":\"2.0\",\"id\":" + QByteArray::number(id) + ",\"method\":\"ping\"}";
    }
    static QByteArray pong(int id)
    {
        return "{\"jsonrpc\":\"2.0\",\"id\":" + QByteArray::number(id) + ",\"result\":{}}";
    }

private:
    int m_logs = 0;
};

QJsonObject json(const char *text)
{
    return QJsonDocument::fromJson(text).object();
}

QJsonObject parsed(const QByteArray &line)
{
    return QJsonDocument::fromJson(line).object();
}

TEST_F(McpEndToEndTest, ProtocolEnvelopeCasesAreAnsweredExactly)
{
    McpClient server(dataHome(), logFile());
    ASSERT_TRUE(server.started());

    // Lines that get no reply: the ping after each proves nothing was written for them.
    const QByteArray silent[] = {
        "",
        "   \t  ",
        R"({"jsonrpc":"2.0","method":"ping"})",
        R"({"jsonrpc":"2.0","method":"notifications/initialized"})",
        R"({"jsonrpc":"2.0","id":null,"method":"no/such/method"})",
        R"({"jsonrpc":"2.0"})",
        "\xc2\xa0\xe2\x80\x83",
    };
    int pingID = 0;
    for (const QByteArray &line : silent) {
        SCOPED_TRACE(line.toStdString());
        server.send(line + '\n');
        ++pingID;
        EXPECT_EQ(server.request(ping(pingID)), pong(pingID));
    }

    // Malformed and unusual requests, answered by the same code in process: mcp_tests.
    EXPECT_EQ(server.request(R"({"jsonrpc":"2.0","id":7,"method":"ping"})"),
        R"({"jsonrpc":"2.0","id":7,"result":{}})");

    // Member order inside objects is free, so these compare as JSON values.
    const QByteArray instructions
        = "Corvane is the user's clipboard history on this computer. Search it to find something "
          "they copied earlier — a link, a snippet, an error message — rather than asking them to "
          "paste it again. Pinboards are collections they curated on purpose; items on one are "
          "kept forever.";
    const auto initializeReply = [&](int id, const char *version) {
        return parsed(R"({"jsonrpc":"2.0","id":)" + QByteArray::number(id)
            + R"(,"result":{"protocolVersion":")" + version
            + R"(","capabilities":{"tools":{"listChanged":false}},"serverInfo":{"name":"corvane","title":"Corvane","version":")"
            + CORVANE_VERSION + R"("},"instructions":")" + instructions + "\"}}");
    };
    const struct
    {
        QByteArray request;
        const char *version;
    } handshakes[] = {
        { R"({"jsonrpc":"2.0","id":20,"method":"initialize","params":{"protocolVersion":"2025-03-26","capabilities":{}}})",
            "2025-03-26" },
        { R"({"jsonrpc":"2.0","id":21,"method":"initialize","params":{"protocolVersion":"2024-11-05"}})",
            "2024-11-05" },
        { R"({"jsonrpc":"2.0","id":22,"method":"initialize","params":{"protocolVersion":"2025-06-18"}})",
            "2025-06-18" },
        { R"({"jsonrpc":"2.0","id":23,"method":"initialize","params":{"protocolVersion":"2099-01-01"}})",
            "2025-06-18" },
        { R"({"jsonrpc":"2.0","id":24,"method":"initialize","params":{"protocolVersion":20250326}})",
            "2025-06-18" },
        { R"({"jsonrpc":"2.0","id":25,"method":"initialize"})", "2025-06-18" },
        { R"({"jsonrpc":"2.0","id":26,"method":"initialize","params":["2025-03-26"]})",
            "2025-06-18" },
    };
    for (const auto &handshake : handshakes) {
        SCOPED_TRACE(handshake.request.toStdString());
        const QByteArray reply = server.request(handshake.request);
        EXPECT_EQ(parsed(reply),
            initializeReply(
                parsed(handshake.request)[QStringLiteral("id")].toInt(), handshake.version));
        // Non-ASCII goes out as UTF-8, not as escapes.
        EXPECT_TRUE(reply.contains("earlier — a link")) << reply.toStdString();
    }

    // A solidus in a reply is not escaped.
    const QByteArray saved = server.request(
        R"({"id":31,"method":"tools/call","params":{"name":"save_clipboard_item","arguments":{"text":"https://example.com/a/b"}}})");
    EXPECT_EQ(parsed(saved),
        json(
            R"({"jsonrpc":"2.0","id":31,"result":{"content":[{"type":"text","text":"Saved as item 1."}],"isError":false}})"));
    const QByteArray found = server.request(
        R"({"id":32,"method":"tools/call","params":{"name":"search_clipboard","arguments":{"query":"example"}}})");
    EXPECT_TRUE(found.contains("\\nhttps://example.com/a/b\"")) << found.toStdString();

    // Input ends without a final line feed: that last request is still answered.
    server.send(ping(99));
    EXPECT_EQ(server.finish(), 0);
    EXPECT_EQ(server.unreadOutput(), pong(99) + '\n');
    expectOnlyDiagnostics(server.standardError());
}

// The schemas themselves are checked by the official client's interop test.
TEST_F(McpEndToEndTest, ToolListNamesTheSixToolsTheSameOnEveryRequest)
{
    McpClient server(dataHome(), logFile());
    ASSERT_TRUE(server.started());
    const QJsonObject first
        = parsed(server.request(R"({"jsonrpc":"2.0","id":"list","method":"tools/list"})"));
    QStringList names;
    for (const QJsonValue &tool : first[u"result"][u"tools"].toArray())
        names << tool[u"name"].toString();
    EXPECT_EQ(names,
        QStringList({ QStringLiteral("search_clipboard"), QStringLiteral("get_clipboard_item"),
            QStringLiteral("save_clipboard_item"), QStringLiteral("list_pinboards"),
            QStringLiteral("create_pinboard"), QStringLiteral("add_to_pinboard") }));
    // The history lives on the user's own machine, whatever its system.
    EXPECT_TRUE(first[u"result"][u"tools"][0][u"description"].toString().startsWith(
        u"Search everything the user has copied on this computer. "));
    EXPECT_EQ(
        parsed(server.request(
            R"({"jsonrpc":"2.0","id":"list","method":"tools/list","params":{"cursor":"x"}})")),
        first);
    expectCleanEnd(server);
}

// Records a copy into the store as the application would have, `minute` minutes after
// 2024-05-01T12:00Z; its id.
std::int64_t record(ClipStore &store, ClipKind kind, const QString &title,
    std::optional<QString> subtitle, std::optional<QString> text, const char *bundleID,
    const char *appName, int minute, std::optional<QByteArray> payload = std::nullopt)
{
    ClipCandidate candidate;
    candidate.kind = kind;
    candidate.title = title;
    candidate.subtitle = std::move(subtitle);
    candidate.text = text ? std::optional(text->toUtf8()) : std::nullopt;
    candidate.payload = std::move(payload);
    candidate.byteCount = candidate.text ? candidate.text->size() : 100;
    if (bundleID)
        candidate.sourceBundleID = QString::fromUtf8(bundleID);
    if (appName)
        candidate.sourceAppName = QString::fromUtf8(appName);
    candidate.capturedAt = fromMillis(1714564800000 + minute * 60000LL);
    const auto item = store.record(candidate, 0, 0, ClipStore::payloadCapBytes);
    EXPECT_TRUE(item.has_value());
    return item ? item->id : -1;
}

// The search tool's answer for up to two arguments, each given by its name and value.
QString search(McpClient &server, const char *name = nullptr, const QJsonValue &value = {},
    const char *secondName = nullptr, const QJsonValue &secondValue = {})
{
    QJsonObject arguments;
    if (name)
        arguments.insert(QLatin1String(name), value);
    if (secondName)
        arguments.insert(QLatin1String(secondName), secondValue);
    return server.toolText(QStringLiteral("search_clipboard"), arguments);
}

qsizetype descriptionCount(const QString &answer)
{
    return answer.startsWith(u'[') ? answer.count(QStringLiteral("\n\n[")) + 1 : 0;
}

TEST_F(McpEndToEndTest, SearchAndGetDescribeTheHistory)
{
    const QString longLine = QString(250, u'a');
    {
        McpClient empty(dataHome(), logFile());
        ASSERT_TRUE(empty.started());
        const QString none = QStringLiteral("The clipboard history is empty.");
        EXPECT_EQ(search(empty), none);
        EXPECT_EQ(search(empty, "query", QStringLiteral("  \n ")), none);
        EXPECT_EQ(search(empty, "kind", QStringLiteral("image")), none);
        EXPECT_EQ(search(empty, "query", QStringLiteral(" café ")),
            QStringLiteral("Nothing in the clipboard history matches “café”."));
        expectCleanEnd(empty);
    }

    ClipStore history(storeDirectory());
    const std::int64_t hello = record(history, ClipKind::text, QStringLiteral("Hello world"),
        std::nullopt, QStringLiteral("Hello world"), "org.gnome.Terminal", "Terminal", 0);
    const std::int64_t image
        = record(history, ClipKind::image, QStringLiteral("Image"), QStringLiteral("1 × 1"),
            std::nullopt, "org.gimp.GIMP", "GIMP", 1, QByteArray("not really a PNG"));
    const std::int64_t longText
        = record(history, ClipKind::text, longLine, QStringLiteral("second line"),
            longLine + QStringLiteral("\nsecond line"), nullptr, nullptr, 2);
    const std::int64_t link
        = record(history, ClipKind::link, QStringLiteral("https://example.org/page"), std::nullopt,
            QStringLiteral("https://example.org/page"), "org.mozilla.firefox", "Firefox", 3);
    ASSERT_TRUE(history.setRecognizedText(
        image, QStringLiteral("Traceback (most recent call last):\nValueError: bad")));
    const QString imageText = QStringLiteral("\nText in image: Traceback (most recent call last):");

    const QString helloDescription
        = QStringLiteral("[%1] text · 2024-05-01T12:00:00Z · from Terminal\nHello world")
              .arg(hello);
    const QString imageHeader
        = QStringLiteral("[%1] image · 2024-05-01T12:01:00Z · from GIMP\nImage\n1 × 1").arg(image);
    const QString linkDescription = QStringLiteral(
        "[%1] link · 2024-05-01T12:03:00Z · from Firefox\nhttps://example.org/page")
                                        .arg(link);
    const QString longHeader = QStringLiteral("[%1] text · 2024-05-01T12:02:00Z\n").arg(longText);

    McpClient server(dataHome(), logFile());
    ASSERT_TRUE(server.started());
    EXPECT_EQ(search(server),
        QStringList({ linkDescription,
                        longHeader + QString(200, u'a') + QStringLiteral("…\nsecond line\n")
                            + longLine + QStringLiteral("\nsecond line"),
                        imageHeader, helloDescription })
            .join(QStringLiteral("\n\n")));
    EXPECT_EQ(search(server, "query", QStringLiteral("  hello  ")), helloDescription);
    EXPECT_EQ(search(server, "query", QStringLiteral("example"), "kind", QStringLiteral("link")),
        linkDescription);
    EXPECT_EQ(search(server, "query", QStringLiteral("nowhere"), "kind", QStringLiteral("link")),
        QStringLiteral("Nothing in the clipboard history matches “nowhere”."));
    EXPECT_EQ(search(server, "kind", QStringLiteral("image")), imageHeader);
    // An image found by the words read in it says which.
    EXPECT_EQ(search(server, "query", QStringLiteral("valueerror")), imageHeader + imageText);
    EXPECT_EQ(descriptionCount(search(server, "kind", QStringLiteral("Text"))), 4);
    EXPECT_EQ(search(server, "app", QStringLiteral("org.gnome.Terminal")), helloDescription);
    EXPECT_EQ(descriptionCount(search(server, "app", QString())), 4);
    EXPECT_EQ(search(server, "app", QStringLiteral("org.example.Nothing")),
        QStringLiteral("The clipboard history is empty."));

    const auto get = [&](QJsonValue id) {
        return server.toolText(
            QStringLiteral("get_clipboard_item"), { { QStringLiteral("id"), id } });
    };
    EXPECT_EQ(get(double(longText)),
        longHeader + longLine + QStringLiteral("\nsecond line\n") + longLine
            + QStringLiteral("\nsecond line"));
    EXPECT_EQ(get(double(image)),
        imageHeader + imageText
            + QStringLiteral("\n(Image data is not included. Open Corvane to see it.)"));
    EXPECT_EQ(get(hello + 0.0), helloDescription);
    EXPECT_EQ(get(999),
        QStringLiteral("There is no clipboard item with id 999. It may have been deleted."));
    EXPECT_EQ(get(-4),
        QStringLiteral("There is no clipboard item with id -4. It may have been deleted."));
    // Ids of the wrong type are the hostile-input table's part.
    EXPECT_EQ(server.toolText(QStringLiteral("get_clipboard_item")),
        QStringLiteral("Give me the item's id."));

    // Numbers written with every digit: one beyond 2^53 is not rounded to a neighbour.
    const QByteArray precise = server.request(
        R"({"id":1,"method":"tools/call","params":{"name":"get_clipboard_item","arguments":{"id":9007199254740993}}})");
    EXPECT_TRUE(precise.contains("id 9007199254740993. It may")) << precise.toStdString();

    expectCleanEnd(server);
}

TEST_F(McpEndToEndTest, SearchLimitIsClampedToOneToAHundred)
{
    {
        ClipStore history(storeDirectory());
        for (int i = 0; i < 105; ++i) {
            record(history, ClipKind::text, QStringLiteral("note %1").arg(i), std::nullopt,
                QStringLiteral("note %1").arg(i), "org.example.Notes", "Notes", i);
        }
    }
    McpClient server(dataHome(), logFile());
    ASSERT_TRUE(server.started());
    const struct
    {
        QJsonValue limit;
        qsizetype count;
    } cases[] = {
        { QJsonValue(QJsonValue::Undefined), 20 },
        { 0, 1 },
        { -5, 1 },
        { 3, 3 },
        { 3.0, 3 },
        { 100, 100 },
        { 500, 100 },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(QJsonDocument(QJsonArray { c.limit }).toJson().toStdString());
        QJsonObject arguments;
        if (!c.limit.isUndefined())
            arguments.insert(QStringLiteral("limit"), c.limit);
        const QString answer = server.toolText(QStringLiteral("search_clipboard"), arguments);
        EXPECT_EQ(descriptionCount(answer), c.count);
        // Newest first.
        EXPECT_TRUE(answer.contains(QStringLiteral("\nnote 104")))
            << answer.left(200).toStdString();
    }
    expectCleanEnd(server);
}

TEST_F(McpEndToEndTest, SavedNotesAreRecordedAsTheAssistantsText)
{
    // Opened before the server, which then finds the schema in place.
    ClipStore store(storeDirectory());
    McpClient server(dataHome(), logFile());
    ASSERT_TRUE(server.started());
    const auto save = [&](QJsonValue text) {
        return server.toolText(
            QStringLiteral("save_clipboard_item"), { { QStringLiteral("text"), text } });
    };
    // Saves text and gives the item the store now holds for it.
    const auto saved = [&](const QString &text) -> std::optional<ClipItem> {
        const QString answer = save(text);
        const QRegularExpressionMatch match
            = QRegularExpression(QStringLiteral("^Saved as item (\\d+)\\.$")).match(answer);
        EXPECT_TRUE(match.hasMatch()) << answer.toStdString();
        return match.hasMatch() ? store.item(match.captured(1).toLongLong()) : std::nullopt;
    };

    const struct
    {
        const char *name;
        QString text;
        ClipKind kind;
        QString title;
        std::optional<QString> subtitle;
    } cases[] = {
        { "spaces around a one-line note are kept", QStringLiteral("  padded note  "),
            ClipKind::text, QStringLiteral("  padded note  "), std::nullopt },
        { "the first line is the title, the rest trimmed the subtitle",
            QStringLiteral("Meeting\n\n  room 4, 3 pm  \n"), ClipKind::text,
            QStringLiteral("Meeting"), QStringLiteral("room 4, 3 pm") },
        { "a web address is a link", QStringLiteral("https://example.com/docs?q=1"), ClipKind::link,
            QStringLiteral("https://example.com/docs?q=1"), std::nullopt },
        { "an address followed by a word is text", QStringLiteral("https://example.com/docs more"),
            ClipKind::text, QStringLiteral("https://example.com/docs more"), std::nullopt },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const auto item = saved(c.text);
        ASSERT_TRUE(item.has_value());
        EXPECT_EQ(item->kind, c.kind);
        EXPECT_EQ(item->text, c.text);
        EXPECT_EQ(item->title, c.title);
        EXPECT_EQ(item->subtitle, c.subtitle);
        EXPECT_EQ(item->byteCount, c.text.toUtf8().size());
        EXPECT_EQ(item->sourceAppName, QStringLiteral("AI assistant"));
        EXPECT_EQ(item->sourceBundleID, std::nullopt);
        EXPECT_FALSE(item->isConcealed);
    }

    // The note's description names the assistant as its source.
    const auto note = saved(QStringLiteral("café ☕ 42"));
    ASSERT_TRUE(note.has_value());
    EXPECT_EQ(note->byteCount, 12);
    const QString description = server.toolText(
        QStringLiteral("get_clipboard_item"), { { QStringLiteral("id"), double(note->id) } });
    EXPECT_TRUE(QRegularExpression(
        QStringLiteral("^\\[%1\\] text · \\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ · from AI "
                       "assistant\ncafé ☕ 42$")
            .arg(note->id))
                    .match(description)
                    .hasMatch())
        << description.toStdString();

    // A repeat is refreshed and answered with the same id.
    const QString first = save(QStringLiteral("the same note"));
    EXPECT_EQ(save(QStringLiteral("the same note")), first);

    const QString noText = QStringLiteral("Give me some text to save.");
    for (const QJsonValue &wrong : { QJsonValue(QStringLiteral(" \n\t\u2003")),
             QJsonValue(QString()), QJsonValue(5), QJsonValue(QJsonArray { QStringLiteral("x") }) })
        EXPECT_EQ(save(wrong), noText);
    EXPECT_EQ(server.toolText(QStringLiteral("save_clipboard_item")), noText);

    // A line of over 32 MiB is read whole, and the note refused as over the cap.
    EXPECT_EQ(save(QString(ClipStore::payloadCapBytes + 1, u'x')),
        QStringLiteral(
            "That was not saved — it looked like a credential, or it was already there."));

    expectCleanEnd(server);
}

TEST_F(McpEndToEndTest, PinboardsAreListedCreatedAndFilled)
{
    McpClient server(dataHome(), logFile());
    ASSERT_TRUE(server.started());
    const auto call = [&](const char *tool, QJsonObject arguments = {}) {
        return server.toolText(QString::fromUtf8(tool), arguments);
    };
    const auto named = [](QJsonValue name) {
        return QJsonObject { { QStringLiteral("name"), name } };
    };
    const auto add = [](QJsonValue pinboard, QJsonValue itemID) {
        QJsonObject arguments;
        if (!pinboard.isUndefined())
            arguments.insert(QStringLiteral("pinboard"), pinboard);
        if (!itemID.isUndefined())
            arguments.insert(QStringLiteral("item_id"), itemID);
        return arguments;
    };

    EXPECT_EQ(call("list_pinboards"), QStringLiteral("There are no pinboards yet."));
    EXPECT_EQ(call("create_pinboard", named(QStringLiteral("  Work  "))),
        QStringLiteral("Created the pinboard “Work”."));
    EXPECT_EQ(call("create_pinboard", named(QStringLiteral("wORK"))),
        QStringLiteral("“Work” already exists."));
    EXPECT_EQ(call("create_pinboard", named(QStringLiteral("Reading / later"))),
        QStringLiteral("Created the pinboard “Reading / later”."));
    // Names and ids of the wrong type are the hostile-input table's part.
    EXPECT_EQ(call("create_pinboard", named(QStringLiteral(" \t "))),
        QStringLiteral("Give the pinboard a name."));

    const QString saved
        = call("save_clipboard_item", { { QStringLiteral("text"), QStringLiteral("keep me") } });
    const qint64 id = saved.mid(14).chopped(1).toLongLong();
    ASSERT_GT(id, 0) << saved.toStdString();

    EXPECT_EQ(call("add_to_pinboard", add(QStringLiteral("WORK"), double(id))),
        QStringLiteral("Added item %1 to “Work”.").arg(id));
    EXPECT_EQ(call("add_to_pinboard", add(QStringLiteral("Work "), double(id))),
        QStringLiteral("There is no pinboard called “Work ”."));
    EXPECT_EQ(call("add_to_pinboard", add(QStringLiteral("Work"), 999)),
        QStringLiteral("There is no clipboard item with id 999."));
    const QString bothNeeded = QStringLiteral("Give me both a pinboard name and an item id.");
    EXPECT_EQ(
        call("add_to_pinboard", add(QStringLiteral("Work"), QJsonValue::Undefined)), bothNeeded);
    EXPECT_EQ(call("add_to_pinboard", add(QJsonValue::Undefined, double(id))), bothNeeded);

    EXPECT_EQ(call("list_pinboards"), QStringLiteral("Work — 1 item\nReading / later — 0 items"));
    expectCleanEnd(server);
}

TEST_F(McpEndToEndTest, StoreFailureIsAToolErrorAndServingGoesOn)
{
    McpClient server(dataHome(), logFile());
    ASSERT_TRUE(server.started());
    ASSERT_EQ(server.request(ping(1)), pong(1));
    {
        // Another process breaks the database under the server.
        SQLiteDatabase database(storeDirectory() + QStringLiteral("/history.sqlite"));
        database.query(QStringLiteral("ALTER TABLE pinboards RENAME TO pinboards_elsewhere"));
    }
    EXPECT_EQ(server.toolText(QStringLiteral("list_pinboards"), {}, true),
        QStringLiteral("Corvane could not do that: SQLite error 1: no such table: pinboards"));
    EXPECT_EQ(server.request(ping(2)), pong(2));
    const QByteArray diagnostics = expectCleanEnd(server);
    EXPECT_TRUE(diagnostics.contains(
        "corvane-mcp: tool list_pinboards failed: SQLite error 1: no such table: pinboards\n"))
        << diagnostics.toStdString();
}

TEST_F(McpEndToEndTest, UnopenableStoreEndsWithStatusOneAndNothingOnStandardOutput)
{
    test::writeFile(path(QStringLiteral("regular-file")), {});
    McpClient server(path(QStringLiteral("regular-file/data")), logFile());
    ASSERT_TRUE(server.started());
    server.send(ping(1) + '\n');
    EXPECT_EQ(server.finish(), 1);
    EXPECT_TRUE(server.unreadOutput().isEmpty());
    const QByteArray diagnostics = server.standardError();
    EXPECT_TRUE(diagnostics.startsWith("corvane-mcp: could not open the clipboard history: "))
        << diagnostics.toStdString();
    expectOnlyDiagnostics(diagnostics);
}

TEST_F(McpEndToEndTest, OnlyAnArgumentExactlyEqualToMcpSelectsTheServer)
{
    const struct
    {
        QStringList arguments;
        bool serves;
    } cases[] = {
        { { QStringLiteral("--verbose"), QStringLiteral("--mcp"), QStringLiteral("extra") }, true },
        { { QStringLiteral("--MCP") }, false },
        { { QStringLiteral("--mcp=1") }, false },
        { { QStringLiteral(" --mcp") }, false },
    };
    int instance = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        if (c.serves) {
            McpClient process(dataHome(), logFile(), c.arguments);
            ASSERT_TRUE(process.started());
            EXPECT_EQ(process.request(ping(1)), pong(1));
            expectCleanEnd(process);
            continue;
        }
        // The application starts instead: it answers nothing on standard output and keeps
        // running. It is kept off the shared X server and given folders of its own.
        const QString runtime = path(QStringLiteral("runtime-%1").arg(++instance));
        ASSERT_TRUE(QDir().mkpath(runtime));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_DATA_HOME"), dataHome());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.remove(QStringLiteral("DISPLAY"));
        QProcess application;
        application.setProcessEnvironment(environment);
        application.start(QStringLiteral(CORVANE_EXECUTABLE), c.arguments);
        ASSERT_TRUE(application.waitForStarted(timeoutMs));
        application.write(ping(1) + '\n');
        EXPECT_FALSE(application.waitForReadyRead(1500));
        EXPECT_EQ(application.state(), QProcess::Running);
        application.kill();
        application.waitForFinished(timeoutMs);
        EXPECT_TRUE(application.readAllStandardOutput().isEmpty());
    }

    // The program path position counts too.
    QProcess renamed;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dataHome());
    renamed.setProcessEnvironment(environment);
    renamed.start(QStringLiteral("bash"),
        { QStringLiteral("-c"), QStringLiteral("exec -a --mcp \"$0\""),
            QStringLiteral(CORVANE_EXECUTABLE) });
    ASSERT_TRUE(renamed.waitForStarted(timeoutMs));
    renamed.write(ping(5) + '\n');
    renamed.closeWriteChannel();
    ASSERT_TRUE(renamed.waitForFinished(timeoutMs));
    EXPECT_EQ(renamed.exitCode(), 0);
    EXPECT_EQ(renamed.readAllStandardOutput(), pong(5) + '\n');
}

// A line far beyond the limit is answered with a parse error once it ends, without the
// server ever holding it: its peak memory stays below the line's size.
TEST_F(McpEndToEndTest, AnOverlongLineIsAParseErrorAndMemoryStaysBounded)
{
    McpClient server(dataHome(), logFile());
    ASSERT_TRUE(server.started());
    EXPECT_EQ(server.request(ping(1)), pong(1));
    // What the process needs before any request: the executable's libraries, the store.
    const qint64 baselineKiB = server.peakMemoryKiB();
    const qsizetype limit = qsizetype(64) * 1024 * 1024;
    const QByteArray chunk(1024 * 1024, 'a');
    server.send(R"({"id":2,"method":"tools/call","params":{"name":"save_clipboard_item",)"
                R"("arguments":{"text":")");
    for (qsizetype sent = 0; sent < 4 * limit; sent += chunk.size())
        server.send(chunk);
    server.send("\"}}}\n");
    EXPECT_EQ(server.nextLine(),
        R"({"jsonrpc":"2.0","id":null,"error":{"code":-32700,"message":"Parse error"}})");
    EXPECT_EQ(server.request(ping(3)), pong(3));
    EXPECT_EQ(server.toolText(QStringLiteral("search_clipboard")),
        QStringLiteral("The clipboard history is empty."));
    const qint64 peakKiB = server.peakMemoryKiB();
    EXPECT_GT(baselineKiB, 0);
    // Growth by the limit's worth of buffer, growth copies and the sanitizer's own overhead,
    // but far below the 256 MiB that was sent.
    EXPECT_LT(peakKiB - baselineKiB, 3 * limit / 1024 + 64 * 1024)
        << "peak " << peakKiB << " KiB, " << baselineKiB << " KiB before the line";
    RecordProperty("peakMemoryKiB", std::to_string(peakKiB));
    EXPECT_EQ(server.finish(), 0);
    EXPECT_TRUE(server.standardError().contains(
        "corvane-mcp: ignored a request longer than 67108864 bytes\n"));
}

} // namespace
} // namespace corvane
