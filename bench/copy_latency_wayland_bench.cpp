// How long a copy made in another Wayland client takes to become a row of the history: from
// the other client (already connected) setting the selection to the watcher's record having
// returned, through a headless sway's data-control, the Wayland clipboard reader and the
// SQLite store. Copies are 0.1 to 0.5 s apart, as in the X11 benchmark. Starts its own sway
// (as "nobody" under root).

#include "capture/clipboardwatcher.h"
#include "copylatency.h"
#include "eventloopwait.h"
#include "platform/fake/fakeworkspace.h"
#include "platform/wayland/waylandpasteboard.h"
#include "preferences/preferences.h"
#include "store/clipstore.h"
#include "wayland/headlesscompositor.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
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
using test::HeadlessCompositor;

void BM_CopyToRowOnWayland(benchmark::State &state)
{
    if (const auto reason = HeadlessCompositor::unavailableReason(HeadlessCompositor::Kind::sway)) {
        state.SkipWithError(reason->toStdString().c_str());
        return;
    }
    HeadlessCompositor compositor(HeadlessCompositor::Kind::sway);
    if (!compositor.start()) {
        state.SkipWithError("sway did not start");
        return;
    }
    const QByteArray socket = QFile::encodeName(compositor.socketPath());
    const auto pasteboard = WaylandPasteboard::create(socket);
    const auto otherClient = WaylandPasteboard::create(socket);
    if (!pasteboard || !otherClient) {
        state.SkipWithError("no data-control on the compositor");
        return;
    }
    QTemporaryDir folder;
    ClipStore store(QDir(folder.path()).filePath(QStringLiteral("Corvane")));
    Preferences preferences(QDir(folder.path()).filePath(QStringLiteral("Corvane.conf")));
    // Wayland names no frontmost application to the watcher.
    FakeWorkspace workspace;
    ClipboardWatcher watcher(store, preferences, *pasteboard, workspace);
    std::optional<ClipItem> recorded;
    watcher.onCapture = [&](const ClipItem &item) { recorded = item; };
    watcher.start(400ms);

    std::vector<double> samples;
    QRandomGenerator pause(20261207);
    int copy = 0;
    for (auto _ : state) {
        const QString text = QStringLiteral("copy number %1 of the benchmark").arg(++copy);
        bench::pauseBetweenCopies(pause);
        const auto copyText = [&] {
            otherClient->clearContents();
            otherClient->setString(text);
        };
        if (!bench::timeCopyToRow(state, recorded, text, copyText, samples))
            return;
    }
    bench::reportCopyLatency(state, samples);
}

BENCHMARK(BM_CopyToRowOnWayland)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace
} // namespace corvane

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    QCoreApplication application(argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
