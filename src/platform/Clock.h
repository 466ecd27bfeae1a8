#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace platform {

// A 32-bit millisecond tick that wraps every 49.7 days, like GetTickCount.
// Deadlines compare elapsed time (now - start, unsigned), never absolute ticks.
std::uint32_t TickCount();
// Milliseconds from `start` to `now` on that tick, right across a wrap as
// long as less than one wrap lies between.
inline std::uint32_t TicksBetween(std::uint32_t start, std::uint32_t now) {
    return now - start;
}
// Milliseconds since `start`, a TickCount value.
inline std::uint32_t ElapsedSince(std::uint32_t start) {
    return TicksBetween(start, TickCount());
}
void SleepMs(unsigned milliseconds);

// Local broken-down time; false when the time cannot be converted.
bool ToLocalTime(std::int64_t secondsSinceEpoch, std::tm* out);

// Lowers the calling thread's priority one step below normal.
void LowerCurrentThreadPriority();

}  // namespace platform
