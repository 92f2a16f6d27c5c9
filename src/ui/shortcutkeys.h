#pragma once

#include "preferences/hotkeycombination.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace corvane {

// The shortcut recorder's translation between Qt's key events and the stored combination:
// keys by their position on a US keyboard (the numbering the hot key service grabs by), the
// four modifiers by their stored bits.
namespace shortcutkeys {

// The stored key code of a Qt key (Qt::Key_V gives 9); nothing for a key the hot key service
// cannot grab (a modifier alone, a key without a US position).
std::optional<std::uint32_t> keyCode(int qtKey);

// The stored modifier bits of Qt's modifiers: Ctrl 4096, Alt 2048, Shift 512, Super 256.
std::uint32_t modifiers(int qtModifiers);

// The combination as Linux writes shortcuts: modifiers in the order Ctrl, Alt, Shift, Super,
// then the key by name, joined by "+" ("Shift+Super+V"). keyText is what the key types on
// the current layout; "?" stands in when it is empty.
QString displayText(const HotkeyCombination &combination, const QString &keyText);

} // namespace shortcutkeys

} // namespace corvane
