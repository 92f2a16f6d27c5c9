#include "workspace.h"

namespace corvane {

Workspace::~Workspace() = default;

} // namespace corvane
