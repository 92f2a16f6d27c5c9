// Faults that hit the running application: its history folder taken away, the clock set
// back, the X server gone, a termination in the middle of a burst. Each runs the real
// executable with real X clients copying.

#include "applicationtest.h"
#include "store/sqlitedatabase.h"

#include <QFile>
#include <QProcess>

#include <sys/types.h>
#include <unistd.h>

#include <csignal>
#include <gtest/gtest.h>
#include <set>

namespace corvane {
namespace {

using namespace std::chrono_literals;
using test::spinUntil;

class RunningFaultTest : public test::ApplicationTest
{
protected:
    // Everything the instance logged so far.
    QString logOf(QProcess &instance)
    {
        m_log += QString::fromUtf8(instance.readAllStandardError());
        return m_log;
    }

    // Waits until the instance logged `line` `times` times; whether it did.
    bool waitForLog(QProcess &instance, const QString &line, qsizetype times = 1)
    {
        return spinUntil([&] { return logOf(instance).count(line) >= times; }, 10s);
    }

    // The titles of the history in a folder, newest first, read by a fresh connection.
    static QStringList titlesIn(const QString &directory)
    {
        return titlesOf(ClipStore(directory).items(ClipStore::Filter { .limit = 100 }));
    }
    // Those of the history at its path; none when there is no history file there.
    QStringList titlesOnDisk()
    {
        return QFile::exists(historyFile()) ? titlesIn(storeDirectory()) : QStringList();
    }

    QStringList titlesOnceTopIs(const QString &title)
    {
        QStringList titles;
        spinUntil(
            [&] {
                titles = titlesOnDisk();
                return !titles.isEmpty() && titles.front() == title;
            },
            10s);
        return titles;
    }

    QString m_log;
};

// The history folder is moved away, deleted or replaced by a file while copies keep coming.
// Copies are never written into a file that is no longer the history; each one that cannot
// be recorded is logged with its reason, and recording resumes at the history's path once
// it can.
TEST_F(RunningFaultTest, AHistoryFolderTakenAwayIsOpenedAgainOnceItCanBe)
{
    QProcess &instance = startInstance();
    const QString moved = scratchPath(QStringLiteral("moved"));
    const QString reopened = QStringLiteral("was removed or replaced while in use; opening it "
                                            "again");
    copyText(QStringLiteral("first"));
    titlesOnceTopIs(QStringLiteral("first"));
    copyText(QStringLiteral("second"));
    ASSERT_EQ(titlesOnceTopIs(QStringLiteral("second")),
        QStringList({ QStringLiteral("second"), QStringLiteral("first") }));

    // Moved away (a backup tool, the user tidying up): the moved folder keeps what was
    // stored and nothing more; the next copy starts a history at the usual path.
    ASSERT_TRUE(QDir().rename(storeDirectory(), moved));
    copyText(QStringLiteral("after the move"));
    EXPECT_EQ(titlesOnceTopIs(QStringLiteral("after the move")),
        QStringList({ QStringLiteral("after the move") }));
    EXPECT_TRUE(waitForLog(instance, reopened)) << m_log.toStdString();
    EXPECT_EQ(titlesIn(moved), QStringList({ QStringLiteral("second"), QStringLiteral("first") }));
    EXPECT_EQ(
        integrityOf(QDir(moved).filePath(QStringLiteral("history.sqlite"))), QStringLiteral("ok"));

    // Deleted: the same, in a new folder.
    ASSERT_TRUE(QDir(storeDirectory()).removeRecursively());
    copyText(QStringLiteral("after the deletion"));
    EXPECT_EQ(titlesOnceTopIs(QStringLiteral("after the deletion")),
        QStringList({ QStringLiteral("after the deletion") }));
    EXPECT_TRUE(waitForLog(instance, reopened, 2)) << m_log.toStdString();

    // Replaced by a file: every copy fails with the reason until the file is gone.
    ASSERT_TRUE(QDir(storeDirectory()).removeRecursively());
    test::writeFile(storeDirectory(), {});
    const QString refused = QStringLiteral("Could not record a text copy: “%1” exists and is not "
                                           "a folder.")
                                .arg(storeDirectory());
    for (int i = 1; i <= 3; ++i) {
        copyText(QStringLiteral("while blocked %1").arg(i));
        EXPECT_TRUE(waitForLog(instance, refused, i)) << m_log.toStdString();
    }
    EXPECT_EQ(instance.state(), QProcess::Running);
    ASSERT_TRUE(QFile::remove(storeDirectory()));
    copyText(QStringLiteral("after the file went"));
    EXPECT_EQ(titlesOnceTopIs(QStringLiteral("after the file went")),
        QStringList({ QStringLiteral("after the file went") }));
    EXPECT_EQ(logOf(instance).count(refused), 3) << m_log.toStdString();
    EXPECT_EQ(integrityOf(historyFile()), QStringLiteral("ok"));
    EXPECT_EQ(instance.state(), QProcess::Running);
}

// The history folder becomes read-only (a file system remounted read-only after errors)
// while copies keep coming. The files SQLite holds open stay writable, as they do on Linux,
// so texts are still recorded; an image, whose payload needs a new file, fails with a logged
// reason, and images are recorded again once the folder is writable. The application runs in
// a private mount namespace, where the test remounts its history folder; that takes root.
TEST_F(RunningFaultTest, AReadOnlyHistoryFolderFailsEachImageCopyUntilItIsWritableAgain)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "remounting the history folder read-only needs root";
    m_launcher = QStringLiteral("unshare --mount --propagation private").split(u' ');
    QProcess &instance = startInstance();
    const auto inNamespace = [&](const QStringList &mountArguments) {
        return QProcess::execute(QStringLiteral("nsenter"),
            QStringList { QStringLiteral("--target"), QString::number(instance.processId()),
                QStringLiteral("--mount"), QStringLiteral("mount") }
                << mountArguments);
    };
    const auto copyImage = [&](int width) {
        copy({ pasteboardtype::png() + QStringLiteral("=@")
            + test::writeFile(
                scratchPath(QStringLiteral("%1.png").arg(width)), test::encodedImage(width, 16)) });
    };
    copyText(QStringLiteral("stored"));
    titlesOnceTopIs(QStringLiteral("stored"));
    copyImage(20);
    titlesOnceTopIs(QStringLiteral("20 × 16"));
    if (inNamespace({ QStringLiteral("--bind"), storeDirectory(), storeDirectory() }) != 0)
        GTEST_SKIP() << "no bind mounts here";
    ASSERT_EQ(
        inNamespace({ QStringLiteral("-o"), QStringLiteral("remount,bind,ro"), storeDirectory() }),
        0);

    const QString failed = QStringLiteral(
        "Could not record a image copy: Creating a file in “%1” failed: Read-only file system.")
                               .arg(QDir(storeDirectory()).filePath(QStringLiteral("Blobs")));
    for (int i = 1; i <= 3; ++i) {
        copyImage(20 + i);
        EXPECT_TRUE(waitForLog(instance, failed, i)) << m_log.toStdString();
        copyText(QStringLiteral("while read-only %1").arg(i));
        titlesOnceTopIs(QStringLiteral("while read-only %1").arg(i));
    }
    EXPECT_EQ(instance.state(), QProcess::Running);
    ASSERT_EQ(
        inNamespace({ QStringLiteral("-o"), QStringLiteral("remount,bind,rw"), storeDirectory() }),
        0);
    copyImage(30);
    EXPECT_EQ(titlesOnceTopIs(QStringLiteral("30 × 16")),
        QStringList({ QStringLiteral("30 × 16"), QStringLiteral("while read-only 3"),
            QStringLiteral("while read-only 2"), QStringLiteral("while read-only 1"),
            QStringLiteral("20 × 16"), QStringLiteral("stored") }));
    EXPECT_EQ(logOf(instance).count(failed), 3) << m_log.toStdString();
    EXPECT_EQ(integrityOf(historyFile()), QStringLiteral("ok"));
    EXPECT_EQ(QDir(QDir(storeDirectory()).filePath(QStringLiteral("Blobs")))
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                  .size(),
        2);
}

// The system clock goes back an hour (a wrong time corrected, a time zone set as UTC): new
// copies still come first and the item limit removes the oldest copies, not the new ones.
// The application runs under libfaketime, whose offset the test changes while it runs.
TEST_F(RunningFaultTest, CopiesMadeAfterTheClockWentBackStillComeFirst)
{
    const QString library = QStringLiteral("/usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1");
    if (!QFile::exists(library))
        GTEST_SKIP() << "libfaketime is not installed (scripts/install-deps.sh installs it)";
    const QString offsetFile = scratchPath(QStringLiteral("offset"));
    const auto setOffset
        = [&](const QByteArray &offset) { test::writeFile(offsetFile, offset + '\n'); };
    setOffset("+0");
    writeSettings("[General]\nitemLimit=4\n");
    m_extraEnvironment = {
        { QStringLiteral("LD_PRELOAD"), library },
        { QStringLiteral("FAKETIME_TIMESTAMP_FILE"), offsetFile },
        { QStringLiteral("FAKETIME_NO_CACHE"), QStringLiteral("1") },
        // Timers run on the monotonic clock, which stays as it is.
        { QStringLiteral("DONT_FAKE_MONOTONIC"), QStringLiteral("1") },
        // The sanitizer's runtime is not the first library when another is preloaded.
        { QStringLiteral("ASAN_OPTIONS"),
            qEnvironmentVariable("ASAN_OPTIONS") + QStringLiteral(":verify_asan_link_order=0") },
    };
    QProcess &instance = startInstance();
    for (const char *title : { "early 1", "early 2", "early 3" }) {
        copyText(QString::fromLatin1(title));
        titlesOnceTopIs(QString::fromLatin1(title));
    }
    setOffset("-3600");
    for (const char *title : { "late 1", "late 2", "late 3" }) {
        copyText(QString::fromLatin1(title));
        titlesOnceTopIs(QString::fromLatin1(title));
    }
    // "early 2" is copied again and moves to the top.
    copyText(QStringLiteral("early 2"));
    const QStringList expected { QStringLiteral("early 2"), QStringLiteral("late 3"),
        QStringLiteral("late 2"), QStringLiteral("late 1") };
    QStringList titles;
    spinUntil([&] { return (titles = titlesOnDisk()) == expected; }, 10s);
    EXPECT_EQ(titles, expected);
    EXPECT_EQ(instance.state(), QProcess::Running) << logOf(instance).toStdString();
}

// The X server goes away (the session ends without a word): the application ends with
// status 1 and says why, and the history it wrote is whole.
TEST_F(RunningFaultTest, WhenTheXServerGoesAwayTheApplicationEndsWithAReason)
{
    QProcess server;
    server.start(QStringLiteral("Xvfb"),
        QStringLiteral("-displayfd 1 -nolisten tcp -screen 0 800x600x24").split(u' '));
    ASSERT_TRUE(server.waitForStarted(10000));
    ASSERT_TRUE(spinUntil([&] { return server.canReadLine(); }, 10s));
    const QString display = QLatin1Char(':') + QString::fromLatin1(server.readLine().trimmed());
    m_extraEnvironment = { { QStringLiteral("DISPLAY"), display } };
    QProcess &instance = startInstance();

    QProcessEnvironment onServer = QProcessEnvironment::systemEnvironment();
    onServer.insert(QStringLiteral("DISPLAY"), display);
    QProcess xclip;
    xclip.setProcessEnvironment(onServer);
    xclip.start(QStringLiteral("xclip"), QStringLiteral("-selection clipboard -i").split(u' '));
    ASSERT_TRUE(xclip.waitForStarted(10000));
    xclip.write("copied before the server went");
    xclip.closeWriteChannel();
    EXPECT_EQ(titlesOnceTopIs(QStringLiteral("copied before the server went")).size(), 1);

    server.terminate();
    ASSERT_TRUE(server.waitForFinished(10000));
    ASSERT_TRUE(instance.waitForFinished(30000)) << "still running without its X server";
    EXPECT_EQ(instance.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(instance.exitCode(), 1);
    const QString log = logOf(instance);
    EXPECT_TRUE(log.contains(QStringLiteral("The X server connection was lost")))
        << log.toStdString();
    xclip.waitForFinished(10000);
    EXPECT_EQ(integrityOf(historyFile()), QStringLiteral("ok"));
    EXPECT_EQ(titlesOnDisk(), QStringList({ QStringLiteral("copied before the server went") }));
}

// Logging out in the middle of a burst of copies: the application ends normally, and the
// next start finds every copy that was in the history before the signal.
TEST_F(RunningFaultTest, TerminationInTheMiddleOfABurstKeepsEveryRecordedCopy)
{
    QProcess &first = startInstance();
    copyText(QStringLiteral("recording"));
    ASSERT_FALSE(titlesOnceTopIs(QStringLiteral("recording")).isEmpty());
    std::set<QString> recorded;
    for (int i = 0; i < 40; ++i) {
        copyText(QStringLiteral("burst %1 ").arg(i) + QString(20000, u'b'));
        if (i == 25) {
            for (const QString &title : titlesOnDisk())
                recorded.insert(title);
            ASSERT_EQ(::kill(pid_t(first.processId()), SIGTERM), 0);
        }
    }
    ASSERT_TRUE(first.state() == QProcess::NotRunning || first.waitForFinished(30000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_TRUE(logOf(first).contains(QStringLiteral("Corvane is terminating")));
    EXPECT_GE(recorded.size(), 3u) << "too few copies were recorded before the signal";

    startInstance();
    EXPECT_EQ(integrityOf(historyFile()), QStringLiteral("ok"));
    const QStringList after = titlesOnDisk();
    for (const QString &title : recorded)
        EXPECT_TRUE(after.contains(title)) << title.left(12).toStdString() << " was lost";
}

} // namespace
} // namespace corvane
