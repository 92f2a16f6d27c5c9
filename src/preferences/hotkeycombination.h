#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

namespace corvane {

// A global shortcut: a virtual key code (9 is V) and a modifier mask in the stored
// numbering (Command 256, Shift 512, Option 2048, Control 4096). Its stored text form is
// the decimal key code, a colon and the decimal modifiers, e.g. "9:768".
struct HotkeyCombination
{
    Q_GADGET
    Q_PROPERTY(quint32 keyCode MEMBER keyCode)
    Q_PROPERTY(quint32 modifiers MEMBER modifiers)

public:
    enum Modifier : std::uint32_t {
        command = 256,
        shift = 512,
        option = 2048,
        control = 4096,
    };

    std::uint32_t keyCode = 0;
    std::uint32_t modifiers = 0;

    // The stored text form, "keyCode:modifiers".
    QString rawValue() const;

    // Parses the stored text form: pieces between colons, empty pieces dropped, must be
    // exactly two base-10 unsigned 32-bit numbers; anything else gives nothing.
    static std::optional<HotkeyCombination> fromRawValue(QStringView text);

    friend bool operator==(const HotkeyCombination &, const HotkeyCombination &) = default;
};

// Command-Shift-V, the shortcut used when none is stored.
inline constexpr HotkeyCombination defaultHotkeyCombination { 9, 768 };

} // namespace corvane

Q_DECLARE_METATYPE(corvane::HotkeyCombination)
