#pragma once

#include "childprocess.h"

#include <QString>
#include <QTemporaryDir>

#include <map>
#include <memory>
#include <optional>

namespace corvane::test {

// A Wayland compositor of Debian's running headless for one test suite, with a runtime
// folder of its own. Compositors refuse to run as root, so under root it runs as the
// unprivileged user "nobody"; root still reaches its socket.
class HeadlessCompositor
{
public:
    enum class Kind { sway, weston };

    explicit HeadlessCompositor(Kind kind);
    ~HeadlessCompositor();

    HeadlessCompositor(const HeadlessCompositor &) = delete;
    HeadlessCompositor &operator=(const HeadlessCompositor &) = delete;

    // Why this environment cannot run the compositor at all (it is not installed, or there is
    // no unprivileged user to run it as); nothing when it can.
    static std::optional<QString> unavailableReason(Kind kind);

    // Starts the compositor and waits for its socket; false (with the log in error()) when it
    // does not come up.
    bool start();
    QString error() const { return m_error; }

    // The socket's full path, as a client's WAYLAND_DISPLAY accepts it.
    QString socketPath() const { return m_socketPath; }
    // The variables a client program needs to connect.
    std::map<QString, QString> clientEnvironment() const;
    // wl-copy serving bytes as a type until the clipboard changes or it is ended.
    std::unique_ptr<ChildProcess> copy(const QByteArray &bytes, const QString &type) const;

private:
    Kind m_kind;
    QTemporaryDir m_folder;
    QString m_runtimeDir;
    QString m_socketPath;
    QString m_error;
    std::unique_ptr<ChildProcess> m_process;
};

} // namespace corvane::test
