#pragma once

#include "platform/activationnotifier.h"

#include <memory>

namespace corvane {

// Reports changes of the root window's _NET_ACTIVE_WINDOW, which the window manager sets
// whenever another window becomes active, watched on a connection of its own while anyone
// observes. Without a reachable display nothing is ever reported.
std::unique_ptr<ActivationNotifier> createX11ActivationNotifier();

} // namespace corvane
