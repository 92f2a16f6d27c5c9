#pragma once

#include <QStringView>

namespace corvane {

// Posts synthetic key presses to whatever window has the keyboard focus, as if typed. A burst
// begins with begin() and ends with end(); the presses in between arrive in order.
class KeystrokeSynthesizer
{
public:
    KeystrokeSynthesizer() = default;
    KeystrokeSynthesizer(const KeystrokeSynthesizer &) = delete;
    KeystrokeSynthesizer &operator=(const KeystrokeSynthesizer &) = delete;
    virtual ~KeystrokeSynthesizer();

    // Prepares a burst; false when no event can be posted at all (no display, no synthetic
    // input), in which case the burst is abandoned and end() is not called.
    virtual bool begin() = 0;
    // Presses and releases the key that erases the character before the cursor.
    virtual void pressDelete() = 0;
    // Types a short text (at most 16 UTF-16 code units) as it is, whatever the keyboard
    // layout, with line breaks as Return; characters that cannot be typed are skipped.
    virtual void typeText(QStringView text) = 0;
    // Sends everything still queued and ends the burst.
    virtual void end() = 0;
};

} // namespace corvane
