#include "singleinstance.h"

#include "common/logging.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace corvane {

namespace {

using namespace std::chrono_literals;

// The running instance answers either request with its process id and executable on one
// line.
constexpr QByteArrayView activateRequest = "activate\n";
constexpr QByteArrayView settingsRequest = "settings\n";
// A holder that just started may not be listening yet; it is given this long.
constexpr auto answerTimeout = 2000ms;
// Whoever connects is untrusted: a request is one short line, sent at once, and only a few
// connections are served at a time; anything else is cut off.
constexpr qint64 longestRequest = 64;
constexpr auto requestTimeout = 2000ms;
constexpr int mostConnections = 8;

// The user id of the process at the other end of a local socket, if the system says.
std::optional<uid_t> peerUserID(qintptr descriptor)
{
    ucred credentials {};
    socklen_t size = sizeof credentials;
    if (::getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0)
        return std::nullopt;
    return credentials.uid;
}

} // namespace

SingleInstance::SingleInstance(const QString &runtimeFolder, QObject *parent)
    : QObject(parent)
    , m_socketPath(QDir(runtimeFolder).filePath(QStringLiteral("com.ferrowen.corvane.instance")))
    , m_lock(QDir(runtimeFolder).filePath(QStringLiteral("com.ferrowen.corvane.lock")))
{
    // A lock is stale only when its process is gone, never because it is old.
    m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultRuntimeFolder()
{
    const QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!folder.isEmpty())
        return folder;
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

std::optional<SingleInstance::Other> SingleInstance::claim(Request request)
{
    if (m_lock.tryLock(0)) {
        listen();
        return std::nullopt;
    }
    if (m_lock.error() != QLockFile::LockFailedError) {
        qCWarning(lcLaunch,
            "Could not tell whether Corvane is already running: the lock in %s "
            "cannot be used",
            qUtf8Printable(QDir::toNativeSeparators(m_socketPath)));
        return std::nullopt;
    }
    qint64 holder = 0;
    QString hostName, applicationName;
    m_lock.getLockInfo(&holder, &hostName, &applicationName);
    return askRunningInstance(holder, request);
}

std::optional<SingleInstance::Other> SingleInstance::askRunningInstance(
    qint64 lockHolder, Request request)
{
    Other other { .processID = lockHolder };
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < answerTimeout.count()) {
        QLocalSocket socket;
        socket.connectToServer(m_socketPath);
        if (!socket.waitForConnected(int(answerTimeout.count()))) {
            QThread::msleep(50);
            continue;
        }
        const QByteArrayView message
            = request == Request::openSettings ? settingsRequest : activateRequest;
        socket.write(message.data(), message.size());
        socket.waitForBytesWritten(int(answerTimeout.count()));
        while (!socket.canReadLine() && socket.waitForReadyRead(int(answerTimeout.count()))) { }
        const QByteArray answer = socket.readLine().trimmed();
        const qsizetype space = answer.indexOf(' ');
        bool ok = false;
        const qint64 processID = answer.left(space).toLongLong(&ok);
        if (ok) {
            other.processID = processID;
            if (space > 0 && space + 1 < answer.size())
                other.executablePath = QString::fromUtf8(answer.mid(space + 1));
        }
        return other;
    }
    // The holder runs but does not answer (stuck, or still starting): it is the running
    // instance all the same, so this start stands down rather than run twice.
    return other;
}

void SingleInstance::listen()
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // The lock is ours, so a socket file left behind belongs to a crashed instance.
    QLocalServer::removeServer(m_socketPath);
    if (!m_server->listen(m_socketPath)) {
        qCWarning(lcLaunch, "Could not listen for later starts of Corvane: %s",
            qUtf8Printable(m_server->errorString()));
        return;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection())
            serve(socket);
    });
}

void SingleInstance::serve(QLocalSocket *socket)
{
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    const std::optional<uid_t> peer = peerUserID(socket->socketDescriptor());
    if (!peer || *peer != ::getuid() || m_connections >= mostConnections) {
        if (peer && *peer != ::getuid())
            qCWarning(lcLaunch, "Refused a connection from user %u to the instance socket",
                unsigned(*peer));
        socket->abort();
        socket->deleteLater();
        return;
    }
    ++m_connections;
    // Reading stops once this much waits unread, so a flood is never held in memory.
    socket->setReadBufferSize(4 * longestRequest);
    connect(socket, &QObject::destroyed, this, [this] { --m_connections; });
    // A peer that never finishes its line is cut off, so it cannot hold a connection.
    QTimer::singleShot(requestTimeout, socket, [socket] { socket->abort(); });
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
        if (!socket->canReadLine()) {
            if (socket->bytesAvailable() > longestRequest)
                socket->abort();
            return;
        }
        const QByteArray request = socket->readLine(longestRequest + 1);
        if (request == activateRequest || request == settingsRequest) {
            socket->write(QByteArray::number(QCoreApplication::applicationPid()) + ' '
                + QCoreApplication::applicationFilePath().toUtf8() + '\n');
            socket->flush();
            if (request == settingsRequest)
                Q_EMIT settingsRequested();
            else
                Q_EMIT activationRequested();
        }
        socket->disconnectFromServer();
    });
}

} // namespace corvane
