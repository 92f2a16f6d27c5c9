#include "panelwindow.h"

namespace corvane {

PanelWindow::~PanelWindow() = default;

} // namespace corvane
