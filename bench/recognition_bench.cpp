// Reading the words in a full-screen screenshot: the time per image and the memory the
// engine takes while reading. Offscreen, so it needs no display.
#include "benchsupport.h"
#include "recognition/tesseracttextrecognizer.h"

#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <unistd.h>

#include <atomic>
#include <benchmark/benchmark.h>
#include <thread>

namespace corvane::bench {
namespace {

// Resident memory of this process, in MiB.
double residentMiB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1
        ? double(fields[1].toLongLong()) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0)
        : 0;
}

// A 1920 x 1080 screenshot of a dark code editor beside a light file list.
QString drawScreenshot(const QTemporaryDir &folder)
{
    QImage image(1920, 1080, QImage::Format_RGB32);
    image.fill(QColor(0x1e, 0x1e, 0x1e));
    QPainter painter(&image);
    painter.fillRect(0, 0, 360, 1080, QColor(0xf3, 0xf3, 0xf3));
    QFont sans(QStringLiteral("DejaVu Sans"));
    sans.setPixelSize(13);
    painter.setFont(sans);
    painter.setPen(QColor(0x33, 0x33, 0x33));
    for (int row = 0; row < 40; ++row)
        painter.drawText(24, 40 + row * 24, QStringLiteral("report_%1_summary.txt").arg(row));
    QFont mono(QStringLiteral("DejaVu Sans Mono"));
    mono.setPixelSize(14);
    painter.setFont(mono);
    painter.setPen(QColor(0xd4, 0xd4, 0xd4));
    for (int row = 0; row < 48; ++row) {
        painter.drawText(400, 30 + row * 21,
            QStringLiteral("    if (invoice.total(%1) > limit) throw Error(\"over budget\");")
                .arg(row));
    }
    painter.end();
    const QString path = folder.filePath(QStringLiteral("screenshot.png"));
    image.save(path, "PNG");
    return path;
}

void screenshot(benchmark::State &state)
{
    QTemporaryDir folder;
    const QString path = drawScreenshot(folder);
    TesseractTextRecognizer recognizer(QLocale(QLocale::English));
    const std::atomic<bool> stop = false;
    const double before = residentMiB();
    std::atomic<double> peak = before;
    std::atomic<bool> sampling = true;
    std::thread sampler([&] {
        while (sampling) {
            peak = std::max(peak.load(), residentMiB());
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    std::vector<double> wall;
    std::vector<double> cpu;
    qsizetype characters = 0;
    for (auto _ : state) {
        const double wallStart = wallSeconds();
        const double cpuStart = threadSeconds();
        const RecognizedText text = recognizer.recognize(path, stop);
        cpu.push_back(threadSeconds() - cpuStart);
        wall.push_back(wallSeconds() - wallStart);
        characters = text.text.size();
    }
    sampling = false;
    sampler.join();
    state.counters["wall_ms"] = median(wall) * 1e3;
    state.counters["cpu_ms"] = median(cpu) * 1e3;
    state.counters["characters"] = double(characters);
    state.counters["rss_before_MiB"] = before;
    state.counters["rss_peak_MiB"] = peak.load();
}

} // namespace
} // namespace corvane::bench

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    // Five readings give a stable median; the test suite's run only shows the benchmark still
    // works, and one reading is enough for that (each takes seconds under the sanitizers).
    const int iterations = qEnvironmentVariableIntValue("CORVANE_BENCH_ITERATIONS");
    benchmark::RegisterBenchmark("Recognition/Screenshot1920x1080", corvane::bench::screenshot)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(iterations > 0 ? iterations : 5);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
