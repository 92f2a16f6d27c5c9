#include "activationnotifier.h"

namespace corvane {

ActivationNotifier::Registration::~Registration() = default;
ActivationNotifier::~ActivationNotifier() = default;

} // namespace corvane
