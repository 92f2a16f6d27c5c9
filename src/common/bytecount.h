#pragma once

#include <QString>

#include <cstdint>

namespace corvane {

// A size as file managers show it, in decimal units: "Zero KB", "1 byte", "512 bytes",
// "12 KB", "1.3 MB", "4.25 GB". Kilobytes carry no fraction, megabytes one digit and larger
// units two, without trailing zeros. Negative counts are shown as zero.
QString formatByteCount(std::int64_t bytes);

} // namespace corvane
