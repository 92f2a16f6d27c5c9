// Candidate capture: what the clipboard watcher does with a copy before recording it, from the
// offered types to a candidate, on the in-memory clipboard so that only Corvane's work is
// measured (the X11 transfer is in the copy-latency benchmark).
#include "capture/candidateextraction.h"
#include "platform/fake/fakepasteboard.h"
#include "platform/pasteboardimage.h"
#include "platform/pasteboardtypes.h"

#include <QBuffer>
#include <QImage>

#include <benchmark/benchmark.h>

namespace {

using namespace corvane;
namespace type = pasteboardtype;

QByteArray encodedImage(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgba(x % 256, y % 256, (x * y) % 256, 255));
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "png");
    return bytes;
}

const FakePasteboard::Contents &copied(int shape)
{
    static const std::vector<FakePasteboard::Contents> shapes = {
        { { type::utf8String(), QByteArrayLiteral("Meeting notes for Tuesday") } },
        { { type::utf8String(),
            QByteArrayLiteral("https://example.org/docs/getting-started?lang=en#install") } },
        { { type::utf8String(), QByteArrayLiteral("#3a7bd5") } },
        { { type::utf8String(), QByteArray("A paragraph of prose, repeated. ").repeated(3000) } },
        { { type::uriList(),
            QByteArrayLiteral("file:///home/user/Documents/report.pdf\r\n"
                              "file:///home/user/Pictures/holiday.jpg\r\n") } },
        { { type::png(), encodedImage(800, 600) } },
    };
    return shapes[std::size_t(shape)];
}

void BM_Capture(benchmark::State &state, int shape)
{
    FakePasteboard pasteboard(decodePasteboardImage);
    pasteboard.copyFromOtherProcess(copied(shape));
    const RunningApplication editor { QStringLiteral("org.gnome.TextEditor"),
        QStringLiteral("Text Editor") };
    const QSet<QString> ignored { QStringLiteral("org.keepassxc.KeePassXC") };
    for (auto _ : state) {
        const auto candidate = captureCandidate(
            pasteboard.snapshot(PasteboardReadOptions {}), editor, ignored, true, true);
        if (!candidate)
            state.SkipWithError("nothing captured");
        benchmark::DoNotOptimize(candidate);
    }
}
BENCHMARK_CAPTURE(BM_Capture, ShortText, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Capture, Link, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Capture, Colour, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Capture, Text100KB, 3)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Capture, TwoFiles, 4)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Capture, Png800x600, 5)->Unit(benchmark::kMicrosecond);

} // namespace
