#include "platform/inputdevicestate.h"

namespace corvane {

InputDeviceState::~InputDeviceState() = default;

} // namespace corvane
