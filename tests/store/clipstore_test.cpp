#include "historygenerator.h"
#include "logcapture.h"
#include "store/clipstore.h"
#include "store/filesystemerror.h"
#include "store/schema.h"
#include "testsupport.h"
#include "versiontwohistory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <sys/stat.h>

#include <atomic>
#include <optional>
#include <set>
#include <thread>
#include <utility>

namespace corvane {
namespace {

using Value = SQLiteDatabase::Value;

class ClipStoreTest : public test::TemporaryFolderTest
{
protected:
    QString storeDir() const { return path(QStringLiteral("Corvane")); }
    QString databasePath() const { return storeDir() + QStringLiteral("/history.sqlite"); }

    // A second, independent connection, as another process would have.
    std::unique_ptr<SQLiteDatabase> openDirectly()
    {
        QDir().mkpath(storeDir());
        return std::make_unique<SQLiteDatabase>(databasePath());
    }

    static std::int64_t userVersion(SQLiteDatabase &database)
    {
        return std::get<std::int64_t>(database.query(QStringLiteral("PRAGMA user_version"))
                                          .front()
                                          .values.value(QStringLiteral("user_version")));
    }

    static std::set<std::pair<QString, QString>> schemaObjects(SQLiteDatabase &database)
    {
        std::set<std::pair<QString, QString>> objects;
        for (const auto &row :
            database.query(QStringLiteral("SELECT type, name FROM sqlite_master")))
            objects.emplace(
                *textValue(row, QStringLiteral("type")), *textValue(row, QStringLiteral("name")));
        return objects;
    }

    // Runs the statements of the schema steps given, as an older build left the file.
    static void runSteps(SQLiteDatabase &database, const QStringList &statements)
    {
        for (const QString &statement : statements)
            database.query(statement);
    }

    // A text row as versions 1 and 2 wrote it, its text also its title and fingerprint.
    static void insertText(SQLiteDatabase &database, const QString &words)
    {
        database.query(QStringLiteral("INSERT INTO items (kind, text, title, created_at, "
                                      "last_used_at, fingerprint) VALUES ('text', ?1, ?1, 1, 2, "
                                      "?1)"),
            { words });
    }

    static mode_t modeOf(const QString &file)
    {
        struct stat status
        { };
        EXPECT_EQ(::stat(QFile::encodeName(file).constData(), &status), 0) << file.toStdString();
        return status.st_mode & 0777;
    }
};

TEST_F(ClipStoreTest, NewStoreHoldsExactlyTheCurrentSchema)
{
    ClipStore store(storeDir());
    EXPECT_EQ(store.generation(), 0);
    EXPECT_TRUE(QFileInfo(store.blobDirectory()).isDir());
    EXPECT_TRUE(QDir(store.blobDirectory()).isEmpty());

    auto database = openDirectly();
    EXPECT_EQ(userVersion(*database), currentSchemaVersion);
    std::set<std::pair<QString, QString>> expected;
    const auto expect = [&](const char *type, std::initializer_list<const char *> names) {
        for (const char *name : names)
            expected.insert({ QLatin1String(type), QLatin1String(name) });
    };
    expect("table", { "items", "pinboards", "pinboard_items", "image_texts", "filed_fts_content" });
    for (const char *index : { "items_fts", "items_trigrams", "image_texts_fts",
             "image_texts_trigrams", "filed_fts", "filed_trigrams" }) {
        for (const char *part : { "", "_data", "_idx", "_docsize", "_config" })
            expected.insert(
                { QStringLiteral("table"), QLatin1String(index) + QLatin1String(part) });
    }
    expect("index",
        { "items_recent", "items_kind", "items_trigger", "items_dates", "items_sources",
            "items_title_ends", "items_subtitle_ends", "items_text_ends", "image_texts_ends",
            "pinboard_items_order", "items_newest", "sqlite_autoindex_items_1",
            "sqlite_autoindex_pinboard_items_1" });
    expect("trigger",
        { "items_fts_insert", "items_fts_delete", "items_fts_update", "items_trigrams_insert",
            "items_trigrams_delete", "items_trigrams_update", "image_texts_of_deleted_items",
            "image_texts_insert", "image_texts_delete", "image_texts_update", "filed_items_insert",
            "filed_items_delete", "filed_items_update" });
    expect("view", { "items_searched" });
    EXPECT_EQ(schemaObjects(*database), expected);
    QStringList columns;
    for (const auto &row : database->query(QStringLiteral("PRAGMA table_info(items)")))
        columns << *textValue(row, QStringLiteral("name"));
    EXPECT_EQ(columns.join(QLatin1Char(',')),
        QStringLiteral("id,kind,text,title,subtitle,blob_name,file_bookmark,byte_count,"
                       "source_bundle_id,source_app_name,created_at,last_used_at,"
                       "fingerprint,trigger"));
}

TEST_F(ClipStoreTest, VersionOneDatabaseIsUpgradedKeepingItsRows)
{
    {
        auto database = openDirectly();
        runSteps(*database, schemaStepOneStatements());
        insertText(*database, QStringLiteral("kept words"));
        database->query(QStringLiteral("INSERT INTO pinboards (name, created_at) VALUES ('P', 3)"));
    }
    ClipStore store(storeDir());
    auto database = openDirectly();
    EXPECT_EQ(userVersion(*database), currentSchemaVersion);
    const auto rows = database->query(QStringLiteral("SELECT * FROM items"));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(*textValue(rows.front(), QStringLiteral("text")), QStringLiteral("kept words"));
    EXPECT_EQ(rows.front().values.value(QStringLiteral("trigger")), Value(std::monostate()));
    EXPECT_EQ(database->query(QStringLiteral("SELECT * FROM pinboards")).size(), 1u);
    EXPECT_EQ(
        database->query(QStringLiteral("SELECT rowid FROM items_fts WHERE items_fts MATCH 'kept'"))
            .size(),
        1u);
    // The partial unique index allows many NULL triggers and refuses a repeated one.
    const auto insertWithTrigger = [&](const char *fingerprint, const Value &trigger) {
        database->query(QStringLiteral("INSERT INTO items (kind, title, created_at, last_used_at, "
                                       "fingerprint, trigger) VALUES ('text', 'a', 1, 1, ?, ?)"),
            { QLatin1String(fingerprint), trigger });
    };
    insertWithTrigger("f2", QStringLiteral("sig"));
    insertWithTrigger("f3", std::monostate());
    insertWithTrigger("f4", std::monostate());
    EXPECT_THROW(insertWithTrigger("f5", QStringLiteral("sig")), SQLiteDatabase::Error);
}

TEST_F(ClipStoreTest, VersionTwoDatabaseGainsSearchIndexesBuiltFromItsRows)
{
    {
        auto database = openDirectly();
        runSteps(*database, schemaStepOneStatements() + schemaStepTwoStatements());
        insertText(*database, QStringLiteral("documentation kept"));
    }
    ClipStore store(storeDir());
    auto database = openDirectly();
    EXPECT_EQ(userVersion(*database), currentSchemaVersion);
    ASSERT_EQ(database->query(QStringLiteral("SELECT * FROM items")).size(), 1u);
    const auto matches = [&](const char *index, const char *expression) {
        return database
            ->query(QStringLiteral("SELECT rowid FROM %1 WHERE %1 MATCH ?")
                        .arg(QString::fromLatin1(index)),
                { QString::fromUtf8(expression) })
            .size();
    };
    EXPECT_EQ(matches("items_fts", "\"d\"*"), 1u);
    EXPECT_EQ(matches("items_trigrams", "\"ume\" \"nta\""), 1u);

    // Code that knows only version 2 writes through the same triggers, so both indexes
    // follow its changes.
    database->query(QStringLiteral("UPDATE items SET title = 'renamed', text = 'renamed'"));
    EXPECT_EQ(matches("items_fts", "\"d\"*"), 0u);
    EXPECT_EQ(matches("items_trigrams", "\"ume\""), 0u);
    EXPECT_EQ(matches("items_trigrams", "\"nam\""), 1u);
    database->query(QStringLiteral("DELETE FROM items"));
    EXPECT_EQ(matches("items_fts", "\"r\"*"), 0u);
    EXPECT_EQ(matches("items_trigrams", "\"nam\""), 0u);
}

// A generated history taken back to version 2 is what the application left at version 2, and
// the upgrade gives it sound indexes that answer every search as before.
TEST_F(ClipStoreTest, GeneratedVersionTwoHistoryUpgradesSoundWithTheSameAnswers)
{
    HistoryGenerator::fillInBatches(storeDir(), 3000);
    const QString searches[] = { QStringLiteral("a"), QStringLiteral("th"), QStringLiteral("the"),
        QStringLiteral("ing"), QStringLiteral("qz"), QStringLiteral("http"),
        QStringLiteral("function return"), QStringLiteral("ttp"), QStringLiteral("") };
    const auto answers = [&](ClipStore &store) {
        std::vector<std::vector<std::int64_t>> found;
        for (const QString &search : searches) {
            found.emplace_back();
            for (const ClipItem &item : store.items({ .search = search, .limit = 300 }))
                found.back().push_back(item.id);
        }
        return found;
    };
    const auto before = [&] {
        ClipStore store(storeDir());
        return answers(store);
    }();
    ASSERT_GT(before[0].size(), 100u);

    VersionTwoHistory::downgrade(*openDirectly());
    const auto schema = [](SQLiteDatabase &database) {
        std::set<QStringList> objects;
        for (const auto &row :
            database.query(QStringLiteral("SELECT type, name, tbl_name, sql FROM sqlite_master"))) {
            const QString *sql = textValue(row, QStringLiteral("sql"));
            objects.insert(
                { *textValue(row, QStringLiteral("type")), *textValue(row, QStringLiteral("name")),
                    *textValue(row, QStringLiteral("tbl_name")), sql ? *sql : QString() });
        }
        return objects;
    };
    SQLiteDatabase made(path(QStringLiteral("made-at-version-2.sqlite")));
    runSteps(made, schemaStepOneStatements() + schemaStepTwoStatements());
    auto database = openDirectly();
    EXPECT_EQ(schema(*database), schema(made));
    EXPECT_EQ(userVersion(*database), 2);

    {
        const test::LogCapture log("com.ferrowen.corvane.store");
        upgradeSchema(*database, { .announceAfter = {}, .reportEvery = {} });
        // SQLite's progress handler reaches into the index rebuild, a single statement.
        EXPECT_TRUE(
            log.messages().filter(QStringLiteral("rebuilding the search indexes")).size() > 0)
            << log.messages().join(QLatin1Char('\n')).toStdString();
    }
    EXPECT_EQ(*textValue(database->query(QStringLiteral("PRAGMA integrity_check")).front(),
                  QStringLiteral("integrity_check")),
        QStringLiteral("ok"));
    for (const char *index : { "items_fts", "items_trigrams" }) {
        EXPECT_NO_THROW(database->query(
            QStringLiteral("INSERT INTO %1 (%1, rank) VALUES ('integrity-check', 1)")
                .arg(QLatin1String(index))))
            << index;
    }
    ClipStore store(storeDir());
    EXPECT_EQ(answers(store), before);
}

// Texts longer than the search indexes hold: words in their first searchedTextBytes are
// found, words past them are not, and every index stays sound through the upgrade, edits,
// unfiling and deleting, a character cut in two at the limit included.
TEST_F(ClipStoreTest, SearchIndexesHoldTheFirstMegabyteOfLongTextsFromTheUpgradeOn)
{
    // One line (so the title is as long as the text) of filler without the words' trigrams,
    // the first word early on, a four-byte character across the limit, the second word past
    // it, then "sum ips": every trigram of it is in the filler, the sequence only at the end.
    const auto longText = [](const char *early, const char *late) {
        const auto filler = [](QByteArray &text, qsizetype until) {
            while (text.size() < until)
                text += "lorem ipsum ";
            text.truncate(until);
        };
        QByteArray text = QByteArray("start ") + early + ' ';
        filler(text, searchedTextBytes - 2);
        text += "\xF0\x9F\x98\x80";
        filler(text, searchedTextBytes + 50'000);
        text += QByteArray(" ") + late + " ipsum ipsum end";
        return QString::fromUtf8(text);
    };
    const QString firstText = longText("kumquat", "zeppelin");
    ASSERT_EQ(firstText.toUtf8().indexOf("\xF0\x9F\x98\x80"), searchedTextBytes - 2);
    {
        auto database = openDirectly();
        runSteps(*database,
            schemaStepOneStatements() + schemaStepTwoStatements() + schemaStepThreeStatements()
                + schemaStepFourStatements() + schemaStepFiveStatements()
                + schemaStepSixStatements());
        insertText(*database, firstText);
        insertText(*database, longText("kumquat", "zeppelin") + QStringLiteral(" other"));
        insertText(*database, QStringLiteral("a short note"));
        database->query(QStringLiteral("INSERT INTO pinboards (name, created_at) VALUES ('P', 3)"));
        database->query(QStringLiteral("INSERT INTO pinboard_items (pinboard_id, item_id, "
                                       "added_at) SELECT 1, id, 4 FROM items WHERE id <= 2"));
    }
    ClipStore store(storeDir());
    auto database = openDirectly();
    ASSERT_EQ(userVersion(*database), 7);
    const auto expectSound = [&](const char *when) {
        SCOPED_TRACE(when);
        EXPECT_EQ(*textValue(database->query(QStringLiteral("PRAGMA integrity_check")).front(),
                      QStringLiteral("integrity_check")),
            QStringLiteral("ok"));
        for (const char *index : { "items_fts", "items_trigrams", "image_texts_fts",
                 "image_texts_trigrams", "filed_fts", "filed_trigrams" }) {
            EXPECT_NO_THROW(database->query(
                QStringLiteral("INSERT INTO %1 (%1, rank) VALUES ('integrity-check', 1)")
                    .arg(QLatin1String(index))))
                << index;
        }
    };
    // The ids each search finds in the whole history and on the pinboard: the words by
    // their index, the pieces of words (no word starts with them) by the substring search.
    const auto found = [&](const char *search) {
        std::pair<std::set<std::int64_t>, std::set<std::int64_t>> ids;
        for (const ClipItem &item : store.items({ .search = QLatin1String(search), .limit = 10 }))
            ids.first.insert(item.id);
        for (const ClipItem &item :
            store.items({ .search = QLatin1String(search), .pinboardID = 1, .limit = 10 }))
            ids.second.insert(item.id);
        return ids;
    };
    using Found = std::pair<std::set<std::int64_t>, std::set<std::int64_t>>;
    expectSound("upgraded");
    EXPECT_EQ(found("kumquat"), (Found { { 1, 2 }, { 1, 2 } }));
    EXPECT_EQ(found("umqua"), (Found { { 1, 2 }, { 1, 2 } }));
    EXPECT_EQ(found("zeppelin"), Found());
    EXPECT_EQ(found("eppeli"), Found());
    EXPECT_EQ(found("sum ips"), Found());
    EXPECT_EQ(found("lorem"), (Found { { 1, 2 }, { 1, 2 } }));
    EXPECT_EQ(found("short"), (Found { { 3 }, {} }));

    // The words change places: the new text is indexed, and exactly the old one forgotten.
    store.updateText(1, longText("zeppelin", "kumquat"));
    expectSound("edited");
    EXPECT_EQ(found("kumquat"), (Found { { 2 }, { 2 } }));
    EXPECT_EQ(found("umqua"), (Found { { 2 }, { 2 } }));
    EXPECT_EQ(found("zeppelin"), (Found { { 1 }, { 1 } }));
    EXPECT_EQ(found("eppeli"), (Found { { 1 }, { 1 } }));

    store.removeItem(1, 1);
    expectSound("unfiled");
    EXPECT_EQ(found("eppeli"), (Found { { 1 }, {} }));
    store.deleteItems({ 1, 2 });
    expectSound("deleted");
    EXPECT_EQ(found("lorem"), Found());
    EXPECT_EQ(found("short"), (Found { { 3 }, {} }));
    // Nothing of the long texts is left in any index (the filed trigrams keep no copy that an
    // integrity check could compare).
    for (const auto &[index, term] :
        { std::pair { "items_fts", "lorem" }, std::pair { "filed_fts", "lorem" },
            std::pair { "items_trigrams", "lor" }, std::pair { "filed_trigrams", "lor" } }) {
        EXPECT_EQ(database
                      ->query(QStringLiteral("SELECT rowid FROM %1 WHERE %1 MATCH ?")
                                  .arg(QLatin1String(index)),
                          { QLatin1String(term) })
                      .size(),
            0u)
            << index;
    }
}

// A long upgrade says when it starts, how far it is and how long it took; a quick one or
// none says nothing.
TEST_F(ClipStoreTest, UpgradeLogsOnlyWhenItTakesLong)
{
    using namespace std::chrono_literals;
    struct Case
    {
        const char *name;
        bool versionTwo;
        std::chrono::milliseconds announceAfter;
        QStringList expected;
    };
    const Case cases[] = {
        { "long upgrade", true, 0ms,
            { QStringLiteral("Upgrading the history of 2 items from version 2 to 7; on a long "
                             "history this takes a while"),
                QStringLiteral("Upgrading the history: indexing the source applications, "),
                QStringLiteral("Upgrading the history: adding the text read in images, "),
                QStringLiteral("Upgrading the history: indexing the ends of texts, "),
                QStringLiteral("Upgrading the history: indexing the first megabyte of each text, "),
                QStringLiteral("Upgraded the history of 2 items to version 7 in ") } },
        { "quick upgrade", true, 1h, {} },
        { "no upgrade", false, 0ms, {} },
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        const QString file = path(QString::fromLatin1(test.name) + QStringLiteral(".sqlite"));
        SQLiteDatabase database(file);
        runSteps(database, schemaStepOneStatements() + schemaStepTwoStatements());
        for (const char *words : { "first words", "second words" })
            insertText(database, QString::fromLatin1(words));
        if (!test.versionTwo)
            upgradeSchema(database, { .announceAfter = 1h });

        const test::LogCapture log("com.ferrowen.corvane.store");
        upgradeSchema(database, { .announceAfter = test.announceAfter, .reportEvery = 0ms });
        EXPECT_EQ(userVersion(database), currentSchemaVersion);
        // Progress lines end with the time so far, the last line with the duration.
        QStringList lines = log.messages();
        for (QString &line : lines)
            line.remove(QRegularExpression(QStringLiteral("[0-9.]+ s( so far)?$")));
        lines.removeAll(QStringLiteral("Upgrading the history: rebuilding the search indexes, "));
        EXPECT_EQ(lines, test.expected);
    }
}

TEST_F(ClipStoreTest, OpeningWaitsForAnotherProcessUpgradingTheSameFile)
{
    runSteps(*openDirectly(), schemaStepOneStatements() + schemaStepTwoStatements());
    // The other connection holds the write lock through its upgrade for longer than the
    // usual busy timeout, as rebuilding the indexes of a long history does.
    auto upgrader = openDirectly();
    upgrader->query(QStringLiteral("BEGIN IMMEDIATE"));
    runSteps(*upgrader, schemaStepThreeStatements());
    std::atomic<bool> committed = false;
    std::thread finisher([&] {
        std::this_thread::sleep_for(SQLiteDatabase::busyTimeout + std::chrono::milliseconds(500));
        committed = true;
        upgrader->query(QStringLiteral("COMMIT"));
    });

    std::optional<ClipStore> store;
    EXPECT_NO_THROW(store.emplace(storeDir()));
    finisher.join();
    EXPECT_TRUE(committed);
    ASSERT_TRUE(store);
    // The upgrade was not run twice, and the store works on the upgraded file.
    EXPECT_EQ(userVersion(*openDirectly()), currentSchemaVersion);
    EXPECT_EQ(store->createPinboard(QStringLiteral("Work")).name, QStringLiteral("Work"));
}

TEST_F(ClipStoreTest, CurrentVersionDatabaseOpensWithoutSchemaChanges)
{
    {
        auto database = openDirectly();
        database->query(QStringLiteral("CREATE TABLE unrelated (x)"));
        database->query(QStringLiteral("PRAGMA user_version = %1").arg(currentSchemaVersion));
    }
    ClipStore store(storeDir());
    auto database = openDirectly();
    EXPECT_EQ(schemaObjects(*database),
        (std::set<std::pair<QString, QString>> {
            { QStringLiteral("table"), QStringLiteral("unrelated") } }));
}

TEST_F(ClipStoreTest, FailedUpgradeStepRollsBackAndIsRetriedNextTime)
{
    {
        auto database = openDirectly();
        runSteps(*database, schemaStepOneStatements());
        // An object squatting on a name the second step needs makes that step fail.
        database->query(QStringLiteral("CREATE INDEX items_trigger ON items (kind)"));
    }
    EXPECT_THROW(ClipStore store(storeDir()), SQLiteDatabase::Error);
    {
        auto database = openDirectly();
        EXPECT_EQ(userVersion(*database), 1);
        for (const auto &row : database->query(QStringLiteral("PRAGMA table_info(items)")))
            EXPECT_NE(*textValue(row, QStringLiteral("name")), QStringLiteral("trigger"));
        database->query(QStringLiteral("DROP INDEX items_trigger"));
    }
    ClipStore store(storeDir());
    auto database = openDirectly();
    EXPECT_EQ(userVersion(*database), currentSchemaVersion);
}

TEST_F(ClipStoreTest, UnusableLocationsFailWithAFileSystemError)
{
    test::writeFile(storeDir(), {});
    const QString locations[] = {
        storeDir(), // a file where the folder should be
        storeDir() + QStringLiteral("/Corvane"), // a folder inside a file
        QStringLiteral("/proc/corvane-test/Corvane"), // a file system nobody may write
    };
    for (const QString &location : locations) {
        SCOPED_TRACE(location.toStdString());
        try {
            ClipStore store(location);
            ADD_FAILURE() << "opened a store at an unusable location";
        } catch (const FileSystemError &error) {
            EXPECT_FALSE(error.description().isEmpty());
        }
    }
}

TEST_F(ClipStoreTest, StoreFilesArePrivateWhateverTheUmask)
{
    test::ScopedUmask permissive(0);
    // An existing folder with loose modes is tightened too.
    ASSERT_EQ(::mkdir(QFile::encodeName(storeDir()).constData(), 0777), 0);
    ClipStore store(storeDir());
    auto database = openDirectly();
    database->query(QStringLiteral("INSERT INTO pinboards (name, created_at) VALUES ('P', 1)"));

    EXPECT_EQ(modeOf(storeDir()), 0700u);
    EXPECT_EQ(modeOf(store.blobDirectory()), 0700u);
    for (const char *suffix : { "", "-wal", "-shm" })
        EXPECT_EQ(modeOf(databasePath() + QLatin1String(suffix)), 0600u) << suffix;
}

TEST_F(ClipStoreTest, StoresOpenedAtOnceOnANewFolderBothSucceed)
{
    // The application and the tool server may both create the history on a first run.
    for (int round = 0; round < 20; ++round) {
        const QString directory = path(QStringLiteral("race%1").arg(round));
        std::atomic<int> failures = 0;
        auto open = [&] {
            try {
                ClipStore store(directory);
            } catch (const std::exception &error) {
                ADD_FAILURE() << error.what();
                ++failures;
            }
        };
        std::thread first(open), second(open);
        first.join();
        second.join();
        ASSERT_EQ(failures, 0) << "round " << round;
    }
}

} // namespace
} // namespace corvane
