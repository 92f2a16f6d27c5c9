// A history file that is not what the store wrote: random bytes, another program's
// database, a newer schema version, columns of the wrong types, a truncated file. The tool
// server either ends with status 1 and its diagnostic or serves as usual; it never crashes,
// and it never replaces or deletes the user's file.

#include "reliabilitysupport.h"
#include "store/schema.h"
#include "store/sqlitedatabase.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <functional>
#include <gtest/gtest.h>

namespace corvane {
namespace {

using namespace test;

class CorruptDatabase : public TemporaryFolderTest
{
protected:
    QString dataHome() const { return path(QStringLiteral("data")); }
    QString databasePath() const { return dataHome() + QStringLiteral("/Corvane/history.sqlite"); }

    // Builds the file with SQLite, one statement at a time, in the rollback journal mode
    // other programs commonly use.
    void buildDatabase(const QStringList &statements)
    {
        ASSERT_TRUE(QDir().mkpath(dataHome() + QStringLiteral("/Corvane")));
        SQLiteDatabase database(databasePath());
        database.query(QStringLiteral("PRAGMA journal_mode = DELETE"));
        for (const QString &statement : statements)
            database.query(statement);
    }

    // Every table's rows, in order, as text: what the user would lose.
    QStringList dump(const QStringList &tables)
    {
        SQLiteDatabase database(databasePath());
        QStringList rows;
        for (const QString &table : tables) {
            for (const SQLiteDatabase::Row &row : database.query(QStringLiteral("SELECT * FROM ")
                     + table + QStringLiteral(" ORDER BY rowid"))) {
                QStringList values;
                for (auto it = row.values.cbegin(); it != row.values.cend(); ++it) {
                    values << it.key() + u'='
                            + std::visit(
                                [](const auto &value) -> QString {
                                    using T = std::decay_t<decltype(value)>;
                                    if constexpr (std::is_same_v<T, QString>)
                                        return value;
                                    else if constexpr (std::is_same_v<T, QByteArray>)
                                        return QString::fromLatin1(value.toHex());
                                    else if constexpr (std::is_same_v<T, Utf8Text>)
                                        return QString::fromUtf8(value.bytes);
                                    else if constexpr (std::is_same_v<T, std::monostate>)
                                        return QStringLiteral("NULL");
                                    else
                                        return QString::number(value);
                                },
                                it.value());
                }
                values.sort();
                rows << table + u':' + values.join(u',');
            }
        }
        return rows;
    }

    QByteArray fileHash() const
    {
        QFile file(databasePath());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
    }

    struct Run
    {
        int status = -1;
        QByteArray output;
        QByteArray diagnostics;
    };

    // Sends the requests to a server on the file and closes its input.
    Run serve(const QByteArrayList &requests)
    {
        const QString out = path(QStringLiteral("out.txt"));
        const QString err = path(QStringLiteral("err.txt"));
        QFile::remove(out);
        QFile::remove(err);
        Run run;
        {
            ChildProcess server({ .program = corvaneExecutable(),
                .arguments = { QStringLiteral("--mcp") },
                .environment = dataHomeEnvironment(dataHome()),
                .standardErrorFile = err,
                .standardOutputFile = out });
            server.send(requests.join('\n') + '\n');
            server.closeInput();
            run.status = server.wait(60000);
        }
        run.output = fileContents(out);
        run.diagnostics = fileContents(err);
        return run;
    }

    static QByteArray toolCall(int id, const QByteArray &name, const QByteArray &arguments = "{}")
    {
        return R"({"jsonrpc":"2.0","id":)" + QByteArray::number(id)
            + R"(,"method":"tools/call","params":{"name":")" + name + R"(","arguments":)"
            + arguments + "}}";
    }

    static QByteArrayList searchSaveAndList()
    {
        return { toolCall(1, "search_clipboard"),
            toolCall(2, "save_clipboard_item", R"({"text":"a new note"})"),
            toolCall(3, "search_clipboard", R"({"query":"new note"})"),
            toolCall(4, "list_pinboards"), toolCall(5, "get_clipboard_item", R"({"id":1})"),
            R"({"jsonrpc":"2.0","id":6,"method":"ping"})" };
    }
};

TEST_F(CorruptDatabase, AFileThatIsNoDatabaseEndsTheServerAndStaysAsItWas)
{
    QByteArray noise(64 * 1024, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
    const QByteArray cases[] = {
        noise,
        QByteArray("just some text the user kept here\n").repeated(50),
        // A real header followed by garbage: SQLite reads the header and then the pages.
        QByteArray("SQLite format 3\0", 16) + noise.left(4080),
    };
    for (const QByteArray &bytes : cases) {
        writeFile(databasePath(), bytes);
        const QByteArray before = fileHash();
        const Run run = serve(searchSaveAndList());
        EXPECT_EQ(run.status, 1) << run.diagnostics.toStdString();
        EXPECT_EQ(run.output, QByteArray());
        EXPECT_TRUE(run.diagnostics.startsWith(
            "corvane-mcp: could not open the clipboard history: SQLite error "))
            << run.diagnostics.toStdString();
        EXPECT_EQ(fileHash(), before) << "the file was changed";
    }
}

TEST_F(CorruptDatabase, ForeignAndNewerDatabasesAreServedOrRefusedWithTheirRowsKept)
{
    struct Case
    {
        const char *what;
        QStringList statements;
        QStringList tables;
        // Empty: the server must end with status 1 and a diagnostic naming this.
        QByteArray failure;
        // A text each successful run's replies must contain.
        QByteArrayList replies;
    };
    const QString ourItems = QStringLiteral(
        "CREATE TABLE items (id INTEGER PRIMARY KEY, kind TEXT NOT NULL, text TEXT, title TEXT "
        "NOT NULL, subtitle TEXT, blob_name TEXT, file_bookmark BLOB, byte_count INTEGER NOT "
        "NULL DEFAULT 0, source_bundle_id TEXT, source_app_name TEXT, created_at INTEGER NOT "
        "NULL, last_used_at INTEGER NOT NULL, fingerprint TEXT NOT NULL UNIQUE, trigger TEXT)");
    const Case cases[] = {
        { "another program's items table at version 0",
            { QStringLiteral("CREATE TABLE items (id INTEGER PRIMARY KEY, name TEXT)"),
                QStringLiteral("INSERT INTO items (name) VALUES ('precious'), ('also kept')") },
            { QStringLiteral("items") }, "SQLite error 1: table items already exists", {} },
        { "another program's tables at version 0",
            { QStringLiteral("CREATE TABLE notes (id INTEGER PRIMARY KEY, body TEXT)"),
                QStringLiteral("INSERT INTO notes (body) VALUES ('precious')") },
            { QStringLiteral("notes") }, {},
            { "The clipboard history is empty.", "Saved as item 1.", "[1] text" } },
        // An upgrade step that needs our tables fails and leaves the file alone.
        { "another program's tables at an older version",
            { QStringLiteral("CREATE TABLE notes (id INTEGER PRIMARY KEY, body TEXT)"),
                QStringLiteral("INSERT INTO notes (body) VALUES ('precious')"),
                QStringLiteral("PRAGMA user_version = %1").arg(currentSchemaVersion - 1) },
            { QStringLiteral("notes") }, "SQLite error 1: no such table: main.items", {} },
        { "another program's tables at the current version",
            { QStringLiteral("CREATE TABLE notes (id INTEGER PRIMARY KEY, body TEXT)"),
                QStringLiteral("INSERT INTO notes (body) VALUES ('precious')"),
                QStringLiteral("PRAGMA user_version = %1").arg(currentSchemaVersion) },
            { QStringLiteral("notes") }, {},
            { "Corvane could not do that: SQLite error 1: no such table: items",
                R"("id":6,"result":{})" } },
        { "our tables at version 4, upgraded",
            { ourItems,
                QStringLiteral("CREATE TABLE pinboards (id INTEGER PRIMARY KEY, name TEXT NOT "
                               "NULL, color_index INTEGER NOT NULL DEFAULT 0, sort_order INTEGER "
                               "NOT NULL DEFAULT 0, created_at INTEGER NOT NULL)"),
                QStringLiteral("CREATE TABLE pinboard_items (pinboard_id INTEGER NOT NULL, "
                               "item_id INTEGER NOT NULL, sort_order INTEGER NOT NULL DEFAULT 0, "
                               "added_at INTEGER NOT NULL, PRIMARY KEY (pinboard_id, item_id))"),
                QStringLiteral("CREATE VIRTUAL TABLE items_fts USING fts5(title, subtitle, text, "
                               "content='items', content_rowid='id', tokenize='unicode61')"),
                QStringLiteral("INSERT INTO items (kind, text, title, created_at, last_used_at, "
                               "fingerprint) VALUES ('text', 'kept from the future', 'kept from "
                               "the future', 1700000000000, 1700000000000, 'f1')"),
                QStringLiteral("INSERT INTO items_fts (items_fts) VALUES ('rebuild')"),
                QStringLiteral("PRAGMA user_version = 4") },
            { QStringLiteral("items") }, {},
            { "[1] text", "kept from the future", "Saved as item 2.",
                "There are no pinboards yet." } },
        { "our schema at version 2 with columns of the wrong types",
            { QStringLiteral("CREATE TABLE items (id INTEGER PRIMARY KEY, kind BLOB, text "
                             "INTEGER, title BLOB, subtitle REAL, blob_name INTEGER, "
                             "file_bookmark TEXT, byte_count TEXT, source_bundle_id BLOB, "
                             "source_app_name REAL, created_at TEXT, last_used_at TEXT, "
                             "fingerprint BLOB UNIQUE, trigger INTEGER)"),
                QStringLiteral("CREATE TABLE pinboards (id INTEGER PRIMARY KEY, name BLOB, "
                               "color_index TEXT, sort_order TEXT, created_at TEXT)"),
                QStringLiteral("CREATE TABLE pinboard_items (pinboard_id TEXT, item_id TEXT, "
                               "sort_order TEXT, added_at TEXT)"),
                QStringLiteral("CREATE VIRTUAL TABLE items_fts USING fts5(title, subtitle, text, "
                               "content='items', content_rowid='id', tokenize='unicode61')"),
                QStringLiteral("INSERT INTO items VALUES (1, x'00ff', 3.5, x'feff00', 2.25, 17, "
                               "'bookmark', 'many', x'01', 1.5, 'yesterday', NULL, x'02', 42)"),
                QStringLiteral("INSERT INTO items VALUES (2, 42, NULL, NULL, NULL, NULL, NULL, "
                               "NULL, NULL, NULL, 9e300, -9e300, NULL, NULL)"),
                QStringLiteral("INSERT INTO pinboards VALUES (1, x'00', 'red', 'first', 'now')"),
                QStringLiteral("INSERT INTO pinboard_items VALUES ('1', 'x', NULL, NULL)"),
                QStringLiteral("PRAGMA user_version = 2") },
            { QStringLiteral("items"), QStringLiteral("pinboards"),
                QStringLiteral("pinboard_items") },
            {},
            { R"("id":1,"result")", R"("id":4,"result")", R"("id":5,"result")",
                R"("id":6,"result":{})" } },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        QDir(path(QStringLiteral("data"))).removeRecursively();
        buildDatabase(c.statements);
        const QStringList before = dump(c.tables);
        ASSERT_FALSE(before.isEmpty());
        const Run run = serve(searchSaveAndList());
        if (!c.failure.isEmpty()) {
            EXPECT_EQ(run.status, 1);
            EXPECT_EQ(run.output, QByteArray());
            EXPECT_EQ(run.diagnostics,
                "corvane-mcp: could not open the clipboard history: " + c.failure + '\n');
        } else {
            EXPECT_EQ(run.status, 0) << run.diagnostics.toStdString();
            // One reply per request, whatever the rows hold.
            EXPECT_EQ(run.output.count('\n'), 6) << run.output.toStdString();
            for (const QByteArray &expected : c.replies)
                EXPECT_TRUE(run.output.contains(expected))
                    << expected.toStdString() << " not in " << run.output.toStdString();
        }
        ASSERT_TRUE(QFile::exists(databasePath()));
        // Whatever happened, the rows that were there are there still (saved notes may join
        // them).
        const QStringList after = dump(c.tables);
        for (const QString &row : before)
            EXPECT_TRUE(after.contains(row)) << "lost " << row.toStdString();
    }
}

TEST_F(CorruptDatabase, ATruncatedHistoryIsRefusedOrServedButNeverRemoved)
{
    {
        ASSERT_TRUE(QDir().mkpath(dataHome() + QStringLiteral("/Corvane")));
        Run built = serve({ toolCall(1, "create_pinboard", R"({"name":"Kept"})") });
        ASSERT_EQ(built.status, 0);
        QByteArrayList saves;
        for (int i = 0; i < 200; ++i)
            saves << toolCall(i, "save_clipboard_item",
                "{\"text\":\"note " + QByteArray::number(i) + " " + QByteArray(500, 'x') + "\"}");
        ASSERT_EQ(serve(saves).status, 0);
        SQLiteDatabase(databasePath()).query(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    }
    QFile::remove(databasePath() + QStringLiteral("-wal"));
    QFile::remove(databasePath() + QStringLiteral("-shm"));
    QFile file(databasePath());
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.resize(file.size() / 2));
    file.close();

    const Run run = serve(searchSaveAndList());
    if (run.status == 1) {
        EXPECT_TRUE(
            run.diagnostics.startsWith("corvane-mcp: could not open the clipboard history: "));
    } else {
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.output.count('\n'), 6) << run.output.toStdString();
        EXPECT_TRUE(run.output.contains("database disk image is malformed"))
            << run.output.toStdString();
    }
    EXPECT_TRUE(QFile::exists(databasePath()));
    EXPECT_GT(QFileInfo(databasePath()).size(), 0);
}

} // namespace
} // namespace corvane
