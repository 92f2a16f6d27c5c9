#pragma once

#include <QString>

#include <optional>

namespace corvane {

// The service of the desktop session that starts Corvane again when it stops unexpectedly.
class CrashRecoveryAgent
{
public:
    virtual ~CrashRecoveryAgent();

    // Whether the agent is installed where the session can start it.
    virtual bool isAvailable() const = 0;
    // Re-registers an active agent when it was registered for another build, and gives the
    // build to remember. Throws std::runtime_error when the session refuses the registration.
    virtual QString refresh(const std::optional<QString> &registeredBuild) = 0;

    // This executable's build, as the agent remembers it.
    static QString currentBuild();
};

// The session offers no crash-recovery agent (none is installed): there is nothing to keep
// in step, so a refresh only gives the current build back.
class UnavailableCrashRecoveryAgent : public CrashRecoveryAgent
{
public:
    bool isAvailable() const override { return false; }
    QString refresh(const std::optional<QString> &registeredBuild) override;
};

} // namespace corvane
