#include "crashrecoveryagent.h"

#include "common/logging.h"

namespace corvane {

CrashRecoveryAgent::~CrashRecoveryAgent() = default;

QString CrashRecoveryAgent::currentBuild()
{
    return QStringLiteral(CORVANE_VERSION "+" CORVANE_BUILD_NUMBER);
}

QString UnavailableCrashRecoveryAgent::refresh(const std::optional<QString> &registeredBuild)
{
    Q_UNUSED(registeredBuild)
    qCInfo(lcLoginItem, "The crash-recovery agent is not available: nothing to re-register");
    return currentBuild();
}

} // namespace corvane
