#include <windows.h>

#include <ctime>

#include "platform/Clock.h"

namespace platform {

std::uint32_t TickCount() {
    return static_cast<std::uint32_t>(GetTickCount());
}

void SleepMs(unsigned milliseconds) {
    Sleep(milliseconds);
}

bool ToLocalTime(std::int64_t secondsSinceEpoch, std::tm* out) {
    const __time64_t t = static_cast<__time64_t>(secondsSinceEpoch);
    return _localtime64_s(out, &t) == 0;
}

void LowerCurrentThreadPriority() {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}

}  // namespace platform
