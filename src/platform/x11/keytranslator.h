#pragma once

#include <QString>

#include <cstdint>
#include <memory>

struct xkb_keymap;
struct xkb_state;

namespace corvane {

// Turns X key codes into what the keystroke tap reports, through an XKB keymap and the
// keyboard's current state (modifiers, Caps Lock, layout group): the characters typed, the
// macOS virtual key code of the key's position and the macOS modifier bits.
class KeyTranslator
{
public:
    struct Report
    {
        QString characters;
        std::uint16_t keyCode = 0;
        std::uint64_t flags = 0;
        // Shift, Control, Caps Lock, a group switch and the like: pressed alone they type
        // nothing and are not reported.
        bool isModifier = false;

        bool operator==(const Report &) const = default;
    };

    // Adopts a reference to keymap and state.
    KeyTranslator(xkb_keymap *keymap, xkb_state *state);
    KeyTranslator(const KeyTranslator &) = delete;
    KeyTranslator &operator=(const KeyTranslator &) = delete;
    ~KeyTranslator();

    // A translator for a keymap compiled from XKB rule names (rules "evdev", model "pc105"),
    // as the X server would build it for that layout; nothing when it cannot be compiled.
    static std::unique_ptr<KeyTranslator> fromNames(
        const QString &layout, const QString &variant = {});

    // A translator for another keymap (adopting a reference to it) in this one's keyboard
    // state: modifiers, Caps Lock and layout group as last announced. Nothing when no state
    // can be made for the keymap.
    std::unique_ptr<KeyTranslator> withKeymap(xkb_keymap *keymap) const;

    // What pressing the key gives in the current state.
    Report translate(std::uint32_t keycode) const;

    // Takes the keyboard state the X server announced.
    void setState(std::uint32_t baseModifiers, std::uint32_t latchedModifiers,
        std::uint32_t lockedModifiers, std::int32_t baseGroup, std::int32_t latchedGroup,
        std::int32_t lockedGroup);
    // Follows a key going down or up, for a keyboard whose state is not announced.
    void updateKey(std::uint32_t keycode, bool isDown);

    // The macOS virtual key code of the key with this XKB name (its position on a US
    // keyboard), or KeystrokeTap::unknownKeyCode.
    static std::uint16_t macKeyCode(const char *keyName);

private:
    xkb_keymap *m_keymap;
    xkb_state *m_state;
};

} // namespace corvane
