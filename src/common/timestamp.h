#pragma once

#include <chrono>
#include <cstdint>

namespace corvane {

// A point in time with millisecond resolution, the resolution the history stores.
using Timestamp = std::chrono::sys_time<std::chrono::milliseconds>;

// Earlier than every real timestamp; what unreadable stored times become.
inline constexpr Timestamp distantPast = Timestamp::min();

// Milliseconds since 1970-01-01 UTC, truncated toward zero, as stored in the database.
constexpr std::int64_t toMillis(Timestamp time)
{
    return time.time_since_epoch().count();
}

constexpr Timestamp fromMillis(std::int64_t millis)
{
    return Timestamp(std::chrono::milliseconds(millis));
}

// The current time, truncated to whole milliseconds.
inline Timestamp now()
{
    return std::chrono::time_point_cast<std::chrono::milliseconds>(
        std::chrono::system_clock::now());
}

} // namespace corvane
