// Records new clipboard candidates into a store the way the application's watcher does:
// through ClipStore::record with an item limit, logging a failure and going on with the next
// copy. The reliability tests run it beside tool server processes and kill it at will.
//
//   reliability_recorder STORE_DIR steady INTERVAL_MS ITEM_LIMIT
//       one text candidate every INTERVAL_MS until standard input ends; then prints
//       "recorded N failed F" and exits 0 when nothing failed, 3 otherwise.
//   reliability_recorder STORE_DIR burst ITEM_LIMIT SEED
//       text and image candidates (payloads of 1 to 256 KiB) as fast as it can, until
//       standard input ends or it is killed; prints "ready" once the store is open.

#include "candidates.h"
#include "common/logging.h"
#include "mcp/mcpserver.h"
#include "store/clipstore.h"

#include <QCoreApplication>
#include <QRandomGenerator>

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <poll.h>

namespace {

using namespace corvane;

ClipCandidate textCandidate(const QString &text)
{
    ClipCandidate candidate = test::textCandidate(text);
    candidate.sourceBundleID = QStringLiteral("org.example.editor");
    candidate.sourceAppName = QStringLiteral("Editor");
    return candidate;
}

ClipCandidate imageCandidate(QRandomGenerator &random)
{
    QByteArray payload(1024 + qsizetype(random.bounded(255 * 1024)), Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32 *>(payload.data()), payload.size() / 4);
    ClipCandidate candidate = test::imageCandidate(payload, now(), QStringLiteral("Image"));
    candidate.sourceAppName = QStringLiteral("Viewer");
    return candidate;
}

// Waits up to timeoutMs for standard input; true once it has ended.
bool inputEnded(int timeoutMs)
{
    pollfd input { STDIN_FILENO, POLLIN, 0 };
    if (::poll(&input, 1, timeoutMs) <= 0)
        return false;
    char byte;
    return ::read(STDIN_FILENO, &byte, 1) <= 0;
}

// Records like the watcher: a failure is logged and the next copy is tried.
bool recordLogged(ClipStore &store, const ClipCandidate &candidate, std::int64_t itemLimit)
{
    try {
        store.record(candidate, itemLimit, 0, ClipStore::payloadCapBytes);
        return true;
    } catch (const std::exception &error) {
        qCCritical(lcWatcher, "Could not record a copy: %s",
            qUtf8Printable(McpServer::diagnosticDescription(error)));
        return false;
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() != 5) {
        std::fputs("usage: reliability_recorder STORE_DIR steady|burst N M\n", stderr);
        return 2;
    }
    std::unique_ptr<ClipStore> store;
    try {
        store = std::make_unique<ClipStore>(arguments[1]);
    } catch (const std::exception &error) {
        qCCritical(lcStore, "Could not open the history: %s",
            qUtf8Printable(McpServer::diagnosticDescription(error)));
        return 1;
    }
    const QString process = QString::number(QCoreApplication::applicationPid());

    if (arguments[2] == u"steady") {
        const int intervalMs = arguments[3].toInt();
        const std::int64_t itemLimit = arguments[4].toLongLong();
        long recorded = 0;
        long failed = 0;
        while (!inputEnded(intervalMs)) {
            const QString text
                = QStringLiteral("copied %1 by %2").arg(recorded + failed).arg(process);
            (recordLogged(*store, textCandidate(text), itemLimit) ? recorded : failed) += 1;
        }
        std::printf("recorded %ld failed %ld\n", recorded, failed);
        return failed == 0 ? 0 : 3;
    }

    if (arguments[2] == u"burst") {
        const std::int64_t itemLimit = arguments[3].toLongLong();
        QRandomGenerator random(arguments[4].toUInt());
        std::puts("ready");
        std::fflush(stdout);
        for (long count = 0; !inputEnded(0); ++count) {
            if (count % 3 == 0) {
                recordLogged(*store, imageCandidate(random), itemLimit);
            } else {
                recordLogged(*store,
                    textCandidate(QStringLiteral("burst %1 %2 %3")
                                      .arg(process)
                                      .arg(count)
                                      .arg(random.generate64())),
                    itemLimit);
            }
        }
        return 0;
    }
    std::fputs("reliability_recorder: unknown mode\n", stderr);
    return 2;
}
