#include "keystrokesynthesizer.h"

namespace corvane {

KeystrokeSynthesizer::~KeystrokeSynthesizer() = default;

} // namespace corvane
