#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <sys/types.h>

#include <map>
#include <optional>

namespace corvane::test {

// A child process with plain pipes, usable from any thread without an event loop: requests
// go to its standard input, lines come from its standard output, and standard error goes to
// a file. Destroying it kills the process (by its PID) if it is still running.
class ChildProcess
{
public:
    struct Options
    {
        QString program;
        QStringList arguments;
        // Added to (or replacing in) this process's environment.
        std::map<QString, QString> environment;
        QString standardErrorFile;
        // When set, standard output goes to this file instead of a pipe.
        QString standardOutputFile;
    };

    explicit ChildProcess(const Options &options);
    ~ChildProcess();

    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    bool started() const { return m_pid > 0; }
    pid_t pid() const { return m_pid; }

    // Writes all of bytes to standard input; false once the process stopped reading.
    bool send(const QByteArray &bytes);
    void closeInput();
    // The next line of standard output without its line feed; nothing at its end or after
    // the timeout.
    std::optional<QByteArray> readLine(int timeoutMs);
    // Output read but not returned as a line: the start of an unfinished one.
    const QByteArray &unreadOutput() const { return m_pending; }
    // Sends a signal to this process alone.
    void signal(int number);
    // The exit status; 128 + the signal's number when a signal ended it; -1 on timeout.
    int wait(int timeoutMs);

private:
    pid_t m_pid = -1;
    int m_input = -1;
    int m_output = -1;
    QByteArray m_pending;
    std::optional<int> m_status;
};

} // namespace corvane::test
