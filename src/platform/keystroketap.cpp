#include "keystroketap.h"

#include "common/logging.h"

namespace corvane {

const char *KeystrokeTap::StartFailure::what() const noexcept
{
    switch (m_reason) {
    case Reason::notTrusted:
        return "notTrusted";
    case Reason::tapRefused:
        return "tapRefused";
    }
    return "unknown";
}

KeystrokeTap::~KeystrokeTap() = default;

void KeystrokeTap::start()
{
    if (m_running)
        return;
    if (!isTrusted())
        throw StartFailure(StartFailure::Reason::notTrusted);
    if (!open())
        throw StartFailure(StartFailure::Reason::tapRefused);
    m_running = true;
    qCInfo(lcKeystrokes, "Keystroke tap started");
}

void KeystrokeTap::stop()
{
    if (!m_running)
        return;
    close();
    m_running = false;
    qCInfo(lcKeystrokes, "Keystroke tap stopped");
}

void KeystrokeTap::report(const QString &characters, std::uint16_t keyCode, std::uint64_t flags)
{
    if (!m_running || !onKey)
        return;
    // Nothing typed into a secure field may reach the matcher, not even which key it was.
    if (isSecureInputEnabled()) {
        onKey(QString(), 0, 0);
        return;
    }
    onKey(characters.left(maximumCharacterUnits), keyCode, flags);
}

} // namespace corvane
