#pragma once

#include "platform/inputdevicestate.h"

#include <QByteArray>

struct _XDisplay;

namespace corvane {

// The pointer buttons and the Escape key read from the X server, whoever holds the grab.
class X11InputDeviceState : public InputDeviceState
{
public:
    // Opens its own connection to the display; without one nothing is pressed.
    explicit X11InputDeviceState(const QByteArray &displayName);
    ~X11InputDeviceState() override;

    X11InputDeviceState(const X11InputDeviceState &) = delete;
    X11InputDeviceState &operator=(const X11InputDeviceState &) = delete;

    bool isMouseButtonPressed() override;
    bool isEscapeKeyDown() override;

private:
    _XDisplay *m_display = nullptr;
};

} // namespace corvane
