#pragma once

#include <QString>

namespace corvane {

// The folder of the files installed with the executable (desktop entry, icons, unit):
// share/ beside the executable's folder, which is where an installation under any prefix
// and a build folder both put them.
QString installedDataFolder();

// The path of a file in that folder, or an empty string when it is not there.
QString installedDataFile(const QString &relativePath);

} // namespace corvane
