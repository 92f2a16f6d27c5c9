#pragma once

#include "app/crashrecoveryagent.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

namespace corvane {

// The two ways the desktop session starts Corvane: an XDG autostart entry ("open at
// login") and the systemd user unit that starts it with the graphical session and again
// after a crash ("reopen if it stops unexpectedly"). The registrations live in the
// session; this class reads them, changes them and keeps the unit in step with the build.
// Main thread only: every systemctl call waits for the program, bounded in time.
class LoginItem : public QObject, public CrashRecoveryAgent
{
    Q_OBJECT
    // What the session had at the last reload() or apply(): each read of the live state
    // runs systemctl, too slow for bindings that a view evaluates many times.
    Q_PROPERTY(bool agentAvailable READ agentAvailable NOTIFY stateChanged)
    Q_PROPERTY(bool opensAtLogin READ opensAtLogin NOTIFY stateChanged)
    Q_PROPERTY(bool reopensAfterCrash READ reopensAfterCrash NOTIFY stateChanged)

public:
    struct State
    {
        // Corvane starts at login, by either mechanism.
        bool opensAtLogin = false;
        // The crash-recovery unit is enabled.
        bool reopensAfterCrash = false;

        friend bool operator==(const State &, const State &) = default;
    };

    struct Environment
    {
        // The systemctl program: a name looked up on PATH, or a path.
        QString systemctl = QStringLiteral("systemctl");
        // Where the autostart entry goes ($XDG_CONFIG_HOME/autostart).
        QString autostartFolder;
        // What the autostart entry starts.
        QString executablePath;
        // The build the unit is kept in step with.
        QString currentBuild = CrashRecoveryAgent::currentBuild();
        // How long one systemctl call may take before it counts as failed.
        std::chrono::milliseconds timeout { 5000 };

        // This process: the user's autostart folder and the running executable.
        static Environment forThisProcess();
    };

    static constexpr const char *unitName = "com.ferrowen.corvane.service";
    static constexpr const char *autostartFileName = "com.ferrowen.corvane.desktop";

    explicit LoginItem(
        Environment environment = Environment::forThisProcess(), QObject *parent = nullptr);
    ~LoginItem() override;

    // True when systemctl --user answers and finds the unit file installed.
    bool isAvailable() const override;
    // Re-enables an enabled unit when it was enabled for another build and gives the build
    // to remember. Throws std::runtime_error when systemctl refuses to enable it.
    QString refresh(const std::optional<QString> &registeredBuild) override;

    // The registrations as the session has them now; a systemctl that does not answer
    // counts as a unit that is not enabled.
    State state() const;

    bool agentAvailable() const { return m_available; }
    bool opensAtLogin() const { return m_state.opensAtLogin; }
    bool reopensAfterCrash() const { return m_state.reopensAfterCrash; }

    // Crash recovery on: the unit only; off with open at login: the autostart entry only;
    // both off: neither. Throws std::runtime_error (already logged) when a step fails; the
    // steps before it stay done.
    void apply(const State &state);

    // For the settings window: applies the state and says whether every step succeeded;
    // either way stateChanged tells the window to read the real state back.
    Q_INVOKABLE bool apply(bool opensAtLogin, bool reopensAfterCrash);
    // Reads the state and the agent's availability from the session again (the settings
    // window's timer and activation) and notifies when either changed.
    Q_INVOKABLE void reload();

    QString autostartPath() const;

Q_SIGNALS:
    void stateChanged();

private:
    struct SystemctlResult
    {
        bool finished = false;
        int exitCode = -1;
        QString output;
        QString error;
    };

    SystemctlResult systemctl(const QStringList &arguments) const;
    // The unit's UnitFileState and LoadState, or nothing when the user manager does not
    // answer.
    std::optional<std::pair<QString, QString>> unitStates() const;
    bool agentActive() const;
    bool autostartActive() const;
    void enableAgent();
    void disableAgent();
    void writeAutostartEntry();
    void removeAutostartEntry();
    void unregisterAgentIfActive();
    void unregisterAutostartIfActive();

    Environment m_environment;
    State m_state;
    bool m_available = false;
};

} // namespace corvane
