#include "pasteboard.h"

namespace corvane {

Pasteboard::~Pasteboard() = default;

} // namespace corvane
