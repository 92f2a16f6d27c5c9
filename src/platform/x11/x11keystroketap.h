#pragma once

#include "platform/keystroketap.h"

#include <memory>

namespace corvane {

class SyntheticKeyLedger;

// The keystroke tap of an X11 session: raw key events of XInput 2 on the root window, on a
// connection of its own. X11 has no session-wide secure-input indicator, so no report is ever
// blanked out. Presses noted in the ledger (those this process typed) are not reported.
std::unique_ptr<KeystrokeTap> createX11KeystrokeTap(std::shared_ptr<SyntheticKeyLedger> ledger);

// Whether the X server offers this client what observing and synthesising keys needs
// (XInput 2 and XTest); false without a reachable X server, as on a pure Wayland session.
bool isX11KeyboardAccessAvailable();

} // namespace corvane
