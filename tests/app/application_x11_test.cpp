// Starts the real executable on the X server and copies from other X clients, as a user's
// applications would, then looks into the history it writes.

#include "applicationtest.h"
#include "clipboardownerprocess.h"
#include "clipboardtesttools.h"
#include "pageserver.h"
#include "platform/pasteboardtypes.h"
#include "store/clipstore.h"
#include "store/schema.h"
#include "store/sqlitedatabase.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QUrl>

#include <sys/types.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace corvane {
namespace {

using namespace std::chrono_literals;
using test::ApplicationTest;
using test::ClipboardOwnerProcess;
using test::fileContents;
using test::spinUntil;
using test::writeFile;
namespace type = pasteboardtype;

TEST_F(ApplicationTest, RecordsWhatOtherApplicationsCopyAndNothingTheyHide)
{
    // Already on the clipboard at launch: never recorded.
    copyText(QStringLiteral("copied before the start"));
    startInstance();
    // A web page for the copied link, so its title can be fetched without leaving the machine.
    test::PageServer server;
    server.setPage("/page",
        { test::response(
            "200 OK", "text/html", "<html><head><title> A local page </title></head></html>") });
    const QString link = server.url("/page");

    copyText(QStringLiteral("hello from another application"));
    auto items = itemsOnceTopIs(QStringLiteral("hello from another application"));
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].kind, ClipKind::text);
    EXPECT_EQ(items[0].sourceAppName, QStringLiteral("Editor"));

    copyText(link);
    items = itemsOnceTopIs(QStringLiteral("A local page"));
    ASSERT_FALSE(items.empty());
    EXPECT_EQ(items[0].kind, ClipKind::link);
    EXPECT_EQ(items[0].text, link);
    EXPECT_EQ(items[0].subtitle, QStringLiteral("127.0.0.1"));

    copy({ type::png() + QStringLiteral("=@")
        + writeFile(scratchPath(QStringLiteral("copied.png")), test::encodedImage(24, 16)) });
    items = itemsOnceTopIs(QStringLiteral("24 × 16"));
    ASSERT_FALSE(items.empty());
    EXPECT_EQ(items[0].kind, ClipKind::image);
    EXPECT_EQ(QDir(store().blobDirectory()).entryList(QDir::Files).size(), 1);

    copy({ type::uriList()
        + QStringLiteral("=file:///etc/hostname\r\nfile:///etc/os-release\r\n") });
    items = itemsOnceThey(
        [](const auto &now) { return !now.empty() && now.front().kind == ClipKind::file; });
    ASSERT_FALSE(items.empty());
    EXPECT_EQ(items[0].kind, ClipKind::file);

    // Marked concealed by its owner (which marker does it is candidate extraction's part), and
    // copied in a password manager: neither is recorded.
    copy({ type::concealed() + QLatin1Char('='),
        type::plainText() + QStringLiteral("=concealed secret") });
    ClipboardOwnerProcess passwordManager(
        { type::plainText() + QStringLiteral("=from the key ring") });
    ASSERT_TRUE(passwordManager.waitUntilReady());
    ASSERT_TRUE(passwordManager.activate(QStringLiteral("keepassxc"), QStringLiteral("KeePassXC")));
    ASSERT_TRUE(passwordManager.ownAndWait());
    // The application in front is asked when the copy is looked at: the key ring stays in
    // front for longer than the watcher's tick.
    spinUntil([] { return false; }, 1s);
    ASSERT_TRUE(m_frontmost.activate(QStringLiteral("editor"), QStringLiteral("Editor")));

    // The same text twice, with another copy between: one row, moved to the top.
    copyText(QStringLiteral("said twice"));
    itemsOnceTopIs(QStringLiteral("said twice"));
    copyText(QStringLiteral("in between"));
    itemsOnceTopIs(QStringLiteral("in between"));
    copyText(QStringLiteral("said twice"));
    items = itemsOnceTopIs(QStringLiteral("said twice"));

    const QStringList titles = titlesOf(items);
    EXPECT_EQ(titles.count(QStringLiteral("said twice")), 1);
    for (const char *hidden :
        { "copied before the start", "concealed secret", "from the key ring" })
        EXPECT_FALSE(titles.contains(QString::fromUtf8(hidden))) << hidden;
    EXPECT_EQ(items.size(), 6u) << titles.join(u'|').toStdString();
}

// An old history is upgraded when the application opens it, which takes a minute on a long
// history; the clipboard is read meanwhile. Here another process holds the history through
// its own upgrade, so the application's start waits for as long as the test copies.
TEST_F(ApplicationTest, EveryCopyMadeWhileTheHistoryIsUpgradedIsRecorded)
{
    copyText(QStringLiteral("copied before the start"));
    QDir().mkpath(storeDirectory());
    auto upgrader = std::make_unique<SQLiteDatabase>(historyFile());
    for (const QString &statement : schemaStepOneStatements() + schemaStepTwoStatements())
        upgrader->query(statement);
    upgrader->query(QStringLiteral("BEGIN IMMEDIATE"));
    for (const QString &statement : schemaStepThreeStatements())
        upgrader->query(statement);

    QProcess &instance = startInstance(false);
    // The application has opened the history and waits for the upgrade.
    const QString opened = QFileInfo(historyFile()).canonicalFilePath();
    ASSERT_TRUE(spinUntil(
        [&] {
            const QDir descriptors(QStringLiteral("/proc/%1/fd").arg(instance.processId()));
            for (const QString &name : descriptors.entryList(QDir::AllEntries | QDir::System))
                if (QFile::symLinkTarget(descriptors.filePath(name)) == opened)
                    return true;
            return false;
        },
        30s))
        << instance.state() << instance.readAllStandardError().toStdString();
    // A copy replaced before it could be read is lost, as it is after the start: the copies
    // come at the pace of a hand.
    for (const char *text : { "first copy during the upgrade", "second copy during the upgrade",
             "last copy during the upgrade" }) {
        copyText(QString::fromLatin1(text));
        spinUntil([] { return false; }, 300ms);
    }
    // Logging out meanwhile ends it once the history is open, with the copies recorded.
    instance.terminate();
    upgrader->query(QStringLiteral("COMMIT"));
    upgrader.reset();
    ASSERT_TRUE(instance.waitForFinished(30000));
    EXPECT_EQ(instance.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(instance.exitCode(), 0);
    EXPECT_TRUE(instance.readAllStandardError().contains("Corvane is terminating"));

    // In the order they were made; what the clipboard held at launch stays unrecorded.
    EXPECT_EQ(titlesOf(itemsOnceTopIs(QStringLiteral("last copy during the upgrade"))),
        (QStringList { QStringLiteral("last copy during the upgrade"),
            QStringLiteral("second copy during the upgrade"),
            QStringLiteral("first copy during the upgrade") }));
}

TEST_F(ApplicationTest, ASecondStartStandsDownAndLeavesTheFirstRunningUntilItIsTerminated)
{
    QProcess &first = startInstance();
    QProcess &second = startInstance(false);
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    const QString expected
        = QStringLiteral("Another Corvane (pid %1, %2) is already running — activating it "
                         "and standing down.")
              .arg(first.processId())
              .arg(QStringLiteral(CORVANE_EXECUTABLE));
    EXPECT_TRUE(QString::fromUtf8(second.readAllStandardError()).contains(expected));

    EXPECT_EQ(first.state(), QProcess::Running);
    copyText(QStringLiteral("still recorded"));
    EXPECT_FALSE(itemsOnceTopIs(QStringLiteral("still recorded")).empty());

    // Logging out ends it as quitting would.
    first.terminate();
    ASSERT_TRUE(first.waitForFinished(30000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_TRUE(first.readAllStandardError().contains("Corvane is terminating"));
}

TEST_F(ApplicationTest, AKillInTheMiddleOfABurstLeavesASoundHistoryAndNoObstacleToTheNextStart)
{
    QProcess &first = startInstance();
    for (int i = 0; i < 30; ++i) {
        copyText(QStringLiteral("burst %1").arg(i));
        if (i == 15) {
            ASSERT_EQ(::kill(pid_t(first.processId()), SIGKILL), 0);
        }
    }
    // The copies ran the event loop, which may have noticed the end already.
    ASSERT_TRUE(first.state() == QProcess::NotRunning || first.waitForFinished(10000));
    EXPECT_EQ(first.exitStatus(), QProcess::CrashExit);

    // The lock and the socket it left behind do not stop the next start.
    QProcess &next = startInstance();
    EXPECT_EQ(next.state(), QProcess::Running);
    EXPECT_EQ(integrityOf(historyFile()), QStringLiteral("ok"));
    copyText(QStringLiteral("after the crash"));
    EXPECT_FALSE(itemsOnceTopIs(QStringLiteral("after the crash")).empty());
}

// A history the application cannot open (a file where its folder should be, a file that is
// not a database) is reported in an alert, the application ends, and the file is kept as it
// was. Which damaged or foreign files are refused, and that their rows survive, is the
// reliability suite's part (corruptdatabase_test).
TEST_F(ApplicationTest, AHistoryThatCannotBeOpenedShowsTheAlertEndsTheApplicationAndIsKept)
{
    QByteArray noise(32 * 1024, Qt::Uninitialized);
    QRandomGenerator(11).fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
    const struct
    {
        const char *name;
        QString file;
        QByteArray bytes;
        QString logged;
    } cases[] = {
        { "a file where the folder should be", storeDirectory(), {},
            QStringLiteral("Could not open the history: ") },
        { "a history file that is no database", historyFile(), noise,
            QStringLiteral("Could not open the history: SQLite error 26: file is not a database") },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(storeDirectory());
        writeFile(c.file, c.bytes);
        const QString log = dismissAlert(startInstance(false));
        EXPECT_TRUE(log.contains(c.logged)) << log.toStdString();
        EXPECT_EQ(fileContents(c.file), c.bytes);
    }
}

// The clipboard outlives the application that copied: Corvane keeps the copy it recorded.
class KeepAliveTest : public ApplicationTest
{
protected:
    std::size_t rowCount() { return store().items(ClipStore::Filter { .limit = 100 }).size(); }

    // Another application copies these targets, waits until the history has one row more,
    // then exits without handing its clipboard over.
    void copyAndExit(const QStringList &targets, std::size_t rowsAfter)
    {
        ClipboardOwnerProcess owner(targets);
        ASSERT_TRUE(owner.waitUntilReady());
        ASSERT_TRUE(owner.ownAndWait());
        EXPECT_EQ(
            itemsOnceThey([&](const auto &items) { return items.size() == rowsAfter; }).size(),
            rowsAfter);
        owner.exit();
    }

    // What xclip reads as this type once it reads something, or after 5 s.
    QByteArray pasted(const QString &type)
    {
        QByteArray bytes;
        spinUntil(
            [&] {
                bytes = test::readClipboardWithXclip(type);
                return !bytes.isEmpty();
            },
            5s);
        return bytes;
    }
};

// What an application copied is still pasted byte for byte after it exits, whether it left
// without a word or a Qt application handed its clipboard over; a hidden copy is never kept.
TEST_F(KeepAliveTest, CopiesOutliveTheirOwnersExceptHiddenOnes)
{
    QProcess &instance = startInstance();
    const QString keptFile = writeFile(scratchPath(QStringLiteral("kept file.txt")), "a file");
    const struct
    {
        const char *name;
        QString offered;
        QString pastedAs;
        QByteArray bytes;
    } rows[] = {
        { "text", type::plainText(), type::utf8String(), "Grüße — kept after the exit ✓" },
        { "image", type::png(), type::png(), test::encodedImage(64, 48) },
        { "file list", type::uriList(), type::uriList(),
            QUrl::fromLocalFile(keptFile).toEncoded() + "\r\n" },
    };
    std::size_t expectedRows = 0;
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const QString source = writeFile(scratchPath(QString::fromLatin1(row.name)), row.bytes);
        copyAndExit({ row.offered + QStringLiteral("=@") + source }, ++expectedRows);
        EXPECT_EQ(pasted(row.pastedAs), row.bytes);
        // Kept, not copied again.
        spinUntil([] { return false; }, 500ms);
        EXPECT_EQ(rowCount(), expectedRows);
    }

    QProcess copier;
    copier.start(QStringLiteral(QT_COPIER_PATH), { QStringLiteral("handed over on exit") });
    ASSERT_TRUE(spinUntil([&] { return copier.state() == QProcess::NotRunning; }, 10s));
    EXPECT_EQ(copier.exitCode(), 0);
    // Qt complains when no manager answered its save request in time.
    EXPECT_FALSE(copier.readAllStandardError().contains("clipboard manager"));
    EXPECT_EQ(test::readClipboardWithXclip(type::utf8String()), "handed over on exit");
    spinUntil([] { return false; }, 500ms);
    EXPECT_EQ(rowCount(), 4u);
    EXPECT_EQ(instance.state(), QProcess::Running);

    ClipboardOwnerProcess passwordManager({ type::passwordManagerHint() + QStringLiteral("=secret"),
        type::plainText() + QStringLiteral("=hunter2") });
    ASSERT_TRUE(passwordManager.waitUntilReady());
    ASSERT_TRUE(passwordManager.ownAndWait());
    spinUntil([] { return false; }, 1s);
    passwordManager.exit();
    spinUntil([] { return false; }, 1s);
    // Neither the secret nor the older copy posing as the clipboard's contents.
    EXPECT_EQ(test::readClipboardWithXclip(type::utf8String()), QByteArray());
    EXPECT_EQ(rowCount(), 4u);
}

TEST_F(KeepAliveTest, WithTheSettingOffNothingIsKept)
{
    writeSettings("[General]\nkeepsClipboardAlive=false\n");
    startInstance();
    copyAndExit({ type::plainText() + QStringLiteral("=gone with its owner") }, 1);
    spinUntil([] { return false; }, 1s);
    EXPECT_EQ(test::readClipboardWithXclip(type::utf8String()), QByteArray());
    // No manager either: a Qt application's exit is not held up by a save request.
    QProcess copier;
    copier.start(QStringLiteral(QT_COPIER_PATH), { QStringLiteral("not handed over") });
    ASSERT_TRUE(spinUntil([&] { return copier.state() == QProcess::NotRunning; }, 10s));
    EXPECT_EQ(test::readClipboardWithXclip(type::utf8String()), QByteArray());
}

TEST_F(KeepAliveTest, AnotherClipboardManagerIsLeftAlone)
{
    // The helper ends when it loses the selection it owns.
    ClipboardOwnerProcess otherManager(
        { QStringLiteral("--selection"), QStringLiteral("CLIPBOARD_MANAGER") });
    ASSERT_TRUE(otherManager.waitUntilReady());
    ASSERT_TRUE(otherManager.ownAndWait());
    startInstance();
    // Copies whose owner vanishes are still kept.
    copyAndExit({ type::plainText() + QStringLiteral("=kept anyway") }, 1);
    EXPECT_EQ(pasted(type::utf8String()), "kept anyway");
    EXPECT_TRUE(otherManager.isRunning());
}

} // namespace
} // namespace corvane
