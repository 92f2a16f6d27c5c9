#include "keytranslator.h"

#include "platform/keystroketap.h"

#include <cstring>
#include <string_view>
#include <utility>
#include <xkbcommon/xkbcommon.h>

namespace corvane {

namespace {

// macOS virtual key codes by XKB key name: the position on the keyboard, not the symbol it
// types, so Z on a German keyboard (where the US Y is) reports the code of Y.
constexpr std::pair<std::string_view, std::uint16_t> macKeyCodes[] = {
    { "AC01", 0 },
    { "AC02", 1 },
    { "AC03", 2 },
    { "AC04", 3 },
    { "AC06", 4 },
    { "AC05", 5 },
    { "AB01", 6 },
    { "AB02", 7 },
    { "AB03", 8 },
    { "AB04", 9 },
    { "LSGT", 10 },
    { "AB05", 11 },
    { "AD01", 12 },
    { "AD02", 13 },
    { "AD03", 14 },
    { "AD04", 15 },
    { "AD06", 16 },
    { "AD05", 17 },
    { "AE01", 18 },
    { "AE02", 19 },
    { "AE03", 20 },
    { "AE04", 21 },
    { "AE06", 22 },
    { "AE05", 23 },
    { "AE12", 24 },
    { "AE09", 25 },
    { "AE07", 26 },
    { "AE11", 27 },
    { "AE08", 28 },
    { "AE10", 29 },
    { "AD12", 30 },
    { "AD09", 31 },
    { "AD07", 32 },
    { "AD11", 33 },
    { "AD08", 34 },
    { "AD10", 35 },
    { "RTRN", 36 },
    { "AC09", 37 },
    { "AC07", 38 },
    { "AC11", 39 },
    { "AC08", 40 },
    { "AC10", 41 },
    { "BKSL", 42 },
    { "AB08", 43 },
    { "AB10", 44 },
    { "AB06", 45 },
    { "AB07", 46 },
    { "AB09", 47 },
    { "TAB", 48 },
    { "SPCE", 49 },
    { "TLDE", 50 },
    { "BKSP", 51 },
    { "ESC", 53 },
    { "RWIN", 54 },
    { "LWIN", 55 },
    { "LFSH", 56 },
    { "CAPS", 57 },
    { "LALT", 58 },
    { "LCTL", 59 },
    { "RTSH", 60 },
    { "RALT", 61 },
    { "RCTL", 62 },
    { "KPDL", 65 },
    { "KPMU", 67 },
    { "KPAD", 69 },
    { "NMLK", 71 },
    { "KPDV", 75 },
    { "KPEN", 76 },
    { "KPSU", 78 },
    { "KPEQ", 81 },
    { "KP0", 82 },
    { "KP1", 83 },
    { "KP2", 84 },
    { "KP3", 85 },
    { "KP4", 86 },
    { "KP5", 87 },
    { "KP6", 88 },
    { "KP7", 89 },
    { "KP8", 91 },
    { "KP9", 92 },
    { "FK05", 96 },
    { "FK06", 97 },
    { "FK07", 98 },
    { "FK03", 99 },
    { "FK08", 100 },
    { "FK09", 101 },
    { "FK11", 103 },
    { "FK10", 109 },
    { "FK12", 111 },
    { "INS", 114 },
    { "HOME", 115 },
    { "PGUP", 116 },
    { "DELE", 117 },
    { "FK04", 118 },
    { "END", 119 },
    { "FK02", 120 },
    { "PGDN", 121 },
    { "FK01", 122 },
    { "LEFT", 123 },
    { "RGHT", 124 },
    { "DOWN", 125 },
    { "UP", 126 },
};

bool isModifierKeysym(xkb_keysym_t keysym)
{
    return (keysym >= XKB_KEY_Shift_L && keysym <= XKB_KEY_Hyper_R)
        || (keysym >= XKB_KEY_ISO_Lock && keysym <= XKB_KEY_ISO_Last_Group_Lock)
        || keysym == XKB_KEY_Mode_switch || keysym == XKB_KEY_Num_Lock;
}

} // namespace

KeyTranslator::KeyTranslator(xkb_keymap *keymap, xkb_state *state)
    : m_keymap(keymap)
    , m_state(state)
{ }

KeyTranslator::~KeyTranslator()
{
    xkb_state_unref(m_state);
    xkb_keymap_unref(m_keymap);
}

std::unique_ptr<KeyTranslator> KeyTranslator::fromNames(
    const QString &layout, const QString &variant)
{
    xkb_context *context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (!context)
        return nullptr;
    const QByteArray layoutName = layout.toUtf8();
    const QByteArray variantName = variant.toUtf8();
    const xkb_rule_names names { "evdev", "pc105", layoutName.constData(), variantName.constData(),
        nullptr };
    xkb_keymap *keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    xkb_context_unref(context);
    if (!keymap)
        return nullptr;
    xkb_state *state = xkb_state_new(keymap);
    if (!state) {
        xkb_keymap_unref(keymap);
        return nullptr;
    }
    return std::make_unique<KeyTranslator>(keymap, state);
}

std::unique_ptr<KeyTranslator> KeyTranslator::withKeymap(xkb_keymap *keymap) const
{
    xkb_state *state = xkb_state_new(keymap);
    if (!state) {
        xkb_keymap_unref(keymap);
        return nullptr;
    }
    auto translator = std::make_unique<KeyTranslator>(keymap, state);
    xkb_state_update_mask(state, xkb_state_serialize_mods(m_state, XKB_STATE_MODS_DEPRESSED),
        xkb_state_serialize_mods(m_state, XKB_STATE_MODS_LATCHED),
        xkb_state_serialize_mods(m_state, XKB_STATE_MODS_LOCKED),
        xkb_state_serialize_layout(m_state, XKB_STATE_LAYOUT_DEPRESSED),
        xkb_state_serialize_layout(m_state, XKB_STATE_LAYOUT_LATCHED),
        xkb_state_serialize_layout(m_state, XKB_STATE_LAYOUT_LOCKED));
    return translator;
}

KeyTranslator::Report KeyTranslator::translate(std::uint32_t keycode) const
{
    Report report;
    report.keyCode = macKeyCode(xkb_keymap_key_get_name(m_keymap, keycode));

    const xkb_layout_index_t layout = xkb_state_key_get_layout(m_state, keycode);
    const xkb_keysym_t *baseSymbols = nullptr;
    if (layout != XKB_LAYOUT_INVALID
        && xkb_keymap_key_get_syms_by_level(m_keymap, keycode, layout, 0, &baseSymbols) > 0)
        report.isModifier = isModifierKeysym(baseSymbols[0]);

    // Dead keys give no text here: the character they start is only known with the next key.
    char utf8[64] = {};
    if (xkb_state_key_get_utf8(m_state, keycode, utf8, sizeof utf8) > 0)
        report.characters = QString::fromUtf8(utf8).left(KeystrokeTap::maximumCharacterUnits);

    const auto isActive = [this](const char *name) {
        return xkb_state_mod_name_is_active(m_state, name, XKB_STATE_MODS_EFFECTIVE) > 0;
    };
    if (isActive(XKB_MOD_NAME_SHIFT))
        report.flags |= KeystrokeTap::shiftFlag;
    if (isActive(XKB_MOD_NAME_CTRL))
        report.flags |= KeystrokeTap::controlFlag;
    if (isActive(XKB_MOD_NAME_ALT))
        report.flags |= KeystrokeTap::alternateFlag;
    if (isActive(XKB_MOD_NAME_LOGO))
        report.flags |= KeystrokeTap::commandFlag;
    return report;
}

void KeyTranslator::setState(std::uint32_t baseModifiers, std::uint32_t latchedModifiers,
    std::uint32_t lockedModifiers, std::int32_t baseGroup, std::int32_t latchedGroup,
    std::int32_t lockedGroup)
{
    xkb_state_update_mask(m_state, baseModifiers, latchedModifiers, lockedModifiers,
        xkb_layout_index_t(baseGroup), xkb_layout_index_t(latchedGroup),
        xkb_layout_index_t(lockedGroup));
}

void KeyTranslator::updateKey(std::uint32_t keycode, bool isDown)
{
    xkb_state_update_key(m_state, keycode, isDown ? XKB_KEY_DOWN : XKB_KEY_UP);
}

std::uint16_t KeyTranslator::macKeyCode(const char *keyName)
{
    if (!keyName)
        return KeystrokeTap::unknownKeyCode;
    const std::string_view name(keyName);
    for (const auto &[xkbName, code] : macKeyCodes) {
        if (xkbName == name)
            return code;
    }
    return KeystrokeTap::unknownKeyCode;
}

} // namespace corvane
