#pragma once

#include "platform/hotkeyregistrar.h"

#include <QByteArray>

#include <memory>

namespace corvane {

// Hot keys as passive key grabs on the root window of an X display, over a connection of
// their own that the Qt event loop watches. Combinations map Command to Super, Option to
// Alt, Shift and Control to themselves; key codes name the US key positions and are
// grabbed as the key that produces the same symbol on the current layout. Nothing when
// the display cannot be opened (displayName empty: $DISPLAY).
std::unique_ptr<HotkeyRegistrar> createX11HotkeyRegistrar(const QByteArray &displayName = {});

} // namespace corvane
