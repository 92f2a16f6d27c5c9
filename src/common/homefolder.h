#pragma once

#include <QDir>
#include <QString>

namespace corvane {

// A folder as the user is shown it: inside the home folder written from "~". Only a whole
// leading home folder is replaced: "/home/al" never turns "/home/alice" into "~ice".
QString withHomeAsTilde(const QString &folder, const QString &home = QDir::homePath());

} // namespace corvane
