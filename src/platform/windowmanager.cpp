#include "windowmanager.h"

namespace corvane {

WindowManager::~WindowManager() = default;

} // namespace corvane
