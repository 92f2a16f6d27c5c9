#pragma once

#include "platform/inputdevicestate.h"

namespace corvane {

// Mouse buttons and the Escape key as the test sets them.
class FakeInputState final : public InputDeviceState
{
public:
    bool isMouseButtonPressed() override { return mouseButtonPressed; }
    bool isEscapeKeyDown() override { return escapeKeyDown; }

    bool mouseButtonPressed = true;
    bool escapeKeyDown = false;
};

} // namespace corvane
