#pragma once

namespace corvane {

// The live state of the pointer and keyboard across the whole session, as read while a
// drag is in progress (when the application sees no ordinary input events).
class InputDeviceState
{
public:
    virtual ~InputDeviceState();

    // Whether any mouse button is held down now.
    virtual bool isMouseButtonPressed() = 0;
    // Whether the Escape key is held down now.
    virtual bool isEscapeKeyDown() = 0;
};

} // namespace corvane
