#include "platform/Clock.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

std::uint32_t TickCount() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const std::uint64_t ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                             static_cast<std::uint64_t>(ts.tv_nsec / 1000000);
    return static_cast<std::uint32_t>(ms);
}

void SleepMs(unsigned milliseconds) {
    timespec ts{};
    ts.tv_sec = milliseconds / 1000;
    ts.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

bool ToLocalTime(std::int64_t secondsSinceEpoch, std::tm* out) {
    const time_t t = static_cast<time_t>(secondsSinceEpoch);
    return localtime_r(&t, out) != nullptr;
}

void LowerCurrentThreadPriority() {
    // On Linux the nice value is per thread; one step lower is what
    // THREAD_PRIORITY_BELOW_NORMAL means on Windows.
    const pid_t tid = static_cast<pid_t>(syscall(SYS_gettid));
    const int current = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
    setpriority(PRIO_PROCESS, static_cast<id_t>(tid), current + 1);
}

}  // namespace platform
