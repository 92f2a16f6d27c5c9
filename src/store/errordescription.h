#pragma once

#include <QString>

#include <exception>

namespace corvane {

// The description an error is shown and logged with: a store refusal's full message, a
// database or file error's description, otherwise what the exception says.
QString errorDescription(const std::exception &error);

} // namespace corvane
