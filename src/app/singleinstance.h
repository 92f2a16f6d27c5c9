#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class QLocalServer;
class QLocalSocket;

namespace corvane {

// Keeps one running application per user. The first start holds a lock file and listens on
// a local socket in the user's runtime folder; a later start finds the lock taken, asks the
// holder over the socket to come forward and learns who it is. A lock or socket left by a
// crashed instance never blocks a start: the lock names a process that no longer runs and
// is taken over.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    // The instance that was already running.
    struct Other
    {
        qint64 processID = 0;
        // Its executable, or nothing when it did not say.
        std::optional<QString> executablePath;
    };

    // runtimeFolder: where the lock and the socket live ($XDG_RUNTIME_DIR by default).
    explicit SingleInstance(
        const QString &runtimeFolder = defaultRuntimeFolder(), QObject *parent = nullptr);
    ~SingleInstance() override;

    static QString defaultRuntimeFolder();

    // What a later start asks of the running instance.
    enum class Request {
        // Come forward: show or hide the history panel.
        activate,
        // Open the settings window.
        openSettings,
    };

    // Becomes the running instance, or passes the request to the one already running and
    // says which it is. Nothing when this process is now the running instance (also when
    // the folder cannot be used: a start is never refused for want of it).
    std::optional<Other> claim(Request request = Request::activate);

Q_SIGNALS:
    // Another start asked this instance to come forward.
    void activationRequested();
    // Another start asked this instance to open its settings.
    void settingsRequested();

private:
    std::optional<Other> askRunningInstance(qint64 lockHolder, Request request);
    void listen();
    // Answers one request on a connection from a later start, and nothing else.
    void serve(QLocalSocket *socket);

    QString m_socketPath;
    QLockFile m_lock;
    QLocalServer *m_server = nullptr;
    int m_connections = 0;
};

} // namespace corvane
