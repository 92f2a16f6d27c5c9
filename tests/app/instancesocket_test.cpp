// The running application's instance socket, where later starts ask it to come forward,
// treated as what it is: a door anyone on the machine may knock on. Only its own user is
// answered, and garbage, floods and oversized messages neither crash it nor pile up in it.

#include "applicationtest.h"

#include <QFile>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace corvane {
namespace {

using namespace std::chrono_literals;
using test::residentKilobytes;
using test::spinUntil;

class InstanceSocketTest : public test::ApplicationTest
{
protected:
    void SetUp() override
    {
        ApplicationTest::SetUp();
        // Writing to a connection the application cut off must fail, not end the test.
        ::signal(SIGPIPE, SIG_IGN);
    }

    QByteArray socketPath() const { return QFile::encodeName(instanceSocket()); }

    // A connected socket, or -1.
    int connectToInstance() const
    {
        const int descriptor = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socketPath().constData(), sizeof address.sun_path - 1);
        if (::connect(descriptor, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
            ::close(descriptor);
            return -1;
        }
        return descriptor;
    }

    // Everything the application sends until it closes the connection (at most 10 s).
    static QByteArray readUntilClosed(int descriptor)
    {
        timeval timeout { 10, 0 };
        ::setsockopt(descriptor, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        QByteArray received;
        char buffer[512];
        for (;;) {
            const ssize_t count = ::read(descriptor, buffer, sizeof buffer);
            // A connection closed with bytes still unread ends in a reset rather than an end.
            if (count == 0 || (count < 0 && errno == ECONNRESET))
                return received;
            if (count < 0)
                return received + "<no end>";
            received.append(buffer, count);
        }
    }

    // The answer to one request, sent as these bytes.
    QByteArray ask(const QByteArray &bytes) const
    {
        const int descriptor = connectToInstance();
        if (descriptor < 0)
            return "<no connection>";
        for (qsizetype sent = 0; sent < bytes.size();) {
            const ssize_t count = ::write(descriptor, bytes.constData() + sent,
                std::size_t(std::min<qsizetype>(bytes.size() - sent, 65536)));
            if (count <= 0)
                break;
            sent += count;
        }
        const QByteArray answer = readUntilClosed(descriptor);
        ::close(descriptor);
        return answer;
    }
};

TEST_F(InstanceSocketTest, AnswersItsOwnUserOnlyAndNothingButItsOneLineRequests)
{
    QProcess &instance = startInstance();
    const QByteArray expected
        = QByteArray::number(instance.processId()) + ' ' + CORVANE_EXECUTABLE + '\n';

    struct stat status
    { };
    ASSERT_EQ(::stat(socketPath().constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 077, 0u) << std::oct << status.st_mode;

    const struct
    {
        const char *name;
        QByteArray bytes;
        QByteArray answer;
    } rows[] = {
        { "nothing", "", "" },
        { "a request with more after it", "activate\nsettings\n", expected },
        { "an unknown request", "quit\n", "" },
        { "a request without its line end", "activate", "" },
        { "binary garbage", QByteArray("\0\xff\x01\n", 4) + QByteArray(3000, '\x80'), "" },
        { "a long line", QByteArray(100000, 'a') + '\n', "" },
        { "32 MB without a line end", QByteArray(32 << 20, 'x'), "" },
    };
    // The panel shows first, so that what it takes is not counted below.
    EXPECT_EQ(ask("activate\n"), expected);
    spinUntil([] { return false; }, 2s);
    const qint64 residentBefore = residentKilobytes(instance.processId());
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ask(row.bytes), row.answer);
    }
    // A flood: many connections held open without a word are all cut off.
    std::vector<int> idle;
    for (int i = 0; i < 200; ++i) {
        const int descriptor = connectToInstance();
        if (descriptor >= 0)
            idle.push_back(descriptor);
    }
    for (const int descriptor : idle) {
        EXPECT_EQ(readUntilClosed(descriptor), QByteArray());
        ::close(descriptor);
    }
    EXPECT_LT(residentKilobytes(instance.processId()) - residentBefore, 20 * 1024);
    EXPECT_EQ(ask("activate\n"), expected);
    EXPECT_EQ(instance.state(), QProcess::Running);

    // Another user, with the socket opened up to everyone: refused all the same.
    for (const QString &path : { m_folder.path(), folder("runtime") })
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0711), 0);
    ASSERT_EQ(::chmod(socketPath().constData(), 0777), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        const int descriptor = connectToInstance();
        if (descriptor < 0)
            ::_exit(3);
        [[maybe_unused]] const auto written = ::write(descriptor, "settings\n", 9);
        char byte = 0;
        // Cut off: an end, or a reset when the request was still unread.
        ::_exit(::read(descriptor, &byte, 1) <= 0 ? 0 : 4);
    }
    int childStatus = 0;
    ASSERT_EQ(::waitpid(child, &childStatus, 0), child);
    if (WEXITSTATUS(childStatus) == 2)
        GTEST_SKIP() << "cannot run as another user here";
    EXPECT_EQ(WEXITSTATUS(childStatus), 0) << "another user's request was answered";
    QByteArray log;
    EXPECT_TRUE(spinUntil(
        [&] {
            log += instance.readAllStandardError();
            return log.contains("Refused a connection from user 65534 to the instance socket");
        },
        5s))
        << log.toStdString();
}

} // namespace
} // namespace corvane
