#include "loginitem.h"

#include "common/logging.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

#include <stdexcept>

namespace corvane {

namespace {

const QString agentDescription
    = QStringLiteral("the crash-recovery agent (%1)").arg(QLatin1String(LoginItem::unitName));

// One argument of an Exec key: always quoted, with the characters the desktop entry
// format reserves inside quotes escaped, then the backslashes of the whole value escaped
// again because Exec is a string value; "%" would start a field code.
QString execArgument(const QString &argument)
{
    QString quoted;
    for (QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted.append(u'\\');
        quoted.append(c);
    }
    quoted.replace(QStringLiteral("%"), QStringLiteral("%%"));
    quoted.replace(QStringLiteral("\\"), QStringLiteral("\\\\"));
    return u'"' + quoted + u'"';
}

QString describeFailure(
    const QString &program, const QStringList &arguments, int exitCode, const QString &errorOutput)
{
    const QString trimmed = errorOutput.trimmed();
    return QStringLiteral("%1 %2 failed: %3")
        .arg(program, arguments.join(u' '),
            trimmed.isEmpty() ? QStringLiteral("exit status %1").arg(exitCode) : trimmed);
}

} // namespace

LoginItem::Environment LoginItem::Environment::forThisProcess()
{
    Environment environment;
    environment.autostartFolder
        = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/autostart");
    environment.executablePath = QCoreApplication::applicationFilePath();
    return environment;
}

LoginItem::LoginItem(Environment environment, QObject *parent)
    : QObject(parent)
    , m_environment(std::move(environment))
{ }

LoginItem::~LoginItem() = default;

QString LoginItem::autostartPath() const
{
    return m_environment.autostartFolder + u'/' + QLatin1String(autostartFileName);
}

LoginItem::SystemctlResult LoginItem::systemctl(const QStringList &arguments) const
{
    QProcess process;
    process.start(m_environment.systemctl, QStringList { QStringLiteral("--user") } + arguments);
    SystemctlResult result;
    if (!process.waitForStarted(int(m_environment.timeout.count()))) {
        result.error = QStringLiteral("%1 could not be started: %2")
                           .arg(m_environment.systemctl, process.errorString());
        return result;
    }
    process.closeWriteChannel();
    if (!process.waitForFinished(int(m_environment.timeout.count()))) {
        // Our own child: stop it rather than leave it to finish behind our back.
        process.kill();
        process.waitForFinished(1000);
        result.error = QStringLiteral("%1 did not answer within %2 ms")
                           .arg(m_environment.systemctl)
                           .arg(m_environment.timeout.count());
        return result;
    }
    result.output = QString::fromUtf8(process.readAllStandardOutput());
    const QString errorOutput = QString::fromUtf8(process.readAllStandardError());
    if (process.exitStatus() != QProcess::NormalExit) {
        result.error = QStringLiteral("%1 crashed").arg(m_environment.systemctl);
        return result;
    }
    result.finished = true;
    result.exitCode = process.exitCode();
    if (result.exitCode != 0) {
        result.error = describeFailure(
            m_environment.systemctl, arguments, result.exitCode, errorOutput + result.output);
    }
    return result;
}

std::optional<std::pair<QString, QString>> LoginItem::unitStates() const
{
    const SystemctlResult result
        = systemctl({ QStringLiteral("show"), QStringLiteral("--property=UnitFileState"),
            QStringLiteral("--property=LoadState"), QLatin1String(unitName) });
    if (!result.finished || result.exitCode != 0) {
        qCDebug(lcLoginItem, "The user manager did not answer: %s", qUtf8Printable(result.error));
        return std::nullopt;
    }
    QString unitFileState;
    QString loadState;
    for (const QString &line : result.output.split(u'\n')) {
        if (line.startsWith(QLatin1String("UnitFileState=")))
            unitFileState = line.mid(14).trimmed();
        else if (line.startsWith(QLatin1String("LoadState=")))
            loadState = line.mid(10).trimmed();
    }
    return std::pair { unitFileState, loadState };
}

bool LoginItem::isAvailable() const
{
    const auto states = unitStates();
    return states && states->second == u"loaded";
}

bool LoginItem::agentActive() const
{
    const auto states = unitStates();
    return states && (states->first == u"enabled" || states->first == u"enabled-runtime");
}

bool LoginItem::autostartActive() const
{
    return QFile::exists(autostartPath());
}

LoginItem::State LoginItem::state() const
{
    State state;
    state.reopensAfterCrash = agentActive();
    state.opensAtLogin = state.reopensAfterCrash || autostartActive();
    return state;
}

void LoginItem::enableAgent()
{
    const SystemctlResult result = systemctl({ QStringLiteral("enable"), QLatin1String(unitName) });
    if (!result.error.isEmpty())
        throw std::runtime_error(result.error.toStdString());
}

void LoginItem::disableAgent()
{
    const SystemctlResult result
        = systemctl({ QStringLiteral("disable"), QLatin1String(unitName) });
    if (!result.error.isEmpty())
        throw std::runtime_error(result.error.toStdString());
}

void LoginItem::writeAutostartEntry()
{
    if (!QDir().mkpath(m_environment.autostartFolder)) {
        throw std::runtime_error(QStringLiteral("the folder %1 cannot be created")
                                     .arg(QDir::toNativeSeparators(m_environment.autostartFolder))
                                     .toStdString());
    }
    QSaveFile file(autostartPath());
    if (!file.open(QIODevice::WriteOnly)) {
        throw std::runtime_error(
            QStringLiteral("%1: %2").arg(autostartPath(), file.errorString()).toStdString());
    }
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Version=1.0\n"
                                         "Name=Corvane\n"
                                         "Comment=Clipboard history\n"
                                         "Exec=%1\n"
                                         "Icon=com.ferrowen.corvane\n"
                                         "Terminal=false\n"
                                         "StartupNotify=false\n"
                                         "X-GNOME-Autostart-enabled=true\n")
                              .arg(execArgument(m_environment.executablePath));
    file.write(entry.toUtf8());
    if (!file.commit()) {
        throw std::runtime_error(
            QStringLiteral("%1: %2").arg(autostartPath(), file.errorString()).toStdString());
    }
}

void LoginItem::removeAutostartEntry()
{
    QFile file(autostartPath());
    if (!file.remove() && file.exists()) {
        throw std::runtime_error(
            QStringLiteral("%1: %2").arg(autostartPath(), file.errorString()).toStdString());
    }
}

void LoginItem::unregisterAgentIfActive()
{
    if (!agentActive())
        return;
    try {
        disableAgent();
    } catch (const std::exception &error) {
        qCCritical(lcLoginItem, "Could not unregister %s: %s", qUtf8Printable(agentDescription),
            error.what());
        throw;
    }
}

void LoginItem::unregisterAutostartIfActive()
{
    if (!autostartActive())
        return;
    try {
        removeAutostartEntry();
    } catch (const std::exception &error) {
        qCCritical(lcLoginItem, "Could not unregister the autostart entry: %s", error.what());
        throw;
    }
}

void LoginItem::apply(const State &state)
{
    if (!state.reopensAfterCrash) {
        unregisterAgentIfActive();
        if (state.opensAtLogin) {
            // Rewritten even when present, so it starts the executable that runs now.
            try {
                writeAutostartEntry();
            } catch (const std::exception &error) {
                qCCritical(lcLoginItem, "Could not register the autostart entry: %s", error.what());
                throw;
            }
        } else {
            unregisterAutostartIfActive();
        }
        return;
    }
    // The unit starts Corvane with the session by itself; an autostart entry as well would
    // start a second instance at every login.
    unregisterAutostartIfActive();
    if (agentActive())
        return;
    try {
        enableAgent();
    } catch (const std::exception &error) {
        qCCritical(lcLoginItem, "Could not register %s: %s", qUtf8Printable(agentDescription),
            error.what());
        throw;
    }
}

bool LoginItem::apply(bool opensAtLogin, bool reopensAfterCrash)
{
    bool succeeded = true;
    try {
        apply(State { opensAtLogin, reopensAfterCrash });
    } catch (const std::exception &) {
        succeeded = false;
    }
    reload();
    return succeeded;
}

void LoginItem::reload()
{
    const State current = state();
    const bool available = isAvailable();
    if (current == m_state && available == m_available)
        return;
    m_state = current;
    m_available = available;
    Q_EMIT stateChanged();
}

QString LoginItem::refresh(const std::optional<QString> &registeredBuild)
{
    const QString current = m_environment.currentBuild;
    if (!agentActive())
        return current;
    if (registeredBuild && *registeredBuild == current)
        return current;
    qCInfo(lcLoginItem,
        "App changed since the agent was registered (%s → %s); re-registering so the user "
        "manager picks up the new build.",
        qUtf8Printable(registeredBuild.value_or(QStringLiteral("unknown"))),
        qUtf8Printable(current));
    try {
        disableAgent();
    } catch (const std::exception &error) {
        // The enable that follows decides the outcome.
        qCDebug(lcLoginItem, "Disabling before re-enabling failed: %s", error.what());
    }
    // An update may have replaced the unit file; the manager reads it again only when told.
    const SystemctlResult reload = systemctl({ QStringLiteral("daemon-reload") });
    if (!reload.error.isEmpty())
        qCDebug(lcLoginItem, "Reloading the user manager failed: %s", qUtf8Printable(reload.error));
    enableAgent();
    return current;
}

} // namespace corvane
