#include "headlesscompositor.h"

#include "eventloopwait.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <pwd.h>

namespace corvane::test {

namespace {

const char *unprivilegedUser = "nobody";

QString programName(HeadlessCompositor::Kind kind)
{
    return kind == HeadlessCompositor::Kind::sway ? QStringLiteral("sway")
                                                  : QStringLiteral("weston");
}

} // namespace

HeadlessCompositor::HeadlessCompositor(Kind kind)
    : m_kind(kind)
{ }

HeadlessCompositor::~HeadlessCompositor()
{
    if (m_process && m_process->started()) {
        m_process->signal(SIGTERM);
        if (m_process->wait(5000) < 0) {
            m_process->signal(SIGKILL);
            m_process->wait(5000);
        }
    }
}

std::optional<QString> HeadlessCompositor::unavailableReason(Kind kind)
{
    if (QStandardPaths::findExecutable(programName(kind)).isEmpty())
        return programName(kind) + QStringLiteral(" is not installed");
    if (::geteuid() == 0 && !::getpwnam(unprivilegedUser))
        return QStringLiteral("running as root without a user \"nobody\" to start ")
            + programName(kind) + QStringLiteral(" as");
    return std::nullopt;
}

bool HeadlessCompositor::start()
{
    const bool asRoot = ::geteuid() == 0;
    const passwd *user = asRoot ? ::getpwnam(unprivilegedUser) : nullptr;
    // The compositor's user must reach its configuration and runtime folder.
    ::chmod(QFile::encodeName(m_folder.path()).constData(), 0711);
    m_runtimeDir = m_folder.filePath(QStringLiteral("runtime"));
    QDir().mkpath(m_runtimeDir);
    const QByteArray runtime = QFile::encodeName(m_runtimeDir);
    ::chmod(runtime.constData(), 0700);
    if (user && ::chown(runtime.constData(), user->pw_uid, user->pw_gid) != 0) {
        m_error = QStringLiteral("could not hand the runtime folder to nobody");
        return false;
    }
    // sway's is empty; weston's leaves out the helper clients it would otherwise start (a
    // desktop shell and an on-screen keyboard) that outlive it.
    const QString config = m_folder.filePath(QStringLiteral("config"));
    QFile configFile(config);
    configFile.open(QIODevice::WriteOnly);
    if (m_kind == Kind::weston)
        configFile.write("[core]\nshell=fullscreen-shell.so\n[input-method]\npath=\n");
    configFile.close();
    QFile::setPermissions(config, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);

    QStringList command;
    if (user) {
        command << QStringLiteral("setpriv") << QStringLiteral("--reuid=%1").arg(user->pw_uid)
                << QStringLiteral("--regid=%1").arg(user->pw_gid)
                << QStringLiteral("--clear-groups");
    }
    if (m_kind == Kind::sway) {
        command << QStringLiteral("sway") << QStringLiteral("-c") << config;
    } else {
        command << QStringLiteral("weston") << QStringLiteral("--backend=headless-backend.so")
                << QStringLiteral("--socket=wayland-1") << QStringLiteral("--idle-time=0")
                << QStringLiteral("--config=") + config;
    }
    const QString log = m_folder.filePath(QStringLiteral("compositor.log"));
    m_process = std::make_unique<ChildProcess>(ChildProcess::Options {
        .program = command.takeFirst(),
        .arguments = command,
        .environment = {
            { QStringLiteral("XDG_RUNTIME_DIR"), m_runtimeDir },
            { QStringLiteral("HOME"), m_folder.path() },
            { QStringLiteral("WLR_BACKENDS"), QStringLiteral("headless") },
            { QStringLiteral("WLR_LIBINPUT_NO_DEVICES"), QStringLiteral("1") },
            { QStringLiteral("WLR_RENDERER"), QStringLiteral("pixman") },
            // The compositor is a client of no other display.
            { QStringLiteral("WAYLAND_DISPLAY"), QString() },
            { QStringLiteral("DISPLAY"), QString() },
        },
        .standardErrorFile = log,
        .standardOutputFile = log,
    });
    const bool up = spinUntil(
        [&] {
            for (const QFileInfo &entry : QDir(m_runtimeDir)
                                              .entryInfoList({ QStringLiteral("wayland-*") },
                                                  QDir::System | QDir::NoDotAndDotDot)) {
                if (!entry.fileName().endsWith(QLatin1String(".lock"))) {
                    m_socketPath = entry.absoluteFilePath();
                    return true;
                }
            }
            return false;
        },
        std::chrono::seconds(20));
    if (!up) {
        QFile file(log);
        file.open(QIODevice::ReadOnly);
        m_error = programName(m_kind) + QStringLiteral(" did not open its socket:\n")
            + QString::fromUtf8(file.readAll());
    }
    return up;
}

std::map<QString, QString> HeadlessCompositor::clientEnvironment() const
{
    return { { QStringLiteral("XDG_RUNTIME_DIR"), m_runtimeDir },
        { QStringLiteral("WAYLAND_DISPLAY"), m_socketPath } };
}

std::unique_ptr<ChildProcess> HeadlessCompositor::copy(
    const QByteArray &bytes, const QString &type) const
{
    auto process = std::make_unique<ChildProcess>(ChildProcess::Options {
        .program = QStringLiteral("wl-copy"),
        .arguments = { QStringLiteral("--foreground"), QStringLiteral("--type"), type },
        .environment = clientEnvironment(),
        .standardErrorFile = QStringLiteral("/dev/null"),
        .standardOutputFile = QStringLiteral("/dev/null"),
    });
    process->send(bytes);
    process->closeInput();
    return process;
}

} // namespace corvane::test
