#include "hotkeyregistrar.h"

namespace corvane {

HotkeyRegistrar::~HotkeyRegistrar() = default;

} // namespace corvane
