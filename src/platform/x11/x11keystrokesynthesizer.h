#pragma once

#include "platform/keystrokesynthesizer.h"

#include <memory>

namespace corvane {

class SyntheticKeyLedger;

// Synthetic key presses through XTest on a connection of its own. Characters the current
// layout types without modifiers use their own keys; any other character (accented letters
// of other layouts, CJK, emoji) is typed through a spare key code bound to its keysym, and the
// spare key codes are given back once typing has been idle for a while. Every press is noted
// in the ledger, so that the keystroke tap sharing it does not report it back.
std::unique_ptr<KeystrokeSynthesizer> createX11KeystrokeSynthesizer(
    std::shared_ptr<SyntheticKeyLedger> ledger);

} // namespace corvane
