#include "shortcutkeys.h"

#include <Qt>

#include <array>
#include <utility>

namespace corvane::shortcutkeys {

namespace {

// Keys that type nothing, with the stored key code and the name Linux gives them.
struct NamedKey
{
    int qtKey;
    std::uint32_t keyCode;
    const char16_t *name;
};

constexpr std::array namedKeys {
    NamedKey { Qt::Key_Return, 36, u"Return" },
    NamedKey { Qt::Key_Enter, 76, u"Enter" },
    NamedKey { Qt::Key_Tab, 48, u"Tab" },
    NamedKey { Qt::Key_Space, 49, u"Space" },
    NamedKey { Qt::Key_Backspace, 51, u"Backspace" },
    NamedKey { Qt::Key_Escape, 53, u"Escape" },
    NamedKey { Qt::Key_Home, 115, u"Home" },
    NamedKey { Qt::Key_PageUp, 116, u"PgUp" },
    NamedKey { Qt::Key_Delete, 117, u"Delete" },
    NamedKey { Qt::Key_End, 119, u"End" },
    NamedKey { Qt::Key_PageDown, 121, u"PgDown" },
    NamedKey { Qt::Key_Left, 123, u"Left" },
    NamedKey { Qt::Key_Right, 124, u"Right" },
    NamedKey { Qt::Key_Down, 125, u"Down" },
    NamedKey { Qt::Key_Up, 126, u"Up" },
    NamedKey { Qt::Key_F1, 122, u"F1" },
    NamedKey { Qt::Key_F2, 120, u"F2" },
    NamedKey { Qt::Key_F3, 99, u"F3" },
    NamedKey { Qt::Key_F4, 118, u"F4" },
    NamedKey { Qt::Key_F5, 96, u"F5" },
    NamedKey { Qt::Key_F6, 97, u"F6" },
    NamedKey { Qt::Key_F7, 98, u"F7" },
    NamedKey { Qt::Key_F8, 100, u"F8" },
    NamedKey { Qt::Key_F9, 101, u"F9" },
    NamedKey { Qt::Key_F10, 109, u"F10" },
    NamedKey { Qt::Key_F11, 103, u"F11" },
    NamedKey { Qt::Key_F12, 111, u"F12" },
};

// Keys that type a character, by the character on a US keyboard.
constexpr std::array<std::pair<char, std::uint32_t>, 47> typedKeys { {
    { 'A', 0 },
    { 'S', 1 },
    { 'D', 2 },
    { 'F', 3 },
    { 'H', 4 },
    { 'G', 5 },
    { 'Z', 6 },
    { 'X', 7 },
    { 'C', 8 },
    { 'V', 9 },
    { 'B', 11 },
    { 'Q', 12 },
    { 'W', 13 },
    { 'E', 14 },
    { 'R', 15 },
    { 'Y', 16 },
    { 'T', 17 },
    { '1', 18 },
    { '2', 19 },
    { '3', 20 },
    { '4', 21 },
    { '6', 22 },
    { '5', 23 },
    { '=', 24 },
    { '9', 25 },
    { '7', 26 },
    { '-', 27 },
    { '8', 28 },
    { '0', 29 },
    { ']', 30 },
    { 'O', 31 },
    { 'U', 32 },
    { '[', 33 },
    { 'I', 34 },
    { 'P', 35 },
    { 'L', 37 },
    { 'J', 38 },
    { '\'', 39 },
    { 'K', 40 },
    { ';', 41 },
    { '\\', 42 },
    { ',', 43 },
    { '/', 44 },
    { 'N', 45 },
    { 'M', 46 },
    { '.', 47 },
    { '`', 50 },
} };

} // namespace

std::optional<std::uint32_t> keyCode(int qtKey)
{
    for (const NamedKey &key : namedKeys) {
        if (key.qtKey == qtKey)
            return key.keyCode;
    }
    // Qt's keys for printable US characters are their Latin-1 codes, letters upper-cased.
    for (const auto &[character, code] : typedKeys) {
        if (qtKey == int(character))
            return code;
    }
    return std::nullopt;
}

std::uint32_t modifiers(int qtModifiers)
{
    std::uint32_t bits = 0;
    if (qtModifiers & Qt::ControlModifier)
        bits |= HotkeyCombination::control;
    if (qtModifiers & Qt::AltModifier)
        bits |= HotkeyCombination::option;
    if (qtModifiers & Qt::ShiftModifier)
        bits |= HotkeyCombination::shift;
    if (qtModifiers & Qt::MetaModifier)
        bits |= HotkeyCombination::command;
    return bits;
}

QString displayText(const HotkeyCombination &combination, const QString &keyText)
{
    QStringList parts;
    if (combination.modifiers & HotkeyCombination::control)
        parts << QStringLiteral("Ctrl");
    if (combination.modifiers & HotkeyCombination::option)
        parts << QStringLiteral("Alt");
    if (combination.modifiers & HotkeyCombination::shift)
        parts << QStringLiteral("Shift");
    if (combination.modifiers & HotkeyCombination::command)
        parts << QStringLiteral("Super");
    QString key;
    for (const NamedKey &named : namedKeys) {
        if (named.keyCode == combination.keyCode)
            key = QString::fromUtf16(named.name);
    }
    if (key.isEmpty())
        key = keyText.trimmed().left(4).toUpper();
    parts << (key.isEmpty() ? QStringLiteral("?") : key);
    return parts.join(QLatin1Char('+'));
}

} // namespace corvane::shortcutkeys
