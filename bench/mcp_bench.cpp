// The tool server: request lines handled in process, and the real executable measured from
// outside through pipes next to a C program that only echoes a fixed reply line.
#include "app/startupmaintenance.h"
#include "benchsupport.h"
#include "historygenerator.h"
#include "mcp/mcpserver.h"
#include "store/clipstore.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <benchmark/benchmark.h>
#include <cerrno>
#include <chrono>
#include <memory>
#include <optional>
#include <sched.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <thread>

extern char **environ;

namespace corvane::bench {

namespace {

const QByteArray initializeLine
    = R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2025-06-18","capabilities":{},"clientInfo":{"name":"bench","version":"1"}}})"
      "\n";
const QByteArray pingLine = R"({"jsonrpc":"2.0","id":2,"method":"ping"})"
                            "\n";
const QByteArray toolsListLine = R"({"jsonrpc":"2.0","id":3,"method":"tools/list"})"
                                 "\n";
const QByteArray searchLine
    = R"({"jsonrpc":"2.0","id":4,"method":"tools/call","params":{"name":"search_clipboard","arguments":{"query":"meeting","limit":20}}})"
      "\n";

void handle(benchmark::State &state, int size, const QByteArray &line)
{
    ClipStore store(HistoryGenerator::cachedStore(size));
    McpServer server(store, [](const QString &) {});
    qsizetype replyBytes = 0;
    for (auto _ : state) {
        const QByteArray reply = server.handleLine(line);
        replyBytes = reply.size();
        benchmark::DoNotOptimize(reply.constData());
    }
    if (replyBytes == 0)
        state.SkipWithError("The line got no reply");
    state.counters["reply_bytes"] = double(replyBytes);
}

// A child process talking JSON lines through two pipes.
class Child
{
public:
    Child(const char *program, const std::vector<std::string> &arguments,
        const std::vector<std::string> &environment)
    {
        int input[2];
        int output[2];
        if (::pipe2(input, O_CLOEXEC) != 0 || ::pipe2(output, O_CLOEXEC) != 0)
            throw std::runtime_error("Could not create pipes");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
        std::vector<char *> argv { const_cast<char *>(program) };
        for (const std::string &argument : arguments)
            argv.push_back(const_cast<char *>(argument.c_str()));
        argv.push_back(nullptr);
        std::vector<char *> envp;
        for (char **variable = environ; *variable; ++variable)
            envp.push_back(*variable);
        for (const std::string &variable : environment)
            envp.push_back(const_cast<char *>(variable.c_str()));
        envp.push_back(nullptr);
        const int spawned
            = posix_spawn(&m_pid, program, &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        ::close(input[0]);
        ::close(output[1]);
        m_input = input[1];
        m_output = output[0];
        if (spawned != 0)
            throw std::runtime_error("Could not start the program");
    }

    ~Child()
    {
        ::close(m_input);
        // Reading to the end lets the child finish writing before it exits.
        char sink[4096];
        while (::read(m_output, sink, sizeof sink) > 0) { }
        ::close(m_output);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }

    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;

    // Sends one line and waits for one line back.
    QByteArray exchange(const QByteArray &line)
    {
        for (qsizetype written = 0; written < line.size();) {
            const ssize_t count
                = ::write(m_input, line.constData() + written, std::size_t(line.size() - written));
            if (count < 0 && errno == EINTR)
                continue;
            if (count <= 0)
                throw std::runtime_error("Could not write to the program");
            written += count;
        }
        for (;;) {
            const qsizetype end = m_pending.indexOf('\n');
            if (end >= 0) {
                const QByteArray reply = m_pending.left(end + 1);
                m_pending.remove(0, end + 1);
                return reply;
            }
            char chunk[65536];
            const ssize_t count = ::read(m_output, chunk, sizeof chunk);
            if (count < 0 && errno == EINTR)
                continue;
            if (count <= 0)
                throw std::runtime_error("The program ended without replying");
            m_pending.append(chunk, count);
        }
    }

    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid = 0;
    int m_input = -1;
    int m_output = -1;
    QByteArray m_pending;
};

// The server opens the store at $XDG_DATA_HOME/Corvane: a prepared empty one, so that start
// includes opening a current store but not creating it.
class ServerHome
{
public:
    ServerHome()
    {
        ClipStore prepared(m_home.filePath(QStringLiteral("Corvane")));
        m_environment = { "XDG_DATA_HOME=" + m_home.path().toStdString() };
    }
    const std::vector<std::string> &environment() const { return m_environment; }

private:
    QTemporaryDir m_home;
    std::vector<std::string> m_environment;
};

// The shared libraries mapped into a running process, counted from /proc/PID/maps.
int loadedSharedLibraries(pid_t pid)
{
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    if (!maps.open(QIODevice::ReadOnly))
        return -1;
    QSet<QByteArray> libraries;
    for (const QByteArray &line : maps.readAll().split('\n')) {
        const qsizetype path = line.indexOf('/');
        if (path >= 0 && line.indexOf(".so", path) >= 0)
            libraries.insert(line.mid(path));
    }
    return int(libraries.size());
}

void startToInitializeReply(benchmark::State &state)
{
    const ServerHome home;
    std::vector<double> floorTimes;
    std::vector<double> serverTimes;
    int serverLibraries = 0;
    int floorLibraries = 0;
    for (auto _ : state) {
        const double start = wallSeconds();
        double replied = 0;
        {
            Child server(CORVANE_EXECUTABLE, { "--mcp" }, home.environment());
            benchmark::DoNotOptimize(server.exchange(initializeLine));
            replied = wallSeconds();
            serverLibraries = loadedSharedLibraries(server.pid());
        }
        state.SetIterationTime(replied - start);
        serverTimes.push_back(replied - start);

        const double floorStart = wallSeconds();
        {
            Child echo(CORVANE_ECHO_FLOOR, {}, {});
            benchmark::DoNotOptimize(echo.exchange(initializeLine));
            floorTimes.push_back(wallSeconds() - floorStart);
            floorLibraries = loadedSharedLibraries(echo.pid());
        }
    }
    state.counters["server_ms"] = median(serverTimes) * 1e3;
    state.counters["floor_ms"] = median(floorTimes) * 1e3;
    state.counters["ratio"] = median(serverTimes) / std::max(median(floorTimes), 1e-9);
    state.counters["server_libraries"] = serverLibraries;
    state.counters["floor_libraries"] = floorLibraries;
}

// A copy of the generated history (never tidied, as recording leaves it) in a fresh home.
std::optional<QString> copiedHistory(const QTemporaryDir &home, int size)
{
    const QString store = QDir(home.path()).filePath(QStringLiteral("Corvane"));
    const QString source
        = QDir(HistoryGenerator::cachedStore(size)).filePath(QStringLiteral("history.sqlite"));
    if (!QDir().mkpath(store)
        || !QFile::copy(source, QDir(store).filePath(QStringLiteral("history.sqlite"))))
        return std::nullopt;
    return store;
}

long residentKilobytes(pid_t pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').front().toLong();
    return -1;
}

// The real server's resident memory as it answers searches on a history of size items: after
// the first hundred and after 10,000, cycling through searches of every shape, and once it
// has been idle long enough to give back its search cache.
void memoryOverSearches(benchmark::State &state, int size)
{
    QTemporaryDir home;
    if (!copiedHistory(home, size)) {
        state.SkipWithError("Could not copy the history");
        return;
    }
    const std::vector<std::string> environment = { "XDG_DATA_HOME=" + home.path().toStdString() };
    static const char *const words[]
        = { "meeting", "con", "s", "xampl", "tom", "report", "http", "the", "qz", "zelquo" };
    long afterHundred = 0;
    long afterAll = 0;
    long afterIdle = 0;
    for (auto _ : state) {
        Child server(CORVANE_EXECUTABLE, { "--mcp" }, environment);
        server.exchange(initializeLine);
        for (int call = 0; call < 10'000; ++call) {
            const QByteArray line = QByteArrayLiteral(R"({"jsonrpc":"2.0","id":)")
                + QByteArray::number(call + 10)
                + R"(,"method":"tools/call","params":{"name":"search_clipboard","arguments":{"query":")"
                + words[call % 10] + R"(","limit":20}}})" + "\n";
            server.exchange(line);
            if (call == 99)
                afterHundred = residentKilobytes(server.pid());
        }
        afterAll = residentKilobytes(server.pid());
        std::this_thread::sleep_for(std::chrono::seconds(12));
        afterIdle = residentKilobytes(server.pid());
    }
    state.counters["rss_after_100_MB"] = double(afterHundred) / 1024.0;
    state.counters["rss_after_10000_MB"] = double(afterAll) / 1024.0;
    state.counters["growth_MB"] = double(afterAll - afterHundred) / 1024.0;
    state.counters["rss_after_idle_MB"] = double(afterIdle) / 1024.0;
}

// The application's start-up tidying (orphan payloads, then the search indexes merged in
// steps on its own thread) on a copy of the history, while a real tool server saves a note
// every few milliseconds through its pipes: how long each save waits, against saves with
// nothing else running, and how long the tidying takes.
void saveDuringStartupMaintenance(benchmark::State &state, int size)
{
    QTemporaryDir home;
    const std::optional<QString> store = copiedHistory(home, size);
    if (!store) {
        state.SkipWithError("Could not copy the history");
        return;
    }
    const std::vector<std::string> environment = { "XDG_DATA_HOME=" + home.path().toStdString() };
    int note = 0;
    const auto save = [&](Child &server) {
        ++note;
        const QByteArray line = QByteArrayLiteral(R"({"jsonrpc":"2.0","id":)")
            + QByteArray::number(note + 10)
            + R"(,"method":"tools/call","params":{"name":"save_clipboard_item","arguments":{"text":"start-up note )"
            + QByteArray::number(note) + R"("}}})" + "\n";
        const double start = wallSeconds();
        if (!server.exchange(line).contains(R"("isError":false)"))
            throw std::runtime_error("A save failed");
        return wallSeconds() - start;
    };
    std::vector<double> quiet;
    std::vector<double> during;
    double tidying = 0;
    for (auto _ : state) {
        Child server(CORVANE_EXECUTABLE, { "--mcp" }, environment);
        server.exchange(initializeLine);
        for (int i = 0; i < 20; ++i)
            quiet.push_back(save(server));
        ClipStore opened(*store);
        std::atomic<bool> done = false;
        const double started = wallSeconds();
        {
            StartupMaintenance maintenance(opened);
            std::thread waiter([&] {
                maintenance.wait();
                done = true;
            });
            do {
                during.push_back(save(server));
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            } while (!done);
            waiter.join();
        }
        tidying = wallSeconds() - started;
    }
    state.counters["tidying_ms"] = tidying * 1e3;
    state.counters["saves_during"] = double(during.size());
    state.counters["save_max_ms"] = *std::max_element(during.begin(), during.end()) * 1e3;
    state.counters["save_median_ms"] = median(during) * 1e3;
    state.counters["quiet_max_ms"] = *std::max_element(quiet.begin(), quiet.end()) * 1e3;
    state.counters["quiet_median_ms"] = median(quiet) * 1e3;
}

// Where the server and the floor run relative to the benchmark. Left to the scheduler, the
// two landed on different CPUs from run to run (the server on the other CPU, the floor on
// this one, or the reverse), and on a virtual machine waking a process on an idle CPU costs
// tens of microseconds, which swamped everything else measured. So both are placed alike:
// on the benchmark's own CPU, or both on another one.
enum class Placement { sameCPU, otherCPU };

// Pins the calling thread to the CPU it is on and gives the CPU the children are to run on;
// restores the thread's CPUs when destroyed.
class CpuPlacement
{
public:
    explicit CpuPlacement(Placement placement)
    {
        CPU_ZERO(&m_original);
        if (::sched_getaffinity(0, sizeof m_original, &m_original) != 0)
            return;
        const int here = ::sched_getcpu();
        if (here < 0)
            return;
        cpu_set_t own;
        CPU_ZERO(&own);
        CPU_SET(here, &own);
        if (::sched_setaffinity(0, sizeof own, &own) != 0)
            return;
        m_pinned = true;
        for (int cpu = 0; cpu < CPU_SETSIZE && !m_target; ++cpu) {
            const bool other = cpu != here && CPU_ISSET(cpu, &m_original);
            if (placement == Placement::sameCPU ? cpu == here : other)
                m_target = cpu;
        }
    }
    ~CpuPlacement()
    {
        if (m_pinned)
            ::sched_setaffinity(0, sizeof m_original, &m_original);
    }
    CpuPlacement(const CpuPlacement &) = delete;
    CpuPlacement &operator=(const CpuPlacement &) = delete;

    // False when the placement cannot be had.
    bool place(pid_t child) const
    {
        if (!m_target)
            return false;
        cpu_set_t target;
        CPU_ZERO(&target);
        CPU_SET(*m_target, &target);
        return ::sched_setaffinity(child, sizeof target, &target) == 0;
    }

private:
    cpu_set_t m_original;
    bool m_pinned = false;
    std::optional<int> m_target;
};

void pingRoundTrip(benchmark::State &state, Placement placement)
{
    const ServerHome home;
    Child server(CORVANE_EXECUTABLE, { "--mcp" }, home.environment());
    Child echo(CORVANE_ECHO_FLOOR, {}, {});
    const CpuPlacement cpus(placement);
    // Where the placement cannot be had (one CPU, or affinity refused in a container), the
    // scheduler places them, and the "placed" counter says so.
    const bool placed = cpus.place(server.pid()) && cpus.place(echo.pid());
    state.counters["placed"] = placed ? 1 : 0;
    server.exchange(initializeLine);
    echo.exchange(initializeLine);
    std::vector<double> floorTimes;
    std::vector<double> serverTimes;
    for (auto _ : state) {
        const double start = wallSeconds();
        benchmark::DoNotOptimize(server.exchange(pingLine));
        const double replied = wallSeconds();
        state.SetIterationTime(replied - start);
        serverTimes.push_back(replied - start);

        const double floorStart = wallSeconds();
        benchmark::DoNotOptimize(echo.exchange(pingLine));
        floorTimes.push_back(wallSeconds() - floorStart);
    }
    state.counters["server_us"] = median(serverTimes) * 1e6;
    state.counters["floor_us"] = median(floorTimes) * 1e6;
    state.counters["ratio"] = median(serverTimes) / std::max(median(floorTimes), 1e-12);
}

} // namespace

void registerServerBenchmarks(int size)
{
    const std::string suffix = "/" + std::to_string(size);
    benchmark::RegisterBenchmark(("Server/InProcess/Ping" + suffix).c_str(),
        [=](benchmark::State &state) { handle(state, size, pingLine); })
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("Server/InProcess/ToolsList" + suffix).c_str(),
        [=](benchmark::State &state) { handle(state, size, toolsListLine); })
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("Server/InProcess/SearchClipboard" + suffix).c_str(),
        [=](benchmark::State &state) { handle(state, size, searchLine); })
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("Server/Process/MemoryOver10000Searches" + suffix).c_str(),
        [=](benchmark::State &state) { memoryOverSearches(state, size); })
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Server/Process/StartToInitializeReply", startToInitializeReply)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Server/Process/PingRoundTrip/SameCPU",
        [](benchmark::State &state) { pingRoundTrip(state, Placement::sameCPU); })
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("Server/Process/PingRoundTrip/OtherCPU",
        [](benchmark::State &state) { pingRoundTrip(state, Placement::otherCPU); })
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
}

void registerStartupBenchmarks(const std::vector<int> &sizes)
{
    for (int size : sizes)
        benchmark::RegisterBenchmark(
            ("Startup/TidyingWhileAToolServerSaves/" + std::to_string(size)).c_str(),
            [=](benchmark::State &state) { saveDuringStartupMaintenance(state, size); })
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond);
}

} // namespace corvane::bench
