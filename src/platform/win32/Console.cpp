#include "platform/Console.h"
#include "platform/win32/Utf16.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <cwchar>

namespace platform {

namespace {

std::atomic<bool> g_stopRequested{false};

// Runs on a thread of its own that the system starts for each event.
BOOL WINAPI OnConsoleControl(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            g_stopRequested = true;
            return TRUE;
        case CTRL_CLOSE_EVENT:
            // The system ends the process once this returns (or after a few
            // seconds): give the run in progress that time to finish.
            g_stopRequested = true;
            Sleep(4000);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

void CatchStopRequests() {
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

bool StopRequested() {
    return g_stopRequested;
}

void PrepareConsoleOutput() {
    SetConsoleOutputCP(CP_UTF8);
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        return std::vector<std::string>(argv, argv + argc);
    }
    std::vector<std::string> args;
    for (int i = 0; i < count; ++i) {
        args.push_back(Narrow(wide[i], std::wcslen(wide[i])));
    }
    LocalFree(wide);
    return args;
}

bool ReadStandardInput(std::string* contents) {
    // Binary mode: no CR LF folding and no end at a Ctrl-Z byte.
    _setmode(_fileno(stdin), _O_BINARY);
    std::string data;
    char buffer[65536];
    for (;;) {
        const std::size_t n = std::fread(buffer, 1, sizeof buffer, stdin);
        data.append(buffer, n);
        if (n < sizeof buffer) {
            if (std::ferror(stdin)) {
                return false;
            }
            break;
        }
    }
    *contents = std::move(data);
    return true;
}

}  // namespace platform
