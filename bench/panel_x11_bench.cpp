// The running application as a user feels it, on a real X server: how long after its start
// it records a copy and has its panel ready to show, how long a hot key press
// takes to put the history panel on screen (20 presses, the panel prewarmed), the resident
// memory after start-up and after those presses, and the processor time the idle
// application takes. The history holds 100,000 generated items (CORVANE_BENCH_PANEL_ITEMS
// changes that). Needs DISPLAY, ideally with a window manager: scripts/bench-panel.sh starts
// Xvfb and openbox and runs it on the release build.

#include "historygenerator.h"
#include "store/sqlitedatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Copies a folder's files (the generated store) into another.
bool copyFolder(const QString &from, const QString &to)
{
    QDir source(from);
    if (!QDir().mkpath(to))
        return false;
    for (const QFileInfo &entry : source.entryInfoList(QDir::NoDotAndDotDot | QDir::AllEntries)) {
        const QString target = QDir(to).filePath(entry.fileName());
        if (entry.isDir() ? !copyFolder(entry.filePath(), target)
                          : !QFile::copy(entry.filePath(), target))
            return false;
    }
    return true;
}

// One figure of a /proc file of the process, in kB: "VmRSS:" and "RssAnon:" of status (all
// resident pages; those of no file), "Pss:" of smaps_rollup (shared pages divided among the
// processes that map them, so the Qt libraries other applications use count in part).
long memoryKilobytes(qint64 pid, const char *file, const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(file)));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').front().toLong();
    return -1;
}

struct Memory
{
    long resident = -1;
    long anonymous = -1;
    long proportional = -1;
};

Memory memoryOf(qint64 pid)
{
    return { memoryKilobytes(pid, "status", "VmRSS:"), memoryKilobytes(pid, "status", "RssAnon:"),
        memoryKilobytes(pid, "smaps_rollup", "Pss:") };
}

// User and system time of the process, in clock ticks.
long processorTicks(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // The fields after the command name, which may itself hold spaces, in parentheses.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 12 ? fields[11].toLong() + fields[12].toLong() : -1;
}

// Waits for a line of the application's log that holds marker; gives what follows it.
std::optional<QByteArray> awaitLog(
    QProcess &process, const QByteArray &marker, std::chrono::milliseconds limit)
{
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
        while (process.canReadLine()) {
            const QByteArray line = process.readLine();
            const qsizetype at = line.indexOf(marker);
            if (at >= 0)
                return line.mid(at + marker.size()).trimmed();
        }
        process.waitForReadyRead(50);
    }
    return std::nullopt;
}

void pressHotkey(Display *display)
{
    const KeyCode super = XKeysymToKeycode(display, XK_Super_L);
    const KeyCode shift = XKeysymToKeycode(display, XK_Shift_L);
    const KeyCode v = XKeysymToKeycode(display, XK_v);
    for (KeyCode key : { super, shift, v })
        XTestFakeKeyEvent(display, key, True, CurrentTime);
    for (KeyCode key : { v, shift, super })
        XTestFakeKeyEvent(display, key, False, CurrentTime);
    XFlush(display);
}

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Copies one marker text through xclip and waits for the application's row; gives the time
// from start to the row being found, polling every 2 ms from a connection of its own. The
// xclip stays until the end, owning the clipboard.
std::optional<double> recordedCopy(QProcess &copier, const QString &database,
    std::int64_t lastIdBefore, Clock::time_point start, std::chrono::milliseconds limit)
{
    copier.start(QStringLiteral("xclip"),
        { QStringLiteral("-quiet"), QStringLiteral("-selection"), QStringLiteral("clipboard") });
    // Without an event loop here, the text reaches xclip only through the waits.
    copier.waitForStarted();
    copier.write("start-up marker");
    copier.waitForBytesWritten();
    copier.closeWriteChannel();
    corvane::SQLiteDatabase reader(database);
    const auto copied = Clock::now();
    while (Clock::now() - copied < limit) {
        bool found = false;
        try {
            reader.forEachRow(QStringLiteral("SELECT id FROM items WHERE id > ? AND text = "
                                             "'start-up marker'"),
                { lastIdBefore }, [&](const corvane::SQLiteDatabase::Cursor &) { found = true; });
        } catch (const std::exception &) {
            // Busy: asked again.
        }
        if (found)
            return millisecondsSince(start);
        QThread::msleep(2);
    }
    return std::nullopt;
}

double percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(fraction * double(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "needs an X server in DISPLAY\n");
        return 2;
    }
    const int items = qEnvironmentVariableIntValue("CORVANE_BENCH_PANEL_ITEMS") > 0
        ? qEnvironmentVariableIntValue("CORVANE_BENCH_PANEL_ITEMS")
        : 100000;
    const int idleSeconds = qEnvironmentVariableIsSet("CORVANE_BENCH_IDLE_SECONDS")
        ? qEnvironmentVariableIntValue("CORVANE_BENCH_IDLE_SECONDS")
        : 60;
    std::fprintf(stderr, "preparing a history of %d items...\n", items);
    const QString generated = corvane::HistoryGenerator::cachedStore(items);
    QTemporaryDir home;
    const QString data = QDir(home.path()).filePath(QStringLiteral("data"));
    if (!copyFolder(generated, QDir(data).filePath(QStringLiteral("Corvane")))) {
        std::fprintf(stderr, "could not copy the generated history\n");
        return 1;
    }
    const QString runtime = QDir(home.path()).filePath(QStringLiteral("runtime"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QProcess corvane;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), data);
    environment.insert(
        QStringLiteral("XDG_CONFIG_HOME"), QDir(home.path()).filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    environment.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
    environment.insert(QStringLiteral("QT_LOGGING_RULES"),
        QStringLiteral("com.ferrowen.corvane.history.debug=true"));
    corvane.setProcessEnvironment(environment);
    corvane.setProcessChannelMode(QProcess::MergedChannels);
    const QString databasePath = QDir(data).filePath(QStringLiteral("Corvane/history.sqlite"));
    const std::int64_t lastIdBefore = [&] {
        std::int64_t last = 0;
        corvane::SQLiteDatabase(databasePath)
            .forEachRow(QStringLiteral("SELECT max(id) FROM items"), {},
                [&](const corvane::SQLiteDatabase::Cursor &row) { last = row.integer(0); });
        return last;
    }();
    const auto started = Clock::now();
    // CORVANE_BENCH_EXECUTABLE runs another build (an earlier one, to compare) instead.
    const QString executable = qEnvironmentVariableIsEmpty("CORVANE_BENCH_EXECUTABLE")
        ? QStringLiteral(CORVANE_EXECUTABLE)
        : qEnvironmentVariable("CORVANE_BENCH_EXECUTABLE");
    corvane.start(executable, {});
    if (!corvane.waitForStarted()) {
        std::fprintf(stderr, "the application did not start\n");
        return 1;
    }
    // Ready: the panel is rendered ahead of its first show at the end of the start, after the
    // clipboard watcher and the hot key.
    if (!awaitLog(corvane, "rendered ahead of its first show", 60s)) {
        std::fprintf(stderr, "the application did not prewarm its panel\n");
        return 1;
    }
    const double ready = millisecondsSince(started);
    QProcess copier;
    const std::optional<double> firstCopy
        = recordedCopy(copier, databasePath, lastIdBefore, started, 10s);
    if (!firstCopy) {
        std::fprintf(stderr, "the application recorded no copy within 10 s\n");
        return 1;
    }
    // The hot key pressed once as soon as that copy was recorded; its first frame on screen,
    // stamped by the application on the same monotonic clock, against the start.
    const auto pressedAt = Clock::now();
    pressHotkey(display);
    std::optional<double> panelShown;
    std::optional<double> pressToPanel;
    if (const auto shown = awaitLog(corvane, "History panel on screen at", 10s)) {
        const long long shownNs = shown->split(' ').front().toLongLong();
        const auto sinceEpoch = [](Clock::time_point at) {
            return std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch())
                .count();
        };
        panelShown = double(shownNs - sinceEpoch(started)) / 1e6;
        pressToPanel = double(shownNs - sinceEpoch(pressedAt)) / 1e6;
    }
    if (!panelShown) {
        std::fprintf(stderr, "the panel did not show within 10 s of the first press\n");
        return 1;
    }
    QThread::msleep(300);
    pressHotkey(display);
    QThread::sleep(1);
    const Memory startup = memoryOf(corvane.processId());

    std::vector<double> latencies;
    for (int press = 0; press < 20; ++press) {
        while (corvane.canReadLine())
            corvane.readLine();
        const auto pressed = Clock::now();
        pressHotkey(display);
        const auto shown = awaitLog(corvane, "History panel on screen at", 10s);
        if (!shown) {
            std::fprintf(stderr, "press %d: the panel did not show\n", press + 1);
            return 1;
        }
        const long long shownNs = shown->split(' ').front().toLongLong();
        latencies.push_back(
            double(shownNs
                - std::chrono::duration_cast<std::chrono::nanoseconds>(pressed.time_since_epoch())
                      .count())
            / 1e6);
        QThread::msleep(300);
        pressHotkey(display);
        QThread::msleep(300);
    }
    const Memory shown = memoryOf(corvane.processId());

    const long ticksBefore = processorTicks(corvane.processId());
    QThread::sleep(idleSeconds);
    const long ticksAfter = processorTicks(corvane.processId());
    const double idlePercent = 100.0 * double(ticksAfter - ticksBefore)
        / double(sysconf(_SC_CLK_TCK)) / double(std::max(idleSeconds, 1));

    std::printf("history items                      %d\n", items);
    std::printf("start to the panel prewarmed       %.0f ms (its log line read)\n", ready);
    std::printf("start to a copy made then recorded %.0f ms\n", *firstCopy);
    std::printf("start to the panel on screen       %.0f ms (pressed after that copy; %.0f ms from "
                "the press)\n",
        *panelShown, *pressToPanel);
    std::printf("hot key to panel on screen, median %.1f ms\n", percentile(latencies, 0.5));
    std::printf("hot key to panel on screen, p95    %.1f ms\n", percentile(latencies, 0.95));
    std::printf("hot key to panel on screen, max    %.1f ms\n", percentile(latencies, 1.0));
    for (const auto &[when, memory] :
        { std::pair { "after start-up", startup }, std::pair { "after 20 shows", shown } })
        std::printf("memory %-15s resident %.1f MB, of no file %.1f MB, proportional %.1f MB\n",
            when, double(memory.resident) / 1024.0, double(memory.anonymous) / 1024.0,
            double(memory.proportional) / 1024.0);
    std::printf("processor time idle over %d s      %.3f %%\n", idleSeconds, idlePercent);

    copier.kill();
    copier.waitForFinished(1000);
    corvane.terminate();
    corvane.waitForFinished(10000);
    XCloseDisplay(display);
    return 0;
}
