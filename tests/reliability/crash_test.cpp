// Processes killed in the middle of writing leave a history that is whole: the database
// passes its integrity check, no row names a missing payload file, and the sweep at the
// next start removes whatever files the crashes left without a row.

#include "reliabilitysupport.h"
#include "store/clipstore.h"

#include <QFile>
#include <QJsonDocument>
#include <QRandomGenerator>

#include <chrono>
#include <gtest/gtest.h>
#include <iostream>
#include <signal.h>
#include <thread>

namespace corvane {
namespace {

using namespace test;

class KilledWriters : public TemporaryFolderTest
{
protected:
    void SetUp() override
    {
        TemporaryFolderTest::SetUp();
        // Writing to a server that was just killed must fail, not end the test.
        ::signal(SIGPIPE, SIG_IGN);
    }
};

// Requests that save a note and file it, as fast as the server takes them.
QByteArray saveRequests(int round, int count)
{
    QByteArray requests
        = R"({"jsonrpc":"2.0","id":0,"method":"tools/call","params":{"name":"create_pinboard","arguments":{"name":"Crash board"}}})"
          "\n";
    for (int i = 1; i <= count; ++i) {
        const QByteArray text = "round " + QByteArray::number(round) + " note "
            + QByteArray::number(i) + "\\n" + QByteArray(200 + (i % 50) * 40, 'n');
        requests += R"({"jsonrpc":"2.0","id":)" + QByteArray::number(i)
            + R"(,"method":"tools/call","params":{"name":"save_clipboard_item","arguments":{"text":")"
            + text + "\"}}}\n";
        requests += R"({"jsonrpc":"2.0","id":"a)" + QByteArray::number(i)
            + R"(","method":"tools/call","params":{"name":"add_to_pinboard","arguments":{"pinboard":"Crash board","item_id":)"
            + QByteArray::number(i) + "}}}\n";
    }
    return requests;
}

// Rounds: CORVANE_CRASH_ROUNDS (12 unless set).
TEST_F(KilledWriters, LeaveAnIntactHistoryThatTheNextSweepCleans)
{
    const int rounds = countFromEnvironment("CORVANE_CRASH_ROUNDS", 12);
    const QString dataHome = path(QStringLiteral("data"));
    const QString storeDirectory = dataHome + QStringLiteral("/Corvane");
    ClipStore { storeDirectory };
    QRandomGenerator random(quint32(QRandomGenerator::global()->generate()));
    int strayFiles = 0;
    int sweptRounds = 0;
    int savedNotes = 0;
    int filedNotes = 0;

    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        {
            ChildProcess recorder({ .program = recorderExecutable(),
                .arguments = { storeDirectory, QStringLiteral("burst"), QStringLiteral("12"),
                    QString::number(random.generate()) },
                .standardErrorFile = path(QStringLiteral("recorder.log")) });
            ChildProcess server({ .program = corvaneExecutable(),
                .arguments = { QStringLiteral("--mcp") },
                .environment = dataHomeEnvironment(dataHome),
                .standardErrorFile = path(QStringLiteral("server.log")),
                .standardOutputFile = path(QStringLiteral("replies.txt")) });
            ASSERT_TRUE(recorder.started() && server.started());
            std::thread feeder([&] { server.send(saveRequests(round, 2000)); });
            ASSERT_EQ(recorder.readLine(60000), QByteArray("ready"));

            // Kill each at its own random moment of its burst, counted from the server's first
            // answer: a loaded machine can take longer than the whole window just to start it.
            const QString replies = path(QStringLiteral("replies.txt"));
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (fileContents(replies).isEmpty() && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            const bool serverFirst = random.bounded(2) == 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(random.bounded(100, 600)));
            (serverFirst ? server : recorder).signal(SIGKILL);
            std::this_thread::sleep_for(std::chrono::milliseconds(random.bounded(0, 150)));
            (serverFirst ? recorder : server).signal(SIGKILL);
            EXPECT_EQ(recorder.wait(30000), 128 + SIGKILL);
            EXPECT_EQ(server.wait(30000), 128 + SIGKILL);
            server.closeInput();
            feeder.join();
        }

        const StoreState state = readStoreState(storeDirectory);
        ASSERT_EQ(state.integrity, QStringLiteral("ok"));
        EXPECT_EQ(state.searchIndexError, QString());
        EXPECT_EQ(state.foreignKeyViolations, 0);
        for (const QString &name : state.blobNamesInUse)
            EXPECT_TRUE(state.blobFolderEntries.contains(name)) << "missing " << name.toStdString();
        const QSet<QString> strays = state.blobFolderEntries - state.blobNamesInUse;
        strayFiles += int(strays.size());
        sweptRounds += strays.isEmpty() ? 0 : 1;

        // Every note filed on a pinboard (so never pruned) whose answer came is still there.
        for (const QByteArray &line :
            fileContents(path(QStringLiteral("replies.txt"))).split('\n')) {
            const QString text = QJsonDocument::fromJson(line)[QStringLiteral(
                "result")][QStringLiteral("content")][0][QStringLiteral("text")]
                                     .toString();
            if (text.startsWith(QStringLiteral("Saved as item ")))
                ++savedNotes;
            if (text.startsWith(QStringLiteral("Added item "))) {
                const std::int64_t id = text.section(u' ', 2, 2).toLongLong();
                ++filedNotes;
                EXPECT_TRUE(ClipStore(storeDirectory).item(id)) << "filed note " << id << " lost";
            }
        }

        // The next start sweeps: afterwards "Blobs" holds exactly the files rows name.
        ClipStore restarted(storeDirectory);
        restarted.sweepOrphanBlobs();
        const StoreState swept = readStoreState(storeDirectory);
        EXPECT_EQ(swept.blobFolderEntries, swept.blobNamesInUse);
    }
    // Filing depends on which ids the recorder's pruning left, so only saving is sure to happen.
    EXPECT_GT(savedNotes, 0) << "the server was always killed before its first save";
    std::cout << "[ reliability ] " << rounds << " rounds of killed writers (" << savedNotes
              << " notes saved, " << filedNotes << " filed before the kills) left " << strayFiles
              << " stray payload files in " << sweptRounds << " rounds; every sweep removed them"
              << std::endl;
}

} // namespace
} // namespace corvane
