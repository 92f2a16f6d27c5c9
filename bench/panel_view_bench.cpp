// The panel view under load, on the software scene graph:
//   frames  typing a five-letter word into the search field (one key every 80 ms) and
//           scrolling the 300-card strip from end to end, over a generated history of
//           100,000 items; each frame's duration from the window's own signals (from
//           beforeSynchronizing to frameSwapped) and the gaps between frames;
//   search N  typing searches of several shapes over a generated history of N items (one key
//           every 100 ms): from each key press to the frame showing its answer, and the
//           longest the main thread went without turning its event loop;
//   hostile the panel over the hostile contents scripts/hostile-content.py writes (a 32 MB
//           text, a 20000 x 20000 PNG, 10,000 file URLs, bidirectional overrides, 10,000
//           combining marks, control characters, almost-colours), each captured as the
//           clipboard watcher would: every frame while the cards are selected one by one,
//           scrolled and searched, and the process's peak memory;
//   memory  resident memory of the whole process with 300 cards shown, 50 of them
//           4000 x 3000 images, after scrolling every card into view once.
// Run on an X server with QT_QUICK_BACKEND=software (see BENCHMARKS.md).

#include "capture/candidateextraction.h"
#include "common/largeblocks.h"
#include "historygenerator.h"
#include "panel/delayscheduler.h"
#include "panel/historymodel.h"
#include "panel/historysearch.h"
#include "panel/paster.h"
#include "platform/fake/fakepasteboard.h"
#include "platform/inputdevicestate.h"
#include "platform/pasteboardimage.h"
#include "platform/pastekeystrokeposter.h"
#include "preferences/preferences.h"
#include "store/clipstore.h"
#include "ui/panelcontent.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace corvane;

namespace {

struct NoKeystrokes : PasteKeystrokePoster
{
    bool activate(const RunningApplication &) override { return true; }
    bool postPasteKeystroke(PasteShortcut) override { return true; }
};

struct NoInput : InputDeviceState
{
    bool isMouseButtonPressed() override { return false; }
    bool isEscapeKeyDown() override { return false; }
};

// A panel over the store at directory, in a window of the panel's size.
struct Panel
{
    // Without inBackground, searches run on the main thread as they did before.
    explicit Panel(const QString &directory, bool inBackground = true)
        : store(directory)
        , preferences(settings.filePath(QStringLiteral("Corvane.conf")))
        , paster(store, pasteboard, keystrokes, scheduler, [] { return false; })
        , search(directory)
        , model(store, preferences, paster, scheduler, input, inBackground ? &search : nullptr)
    {
        window.setColor(Qt::transparent);
        window.resize(1240, 300);
        content = std::make_unique<PanelContent>(engine, model, store.blobDirectory());
        view = content->create(window.contentItem());
        window.show();
        window.requestActivate();
        (void)QTest::qWaitForWindowActive(&window, 3000);
        QObject::connect(
            &window, &QQuickWindow::beforeSynchronizing, &window, [this] { frameStart.start(); },
            Qt::DirectConnection);
        QObject::connect(
            &window, &QQuickWindow::frameSwapped, &window,
            [this] {
                if (frameStart.isValid())
                    frames.push_back(frameStart.nsecsElapsed() / 1e6);
                if (sinceLastFrame.isValid())
                    gaps.push_back(sinceLastFrame.nsecsElapsed() / 1e6);
                sinceLastFrame.start();
            },
            Qt::DirectConnection);
    }

    void wait(int milliseconds)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < milliseconds)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    void resetTimings()
    {
        frames.clear();
        gaps.clear();
        sinceLastFrame.invalidate();
    }
    QQuickItem *find(const QString &name) { return view->findChild<QQuickItem *>(name); }

    // Scrolls the card strip from its start to its end in 60 steps a second.
    void scrollEndToEnd(int durationMs)
    {
        QQuickItem *list = find(QStringLiteral("cardList"));
        const qreal start = list->property("originX").toReal();
        const qreal end = start + list->property("contentWidth").toReal() - list->width();
        const int steps = durationMs / 16;
        for (int step = 0; step <= steps; ++step) {
            list->setProperty("contentX", start + (end - start) * step / steps);
            wait(16);
        }
    }

    QTemporaryDir settings;
    ClipStore store;
    Preferences preferences;
    FakePasteboard pasteboard;
    NoKeystrokes keystrokes;
    QtDelayScheduler scheduler;
    NoInput input;
    Paster paster;
    HistorySearch search;
    HistoryModel model;
    QQuickWindow window;
    QQmlEngine engine;
    std::unique_ptr<PanelContent> content;
    QQuickItem *view = nullptr;
    QElapsedTimer frameStart;
    QElapsedTimer sinceLastFrame;
    std::vector<double> frames;
    std::vector<double> gaps;
};

void report(const char *what, std::vector<double> values)
{
    if (values.empty()) {
        std::printf("%-34s no frames\n", what);
        return;
    }
    std::sort(values.begin(), values.end());
    const auto at = [&](double q) { return values[std::size_t(q * double(values.size() - 1))]; };
    const auto slow
        = std::count_if(values.begin(), values.end(), [](double v) { return v > 16.7; });
    std::printf("%-34s n=%4zu  median %6.2f  p90 %6.2f  p99 %6.2f  max %6.2f ms  >16.7 ms: %ld\n",
        what, values.size(), at(0.5), at(0.9), at(0.99), values.back(), long(slow));
}

long statusKilobytes(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toLong();
    }
    return -1;
}

int frames()
{
    const QString directory = HistoryGenerator::cachedStore(100000);
    Panel panel(directory);
    panel.wait(500);

    // A common five-letter word of the generated texts.
    QString word;
    for (const QString &candidate : HistoryGenerator::vocabulary()) {
        if (candidate.size() == 5) {
            word = candidate;
            break;
        }
    }
    std::printf("history: 100,000 copies (%s), %d cards shown; typing \"%s\"\n",
        qPrintable(directory), panel.model.itemsModel()->rowCount(), qPrintable(word));

    for (int round = 0; round < 5; ++round) {
        panel.model.setSearch(QString());
        panel.wait(300);
        panel.resetTimings();
        std::vector<double> keys;
        for (const QChar c : word) {
            QElapsedTimer key;
            key.start();
            QTest::keyClick(&panel.window, c.toLatin1());
            keys.push_back(key.nsecsElapsed() / 1e6);
            panel.wait(80 - std::min<int>(80, int(keys.back())));
        }
        panel.wait(200);
        std::printf("round %d\n", round + 1);
        report("  typing: frame (sync to swap)", panel.frames);
        report("  typing: gap between frames", panel.gaps);
        report("  typing: key handled (search)", keys);
    }

    for (int round = 0; round < 3; ++round) {
        panel.model.setSearch(QString());
        panel.wait(300);
        panel.resetTimings();
        panel.scrollEndToEnd(3000);
        panel.wait(100);
        std::printf(
            "scroll round %d (%d cards)\n", round + 1, panel.model.itemsModel()->rowCount());
        report("  scrolling: frame (sync to swap)", panel.frames);
        report("  scrolling: gap between frames", panel.gaps);
    }
    return 0;
}

// Beats every millisecond on the main thread: a late beat is a stall, the event loop having
// been busy. Stalls during which a frame was rendered are told apart, since the software
// scene graph renders on the main thread.
struct Heartbeat
{
    explicit Heartbeat(Panel &panel)
    {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(1);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (sinceBeat.isValid()) {
                const double gap = sinceBeat.nsecsElapsed() / 1e6;
                (renderedSinceBeat ? withFrame : withoutFrame).push_back(gap);
            }
            renderedSinceBeat = false;
            sinceBeat.start();
        });
        QObject::connect(
            &panel.window, &QQuickWindow::beforeSynchronizing, &panel.window,
            [this] { renderedSinceBeat = true; }, Qt::DirectConnection);
        timer.start();
    }
    QTimer timer;
    QElapsedTimer sinceBeat;
    bool renderedSinceBeat = false;
    std::vector<double> withFrame;
    std::vector<double> withoutFrame;
};

void reportSpread(const char *what, std::vector<double> values)
{
    if (values.empty()) {
        std::printf("%-40s none\n", what);
        return;
    }
    std::sort(values.begin(), values.end());
    const auto at = [&](double q) { return values[std::size_t(q * double(values.size() - 1))]; };
    std::printf("%-40s n=%4zu  median %7.2f  p95 %7.2f  max %7.2f ms\n", what, values.size(),
        at(0.5), at(0.95), values.back());
}

int search(int count, bool inBackground)
{
    const QString directory = HistoryGenerator::cachedStore(count);
    Panel panel(directory, inBackground);
    panel.wait(1500);
    QString word;
    for (const QString &candidate : HistoryGenerator::vocabulary()) {
        if (candidate.size() == 5) {
            word = candidate;
            break;
        }
    }
    // A word of the texts, a pair of letters no word starts with (the list is scanned), a
    // word nothing contains (the index, then the scan, find nothing).
    const QStringList typed = { word, QStringLiteral("qz"), QStringLiteral("zelquo") };
    std::printf("history: %d copies (%s); typing %s, one key every 100 ms; searching %s\n", count,
        qPrintable(directory), qPrintable(typed.join(QStringLiteral(", "))),
        inBackground ? "in the background" : "on the main thread");

    // When the answer to the newest key landed in the list, and the frame after that.
    QElapsedTimer sinceKey;
    double landed = -1;
    double shown = -1;
    QObject::connect(&panel.model, &HistoryModel::itemsChanged, [&] {
        if (landed < 0)
            landed = sinceKey.nsecsElapsed() / 1e6;
    });
    QObject::connect(
        &panel.window, &QQuickWindow::frameSwapped, &panel.window,
        [&] {
            if (landed >= 0 && shown < 0)
                shown = sinceKey.nsecsElapsed() / 1e6;
        },
        Qt::DirectConnection);

    for (const QString &text : typed) {
        std::vector<double> handled;
        std::vector<double> toFrame;
        int superseded = 0;
        Heartbeat heartbeat(panel);
        for (int round = 0; round < 5; ++round) {
            panel.model.setSearch(QString());
            panel.wait(300);
            heartbeat.withFrame.clear();
            heartbeat.withoutFrame.clear();
            for (int i = 0; i < text.size(); ++i) {
                const bool last = i == text.size() - 1;
                landed = shown = -1;
                sinceKey.start();
                QTest::keyClick(&panel.window, text[i].toLatin1());
                handled.push_back(sinceKey.nsecsElapsed() / 1e6);
                // The next key comes 100 ms after this one; the last is waited for.
                const qint64 until = last ? 10000 : 100;
                while (sinceKey.elapsed() < until && shown < 0) {
                    // Sleeps until an event: the heartbeat wakes it every millisecond, and a
                    // busy loop here would take the processor the search thread needs.
                    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
                    // An answer equal to the rows shown changes nothing on screen.
                    if (landed < 0 && !panel.model.isAwaitingItems())
                        landed = shown = sinceKey.nsecsElapsed() / 1e6;
                }
                if (shown >= 0)
                    toFrame.push_back(shown);
                else
                    ++superseded;
                if (std::getenv("CORVANE_BENCH_VERBOSE"))
                    std::printf("    %s: handled %.1f ms, shown %.1f ms\n",
                        qPrintable(text.left(i + 1)), handled.back(), shown);
                while (!last && sinceKey.elapsed() < 100)
                    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            }
            panel.wait(100);
        }
        std::printf("\"%s\" at %d items (%d cards at the end)\n", qPrintable(text), count,
            panel.model.itemsModel()->rowCount());
        reportSpread("  key press handled", handled);
        reportSpread("  key press to the frame of its answer", toFrame);
        std::printf("  keys superseded before their answer: %d\n", superseded);
        reportSpread("  main thread: stall without a frame", heartbeat.withoutFrame);
        reportSpread("  main thread: stall rendering a frame", heartbeat.withFrame);
    }
    return 0;
}

// What the watcher would capture from one hostile case: the clipboard's bytes as the type
// they were offered in.
std::optional<ClipCandidate> hostileCandidate(const QByteArray &bytes, const QString &type)
{
    PasteboardSnapshot snapshot;
    snapshot.setTypes({ type });
    if (type == QLatin1String("text/uri-list")) {
        QList<QUrl> urls;
        for (const QByteArray &line : bytes.split('\n')) {
            if (!line.trimmed().isEmpty())
                urls.push_back(QUrl::fromEncoded(line.trimmed()));
        }
        snapshot.setFileURLs(urls);
    } else if (type.startsWith(QLatin1String("image/"))) {
        snapshot.setImage(decodePasteboardImage(bytes, type));
    } else {
        snapshot.setUtf8Text(QString::fromUtf8(bytes).trimmed().toUtf8());
    }
    return captureCandidate(snapshot, std::nullopt, {}, true, true);
}

int hostile()
{
    QTemporaryDir folder;
    folder.setAutoRemove(!std::getenv("CORVANE_BENCH_KEEP"));
    const QString contents = folder.filePath(QStringLiteral("contents"));
    if (QProcess::execute(QStringLiteral("python3"),
            { QStringLiteral(CORVANE_SOURCE_DIR "/scripts/hostile-content.py"), contents })
        != 0) {
        std::fprintf(stderr, "Could not write the hostile contents\n");
        return 1;
    }
    const QString directory = folder.filePath(QStringLiteral("Corvane"));
    {
        ClipStore store(directory);
        QFile cases(contents + QStringLiteral("/cases"));
        if (!cases.open(QIODevice::ReadOnly))
            return 1;
        int second = 0;
        for (const QByteArray &line : cases.readAll().split('\n')) {
            const QList<QByteArray> fields = line.split('|');
            if (fields.size() != 3)
                continue;
            QFile file(contents + QLatin1Char('/') + QString::fromUtf8(fields[2]));
            if (!file.open(QIODevice::ReadOnly))
                return 1;
            std::optional<ClipCandidate> candidate
                = hostileCandidate(file.readAll(), QString::fromUtf8(fields[1]));
            std::printf("  %-20s %s\n", fields[0].constData(),
                candidate ? qPrintable(label(candidate->kind)) : "not captured");
            if (!candidate)
                continue;
            candidate->capturedAt
                = fromMillis(QDateTime::currentMSecsSinceEpoch() - 60000 + 1000 * ++second);
            if (!store.record(*candidate, 0, 0, ClipStore::payloadCapBytes))
                std::printf("  %-20s not recorded\n", fields[0].constData());
        }
    }
    // Shown in a process of its own, so its peak is the panel's and not the recording's.
    QProcess view;
    view.setProcessChannelMode(QProcess::ForwardedChannels);
    view.start(
        QCoreApplication::applicationFilePath(), { QStringLiteral("hostile-view"), directory });
    view.waitForFinished(-1);
    return view.exitCode();
}

int hostileView(const QString &directory)
{
    QElapsedTimer shown;
    shown.start();
    Panel panel(directory);
    std::printf("panel over %d hostile cards shown after %lld ms\n",
        panel.model.itemsModel()->rowCount(), shown.elapsed());
    panel.wait(1000);
    panel.resetTimings();
    Heartbeat heartbeat(panel);
    // Every card selected in turn, there and back, as arrow keys do.
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < panel.model.itemsModel()->rowCount(); ++i) {
            QElapsedTimer key;
            key.start();
            QTest::keyClick(&panel.window, Qt::Key_Right);
            const qint64 keyMs = key.elapsed();
            panel.wait(100);
            if (std::getenv("CORVANE_BENCH_VERBOSE"))
                std::printf("  right to card %d (%s): key %lld ms, with the next 100 ms %lld ms\n",
                    panel.model.selectedIndex(),
                    qPrintable(
                        panel.model.items()[std::size_t(panel.model.selectedIndex())].title.left(
                            20)),
                    keyMs, key.elapsed());
        }
        for (int i = 0; i < panel.model.itemsModel()->rowCount(); ++i) {
            QTest::keyClick(&panel.window, Qt::Key_Left);
            panel.wait(100);
        }
    }
    report("selecting: frame (sync to swap)", panel.frames);
    report("selecting: gap between frames", panel.gaps);
    panel.resetTimings();
    panel.scrollEndToEnd(2000);
    panel.scrollEndToEnd(0);
    report("scrolling: frame (sync to swap)", panel.frames);
    panel.resetTimings();
    for (const char *typed : { "q", "qu", "qui", "quick", "end", "" }) {
        panel.model.setSearch(QString::fromLatin1(typed));
        panel.wait(300);
    }
    report("searching: frame (sync to swap)", panel.frames);
    reportSpread("main thread: stall without a frame", heartbeat.withoutFrame);
    reportSpread("main thread: stall rendering a frame", heartbeat.withFrame);
    std::printf(
        "memory: RSS %ld KB, peak %ld KB\n", statusKilobytes("VmRSS:"), statusKilobytes("VmHWM:"));
    return 0;
}

int memory()
{
    QTemporaryDir folder;
    const QString directory = folder.filePath(QStringLiteral("Corvane"));
    {
        ClipStore store(directory);
        const QDateTime start = QDateTime::currentDateTimeUtc().addDays(-3);
        for (int i = 0; i < 300; ++i) {
            ClipCandidate candidate;
            candidate.capturedAt = fromMillis(start.addSecs(i * 60).toMSecsSinceEpoch());
            if (i % 6 == 0) {
                // 4000 x 3000, distinct per item so none is taken for a repeat.
                QImage image(4000, 3000, QImage::Format_RGB32);
                QPainter painter(&image);
                QLinearGradient gradient(0, 0, 4000, 3000);
                gradient.setColorAt(0, QColor::fromHsv((i * 7) % 360, 180, 200));
                gradient.setColorAt(1, QColor::fromHsv((i * 7 + 120) % 360, 180, 120));
                painter.fillRect(image.rect(), gradient);
                painter.end();
                QByteArray png;
                QBuffer buffer(&png);
                buffer.open(QIODevice::WriteOnly);
                QImageWriter writer(&buffer, "png");
                writer.setQuality(50);
                writer.write(image);
                candidate.kind = ClipKind::image;
                candidate.title = QStringLiteral("Image 4000 \u00d7 3000");
                candidate.payload = png;
                candidate.byteCount = png.size();
            } else {
                const QString text
                    = QStringLiteral("Note %1: %2")
                          .arg(i)
                          .arg(QStringLiteral("the quick brown fox jumps over the lazy dog ")
                                   .repeated(8));
                candidate.kind = ClipKind::text;
                candidate.text = text.toUtf8();
                candidate.title = text.left(80);
                candidate.byteCount = candidate.text->size();
            }
            if (!store.record(candidate, 0, 0, ClipStore::payloadCapBytes)) {
                std::fprintf(stderr, "Could not record item %d\n", i);
                return 1;
            }
        }
    }
    // Measured in a process of its own, so the pictures made above count for nothing.
    QProcess view;
    view.setProcessChannelMode(QProcess::ForwardedChannels);
    view.start(
        QCoreApplication::applicationFilePath(), { QStringLiteral("memory-view"), directory });
    view.waitForFinished(-1);
    return view.exitCode();
}

int memoryView(const QString &directory)
{
    const long before = statusKilobytes("VmRSS:");
    Panel panel(directory);
    panel.wait(1000);
    panel.scrollEndToEnd(6000);
    panel.wait(2000);
    panel.scrollEndToEnd(0);
    panel.wait(1000);
    std::printf(
        "memory: %d cards, 50 of them 4000 x 3000 images\n", panel.model.itemsModel()->rowCount());
    std::printf("  RSS before the panel %ld KB, with it after scrolling every card in: %ld KB; "
                "peak %ld KB\n",
        before, statusKilobytes("VmRSS:"), statusKilobytes("VmHWM:"));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    // As the application's own start does, so the panel's memory is what it would be there.
    corvane::returnLargeBlocksWhenFreed();
    QGuiApplication application(argc, argv);
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (mode == QLatin1String("frames"))
        return frames();
    if (mode == QLatin1String("memory"))
        return memory();
    if (mode == QLatin1String("hostile"))
        return hostile();
    if (mode == QLatin1String("hostile-view") && argc > 2)
        return hostileView(QString::fromLocal8Bit(argv[2]));
    if (mode == QLatin1String("search") && argc > 2)
        return search(QString::fromLocal8Bit(argv[2]).toInt(),
            !(argc > 3 && QByteArray(argv[3]) == "on-main-thread"));
    if (mode == QLatin1String("memory-view") && argc > 2)
        return memoryView(QString::fromLocal8Bit(argv[2]));
    std::fprintf(stderr,
        "usage: corvane_panel_view_bench frames|memory|hostile|search ITEMS [on-main-thread]\n");
    return 2;
}
