#include "net/StartWinsock.h"

#include <atomic>

#include "platform/Socket.h"

namespace {
std::atomic<bool> g_started{false};
}

int StartWinsock() {
    if (g_started.load()) {
        return 0;
    }
    if (platform::StartSocketLibrary() != 0) {
        return -1;
    }
    g_started.store(true);
    return 0;
}
