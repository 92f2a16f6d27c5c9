// How long a copy made in another X client takes to become a row of the history: from
// asking the other client to take the clipboard to the watcher's record having returned,
// with the immediate poll on a change signal and with the 0.4-second tick alone. Copies are
// 0.1 to 0.5 s apart. Needs DISPLAY (an Xvfb will do).

#include "capture/clipboardwatcher.h"
#include "clipboardownerprocess.h"
#include "copylatency.h"
#include "platform/x11/clipboardxlib.h"
#include "platform/x11/x11pasteboard.h"
#include "platform/x11/x11workspace.h"
#include "preferences/preferences.h"
#include "store/clipstore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <memory>
#include <vector>

namespace corvane {
namespace {

using namespace std::chrono_literals;

void measureCopyToRow(benchmark::State &state, bool pollsOnChange)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        state.SkipWithError("needs an X server in DISPLAY");
        return;
    }
    QTemporaryDir folder;
    ClipStore store(QDir(folder.path()).filePath(QStringLiteral("Corvane")));
    Preferences preferences(QDir(folder.path()).filePath(QStringLiteral("Corvane.conf")));
    X11Pasteboard pasteboard;
    X11Workspace workspace(xlib::applicationDisplayName());
    ClipboardWatcher watcher(store, preferences, pasteboard, workspace);
    std::optional<ClipItem> recorded;
    watcher.onCapture = [&](const ClipItem &item) { recorded = item; };
    watcher.start(400ms);
    if (!pollsOnChange)
        QObject::disconnect(&pasteboard, &Pasteboard::changed, &watcher, nullptr);

    std::vector<double> samples;
    QRandomGenerator pause(20261206);
    int copy = 0;
    for (auto _ : state) {
        // The other client is ready before the clock starts; only its taking the clipboard
        // is timed.
        const QString text = QStringLiteral("copy number %1 of the benchmark").arg(++copy);
        test::ClipboardOwnerProcess owner({ QStringLiteral("text/plain=") + text });
        if (!owner.waitUntilReady()) {
            state.SkipWithError("the clipboard owner did not start");
            return;
        }
        bench::pauseBetweenCopies(pause);
        if (!bench::timeCopyToRow(
                state, recorded, text, [&] { owner.own(); }, samples))
            return;
    }
    bench::reportCopyLatency(state, samples);
}

void BM_CopyToRowWithImmediatePoll(benchmark::State &state)
{
    measureCopyToRow(state, true);
}

void BM_CopyToRowOnTheTickAlone(benchmark::State &state)
{
    measureCopyToRow(state, false);
}

BENCHMARK(BM_CopyToRowWithImmediatePoll)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);
BENCHMARK(BM_CopyToRowOnTheTickAlone)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

} // namespace
} // namespace corvane

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        benchmark::RunSpecifiedBenchmarks();
        return 0;
    }
    // The clipboard is read through Qt's xcb platform, as in the application.
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication application(argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
