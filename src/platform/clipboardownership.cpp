#include "clipboardownership.h"

namespace corvane {

ClipboardOwnership::~ClipboardOwnership() = default;

} // namespace corvane
