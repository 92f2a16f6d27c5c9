#include "childprocess.h"

#include "common/writeall.h"

#include <QFile>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <thread>
#include <vector>

extern char **environ;

namespace corvane::test {

namespace {

std::vector<QByteArray> mergedEnvironment(const std::map<QString, QString> &overrides)
{
    std::vector<QByteArray> result;
    for (char **entry = environ; *entry; ++entry) {
        const QByteArray text(*entry);
        const QString name = QString::fromLocal8Bit(text.left(text.indexOf('=')));
        if (!overrides.count(name))
            result.push_back(text);
    }
    for (const auto &[name, value] : overrides)
        result.push_back(name.toLocal8Bit() + '=' + value.toLocal8Bit());
    return result;
}

} // namespace

ChildProcess::ChildProcess(const Options &options)
{
    int input[2];
    int output[2] = { -1, -1 };
    if (::pipe2(input, O_CLOEXEC) != 0)
        return;
    const bool outputToPipe = options.standardOutputFile.isEmpty();
    if (outputToPipe && ::pipe2(output, O_CLOEXEC) != 0)
        return;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    if (outputToPipe) {
        posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO,
            QFile::encodeName(options.standardOutputFile).constData(), O_WRONLY | O_CREAT | O_TRUNC,
            0600);
    }
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO,
        QFile::encodeName(options.standardErrorFile).constData(), O_WRONLY | O_CREAT | O_APPEND,
        0600);

    std::vector<QByteArray> arguments { QFile::encodeName(options.program) };
    for (const QString &argument : options.arguments)
        arguments.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<QByteArray> environment = mergedEnvironment(options.environment);
    std::vector<char *> envp;
    for (QByteArray &entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    pid_t pid = -1;
    const int result = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(input[0]);
    if (outputToPipe)
        ::close(output[1]);
    m_input = input[1];
    m_output = output[0];
    if (result == 0)
        m_pid = pid;
}

ChildProcess::~ChildProcess()
{
    if (m_pid > 0 && !m_status) {
        ::kill(m_pid, SIGKILL);
        wait(30000);
    }
    if (m_input >= 0)
        ::close(m_input);
    if (m_output >= 0)
        ::close(m_output);
}

bool ChildProcess::send(const QByteArray &bytes)
{
    return m_input >= 0 && writeAll(m_input, bytes);
}

void ChildProcess::closeInput()
{
    if (m_input >= 0)
        ::close(m_input);
    m_input = -1;
}

std::optional<QByteArray> ChildProcess::readLine(int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!m_pending.contains('\n')) {
        if (m_output < 0)
            return std::nullopt;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return std::nullopt;
        pollfd descriptor { m_output, POLLIN, 0 };
        if (::poll(&descriptor, 1, int(left.count())) <= 0)
            continue;
        char chunk[65536];
        const ssize_t count = ::read(m_output, chunk, sizeof chunk);
        if (count == 0)
            return std::nullopt;
        if (count > 0)
            m_pending.append(chunk, count);
    }
    const qsizetype end = m_pending.indexOf('\n');
    QByteArray line = m_pending.left(end);
    m_pending.remove(0, end + 1);
    return line;
}

void ChildProcess::signal(int number)
{
    if (m_pid > 0 && !m_status)
        ::kill(m_pid, number);
}

int ChildProcess::wait(int timeoutMs)
{
    if (m_status)
        return *m_status;
    if (m_pid <= 0)
        return -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        int status = 0;
        const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid) {
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return *m_status;
        }
        if (done < 0 && errno != EINTR)
            return -1;
        if (std::chrono::steady_clock::now() > deadline)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

} // namespace corvane::test
