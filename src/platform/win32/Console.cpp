#include "platform/Console.h"

#include <fcntl.h>
#include <io.h>
#include <objbase.h>
#include <shellapi.h>
#include <windows.h>

#include <cstdio>

namespace platform {

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
        const int n = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string utf8(n > 0 ? static_cast<std::size_t>(n) : 1, '\0');
        if (n > 0) {
            WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, utf8.data(), n, nullptr, nullptr);
        }
        utf8.resize(utf8.size() - 1);  // the terminating zero
        args.push_back(std::move(utf8));
    }
    LocalFree(wide);
    return args;
}

void StartComponentServices() {
    // As the window program does: the result is not examined; without COM the
    // description reader fails and the runs report failure.
    CoInitialize(nullptr);
}

void StopComponentServices() {
    CoUninitialize();
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
