#include "platform/Console.h"
#include "platform/posix/ReadAll.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace platform {

namespace {

volatile std::sig_atomic_t g_stopRequested = 0;

// The handler stays installed: tools such as timeout(1) deliver the signal
// twice (to the program and to its process group).
extern "C" void OnStopSignal(int) {
    g_stopRequested = 1;
}

}  // namespace

void CatchStopRequests() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool StopRequested() {
    return g_stopRequested != 0;
}

void PrepareConsoleOutput() {}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

bool ReadStandardInput(std::string* contents) {
    return ReadAll(STDIN_FILENO, contents);
}

}  // namespace platform
