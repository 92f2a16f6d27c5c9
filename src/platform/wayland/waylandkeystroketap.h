#pragma once

#include "platform/keystroketap.h"

#include <memory>

namespace corvane {

// The keystroke tap of a Wayland session: never trusted. Wayland hands key presses only to
// the window that has the focus, and reading the input devices directly needs privileges
// (the "input" group) that the application does not ask for, so expansion stays off there
// and says why.
std::unique_ptr<KeystrokeTap> createWaylandKeystrokeTap();

} // namespace corvane
