#pragma once

#include "platform/clipboardownership.h"

#include <memory>

namespace corvane {

// Follows the CLIPBOARD selection's owners through XFixes on a connection of its own (Qt's
// clipboard does not tell why an owner went away) and acts as the CLIPBOARD_MANAGER. Never
// fails: without a display or the XFixes extension, no copy ever vanishes and the manager's
// role is never claimed.
std::unique_ptr<ClipboardOwnership> createX11ClipboardOwnership();

} // namespace corvane
