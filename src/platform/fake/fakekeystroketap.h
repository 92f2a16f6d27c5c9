#pragma once

#include "platform/keystroketap.h"

namespace corvane {

// A keystroke tap driven by the test: it starts or refuses as told and reports the key
// presses the test makes.
class FakeKeystrokeTap final : public KeystrokeTap
{
public:
    ~FakeKeystrokeTap() override { stop(); }

    bool trusted = true;
    bool refusesTap = false;
    bool secureInput = false;

    // Reports one key press, as the session would while running.
    void press(const QString &characters, std::uint16_t keyCode = 0, std::uint64_t flags = 0)
    {
        report(characters, keyCode, flags);
    }
    // Presses one key per character, as typing plain text would.
    void type(const QString &text);

protected:
    bool isTrusted() override { return trusted; }
    bool open() override { return !refusesTap; }
    void close() override { }
    bool isSecureInputEnabled() override { return secureInput; }
};

} // namespace corvane
