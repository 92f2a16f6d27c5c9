#include "store/sqlitedatabase.h"
#include "store/transaction.h"
#include "testsupport.h"

#include <QFileInfo>

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <limits>
#include <thread>

namespace corvane {
namespace {

using Value = SQLiteDatabase::Value;

class SQLiteDatabaseTest : public test::TemporaryFolderTest
{
protected:
    void SetUp() override
    {
        TemporaryFolderTest::SetUp();
        database = std::make_unique<SQLiteDatabase>(path(QStringLiteral("test.sqlite")));
        database->query(QStringLiteral("CREATE TABLE t (v)"));
    }

    Value roundTrip(const Value &value)
    {
        database->query(QStringLiteral("DELETE FROM t"));
        database->query(QStringLiteral("INSERT INTO t (v) VALUES (?)"), { value });
        const auto rows = database->query(QStringLiteral("SELECT v FROM t"));
        EXPECT_EQ(rows.size(), 1u);
        return rows.empty() ? Value() : rows.front().values.value(QStringLiteral("v"));
    }

    std::unique_ptr<SQLiteDatabase> database;
};

TEST_F(SQLiteDatabaseTest, ValuesRoundTripInTheirOwnKind)
{
    const struct
    {
        const char *name;
        Value stored;
        Value expected;
    } cases[] = {
        { "largest integer", std::numeric_limits<std::int64_t>::max(),
            std::numeric_limits<std::int64_t>::max() },
        { "smallest integer", std::numeric_limits<std::int64_t>::min(),
            std::numeric_limits<std::int64_t>::min() },
        { "double", 3.25, 3.25 },
        { "unicode text", QStringLiteral("héllo 😀"), QStringLiteral("héllo 😀") },
        { "text is cut at NUL", QStringLiteral("ab") + QChar(0) + QStringLiteral("cd"),
            QStringLiteral("ab") },
        { "empty text", QString(QLatin1String("")), QString(QLatin1String("")) },
        { "bytes", QByteArray("\x00\x01\xff", 3), QByteArray("\x00\x01\xff", 3) },
        { "empty blob stays a blob", QByteArray(), QByteArray() },
        { "null", std::monostate(), std::monostate() },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const Value read = roundTrip(c.stored);
        EXPECT_EQ(read.index(), c.expected.index());
        EXPECT_EQ(read, c.expected);
    }
}

TEST_F(SQLiteDatabaseTest, RowsAreKeyedByColumnNameInStepOrder)
{
    database->query(QStringLiteral("INSERT INTO t (v) VALUES (1), (2), (3)"));
    const auto rows = database->query(
        QStringLiteral("SELECT v AS value, v * 10 AS value FROM t ORDER BY v DESC"));
    ASSERT_EQ(rows.size(), 3u);
    // Of two columns with one name, the later one wins.
    EXPECT_EQ(rows[0].values.value(QStringLiteral("value")), Value(std::int64_t(30)));
    EXPECT_EQ(rows[2].values.value(QStringLiteral("value")), Value(std::int64_t(10)));
    EXPECT_EQ(rows[0].values.size(), 1);
    EXPECT_TRUE(database->query(QStringLiteral("SELECT v FROM t WHERE v > 5")).empty());
}

TEST_F(SQLiteDatabaseTest, OnlyTheFirstStatementOfATextRuns)
{
    database->query(QStringLiteral("INSERT INTO t (v) VALUES (1); INSERT INTO t (v) VALUES (2)"));
    EXPECT_EQ(database->query(QStringLiteral("SELECT v FROM t")).size(), 1u);
}

TEST_F(SQLiteDatabaseTest, FailuresCarryCodeAndMessageAndLeaveTheConnectionUsable)
{
    database->query(QStringLiteral("CREATE TABLE u (v UNIQUE)"));
    database->query(QStringLiteral("INSERT INTO u (v) VALUES (1)"));
    try {
        database->query(QStringLiteral("INSERT INTO u (v) VALUES (?)"), { std::int64_t(1) });
        FAIL() << "a duplicate was inserted";
    } catch (const SQLiteDatabase::Error &error) {
        EXPECT_EQ(error.code(), SQLITE_CONSTRAINT);
        EXPECT_EQ(error.description(), QStringLiteral("SQLite error 19: ") + error.message());
        EXPECT_TRUE(error.message().contains(QStringLiteral("UNIQUE")));
    }
    EXPECT_THROW(database->query(QStringLiteral("SELEKT 1")), SQLiteDatabase::Error);
    EXPECT_THROW(database->query(QStringLiteral("SELECT ?"), { 1.0, 2.0 }), SQLiteDatabase::Error);
    EXPECT_EQ(database->query(QStringLiteral("SELECT 7 AS seven"))
                  .front()
                  .values.value(QStringLiteral("seven")),
        Value(std::int64_t(7)));
}

TEST_F(SQLiteDatabaseTest, OpensInWriteAheadModeWithForeignKeys)
{
    auto pragma = [&](const char *name) {
        return database->query(QStringLiteral("PRAGMA ") + QLatin1String(name))
            .front()
            .values.begin()
            .value();
    };
    EXPECT_EQ(pragma("journal_mode"), Value(QStringLiteral("wal")));
    EXPECT_EQ(pragma("synchronous"), Value(std::int64_t(1)));
    EXPECT_EQ(pragma("foreign_keys"), Value(std::int64_t(1)));
}

TEST_F(SQLiteDatabaseTest, OpeningInAMissingFolderFails)
{
    const QString target = path(QStringLiteral("missing/deeper/db.sqlite"));
    try {
        SQLiteDatabase unopenable(target);
        FAIL() << "opened a database in a missing folder";
    } catch (const SQLiteDatabase::Error &error) {
        EXPECT_EQ(error.code(), SQLITE_CANTOPEN);
        EXPECT_FALSE(error.message().isEmpty());
    }
}

// Compiled statements are reused; reuse must never hold a read open, hand out a statement that
// is still running, or keep a compiled form of a table another connection changed.
TEST_F(SQLiteDatabaseTest, ReusedStatementsSeeOtherConnectionsChangesAndNestSafely)
{
    SQLiteDatabase other(path(QStringLiteral("test.sqlite")));
    const QString count = QStringLiteral("SELECT COUNT(*) AS n FROM t");
    const auto countRows = [&] {
        return std::get<std::int64_t>(database->query(count).front().values.value(u"n"_qs));
    };
    database->query(QStringLiteral("INSERT INTO t (v) VALUES (1), (2), (3)"));
    EXPECT_EQ(countRows(), 3);

    // A read stopped early ends with its statement: the other connection can write and
    // truncate the log, and the next read sees the new row.
    int visited = 0;
    database->forEachRowWhile(QStringLiteral("SELECT v FROM t"), {},
        [&](const SQLiteDatabase::Cursor &) { return ++visited < 1; });
    EXPECT_EQ(visited, 1);
    other.query(QStringLiteral("INSERT INTO t (v) VALUES (4)"));
    const auto checkpoint = other.query(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    EXPECT_EQ(std::get<std::int64_t>(checkpoint.front().values.value(u"busy"_qs)), 0);
    EXPECT_EQ(countRows(), 4);

    // The same text run again while it is still being stepped (and once before, so that it
    // is a kept statement both times).
    database->query(QStringLiteral("SELECT v FROM t ORDER BY v"));
    std::vector<std::int64_t> pairs;
    database->forEachRow(
        QStringLiteral("SELECT v FROM t ORDER BY v"), {}, [&](const SQLiteDatabase::Cursor &outer) {
            database->forEachRow(QStringLiteral("SELECT v FROM t ORDER BY v"), {},
                [&](const SQLiteDatabase::Cursor &inner) {
                    pairs.push_back(outer.integer(0) * 10 + inner.integer(0));
                });
        });
    EXPECT_EQ(pairs.size(), 16u);
    EXPECT_EQ(pairs.front(), 11);
    EXPECT_EQ(pairs.back(), 44);

    // Another connection changes the table under a statement compiled here.
    const QString everything = QStringLiteral("SELECT * FROM t ORDER BY v LIMIT 1");
    EXPECT_EQ(database->query(everything).front().values.size(), 1);
    other.query(QStringLiteral("ALTER TABLE t ADD COLUMN w DEFAULT 'new'"));
    const auto widened = database->query(everything);
    EXPECT_EQ(widened.front().values.value(u"w"_qs), Value(QStringLiteral("new")));

    // More distinct statements than are kept, then the first again.
    for (int i = 0; i < 40; ++i)
        database->query(QStringLiteral("SELECT %1 AS x").arg(i));
    EXPECT_EQ(countRows(), 4);
}

// Gathering hands back every value of the rows in the order they were visited, and the
// function behind it works for nobody else: not a plain statement, not a view or trigger
// that a tampered file might hold.
TEST_F(SQLiteDatabaseTest, GatheringCollectsInVisitOrderAndIsNotCallableFromTheFile)
{
    database->query(QStringLiteral("INSERT INTO t (v) VALUES (3), ('12'), (NULL), (-7)"));
    const QString fromT = QStringLiteral("FROM t");
    EXPECT_EQ(database->gatherIntegers(QStringLiteral("v"), fromT, {}),
        (std::vector<std::int64_t> { 3, 12, 0, -7 }));
    EXPECT_EQ(database->gatherIntegers(QStringLiteral("v * 2"),
                  QStringLiteral("FROM t WHERE v > ? ORDER BY v"), { std::int64_t(0) }),
        (std::vector<std::int64_t> { 6, 24 }));
    EXPECT_TRUE(database->gatherIntegers(QStringLiteral("v"), QStringLiteral("FROM t WHERE 0"), {})
                    .empty());
    EXPECT_THROW(database->gatherIntegers(QStringLiteral("v"), QStringLiteral("FROM nowhere"), {}),
        SQLiteDatabase::Error);

    EXPECT_THROW(
        database->query(QStringLiteral("SELECT corvane_gather(v) FROM t")), SQLiteDatabase::Error);
    SQLiteDatabase other(path(QStringLiteral("test.sqlite")));
    other.query(QStringLiteral("CREATE VIEW gathered AS SELECT corvane_gather(v) AS g FROM t"));
    EXPECT_THROW(database->gatherIntegers(QStringLiteral("g"), QStringLiteral("FROM gathered"), {}),
        SQLiteDatabase::Error);
    // Still usable afterwards.
    EXPECT_EQ(database->gatherIntegers(QStringLiteral("v"), fromT, {}).size(), 4u);
}

// A range of a trigram index's terms is asked for in the folded form; a fold that differs from
// the index's own would miss rows.
TEST_F(SQLiteDatabaseTest, TrigramFoldingIsTheTrigramIndexOwn)
{
    EXPECT_EQ(database->trigramFolded(QStringLiteral("QZ")), QStringLiteral("qz"));
    database->query(QStringLiteral(
        "CREATE VIRTUAL TABLE tri USING fts5(v, tokenize='trigram', detail='none')"));
    database->query(QStringLiteral("CREATE VIRTUAL TABLE tri_terms USING fts5vocab(tri, row)"));
    const QStringList texts = { QStringLiteral("QZx"), QStringLiteral("\u00c9COLE"),
        QStringLiteral("Stra\u00dfE"), QStringLiteral("\u03a3\u0391\u03a3"),
        QStringLiteral("\U0001F600Ab\U0001F600"), QStringLiteral("\u01c5x\u0130") };
    for (const QString &text : texts) {
        database->query(QStringLiteral("DELETE FROM tri"));
        database->query(QStringLiteral("INSERT INTO tri (v) VALUES (?)"), { text });
        QStringList terms;
        for (const auto &row : database->query(QStringLiteral("SELECT term FROM tri_terms")))
            terms << *textValue(row, QStringLiteral("term"));
        const QList<uint> folded = database->trigramFolded(text).toUcs4();
        ASSERT_EQ(folded.size(), text.toUcs4().size()) << text.toStdString();
        for (qsizetype i = 0; i + 3 <= folded.size(); ++i) {
            const QString trigram
                = QString::fromUcs4(reinterpret_cast<const char32_t *>(folded.constData() + i), 3);
            EXPECT_TRUE(terms.contains(trigram)) << text.toStdString() << " " << i;
        }
    }
}

TEST_F(SQLiteDatabaseTest, AnInterruptedStatementFailsAsSuchAndTheConnectionGoesOn)
{
    // A statement that never ends by itself, interrupted from another thread. A call before
    // it starts changes nothing, so the other thread keeps calling until it has ended.
    std::atomic<bool> ended = false;
    std::thread interrupter([&] {
        while (!ended.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            database->interrupt();
        }
    });
    try {
        database->forEachRow(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL "
                                            "SELECT i + 1 FROM n) SELECT count(*) FROM n"),
            {}, [](const SQLiteDatabase::Cursor &) {});
        ADD_FAILURE() << "the endless statement ended";
    } catch (const SQLiteDatabase::Error &error) {
        EXPECT_TRUE(error.isInterruption()) << error.description().toStdString();
        EXPECT_FALSE(error.isLockContention());
    }
    ended = true;
    interrupter.join();
    // Nothing runs now: an interruption changes nothing and the next statement succeeds.
    database->interrupt();
    EXPECT_EQ(database->query(QStringLiteral("SELECT 7 AS seven")).size(), 1u);
}

// Two readers take turns so that one of them always holds a snapshot while the other starts
// a newer one, as the panel's searches and assistants' tool servers do. SQLite's own
// checkpoints then never start the log over and it grows with every commit; here it has to
// start over once it is long.
TEST_F(SQLiteDatabaseTest, TheLogStartsOverWhileSomeoneIsAlwaysReading)
{
    std::atomic<bool> stop = false;
    std::atomic<std::int64_t> newestRead = 0;
    const auto reader = [&] {
        SQLiteDatabase connection(path(QStringLiteral("test.sqlite")));
        while (!stop) {
            connection.query(QStringLiteral("BEGIN"));
            connection.query(QStringLiteral("SELECT COUNT(*) FROM t"));
            // Ended only once the other reader holds a newer snapshot.
            const std::int64_t mine = ++newestRead;
            newestRead.notify_all();
            std::int64_t seen = mine;
            while (seen == mine && !stop) {
                newestRead.wait(seen);
                seen = newestRead.load();
            }
            connection.query(QStringLiteral("COMMIT"));
        }
    };
    std::thread first(reader);
    std::thread second(reader);

    const QString log = path(QStringLiteral("test.sqlite-wal"));
    constexpr int commits = 4800;
    qint64 longest = 0;
    for (int i = 0; i < commits; ++i) {
        database->query(QStringLiteral("INSERT INTO t (v) VALUES (randomblob(16000))"));
        longest = std::max(longest, QFileInfo(log).size());
    }
    stop = true;
    ++newestRead;
    newestRead.notify_all();
    first.join();
    second.join();

    // Each commit adds five pages of 4 KiB: 99 MB in all. The log starts over at about
    // 16 MB, or at a multiple of that when the readers of a busy machine held on past the
    // wait and the next attempt came only at the next 16 MB.
    EXPECT_GT(newestRead.load(), 100) << "the readers hardly took turns";
    EXPECT_LT(longest, 64 * 1024 * 1024) << "the log grew to " << longest << " bytes";
}

// A newer search interrupts the one running from the panel's thread at any moment: in its
// BEGIN, a statement, its COMMIT or the ROLLBACK after a failure, which an interruption can
// still reach as it starts or while it is compiled. Left open, the transaction would hold its
// snapshot for good: every later read on the connection would see the past, and SQLite's log
// would grow without bound behind it. The reader is new, so no ROLLBACK is cached yet.
TEST_F(SQLiteDatabaseTest, ReadsInterruptedAtAnyMomentNeverLeaveTheirTransactionOpen)
{
    for (int row = 0; row < 100; ++row)
        database->query(QStringLiteral("INSERT INTO t (v) VALUES (?)"), { std::int64_t(row) });
    SQLiteDatabase reader(path(QStringLiteral("test.sqlite")));
    std::atomic<bool> done = false;
    std::thread interrupter([&] {
        while (!done.load())
            reader.interrupt();
    });
    for (int read = 0; read < 20000; ++read) {
        try {
            inReadTransaction(
                reader, [&] { reader.query(QStringLiteral("SELECT sum(v) FROM t")); });
        } catch (const SQLiteDatabase::Error &error) {
            if (!error.isInterruption())
                ADD_FAILURE() << error.description().toStdString();
        }
        if (reader.inTransaction()) {
            ADD_FAILURE() << "read " << read << " left its transaction open";
            break;
        }
    }
    done = true;
    interrupter.join();
}

} // namespace
} // namespace corvane
