#include "platform/Console.h"

#include <unistd.h>

#include <cerrno>

namespace platform {

void PrepareConsoleOutput() {}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

bool ReadStandardInput(std::string* contents) {
    std::string data;
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (n == 0) {
            break;
        }
        data.append(buffer, static_cast<std::size_t>(n));
    }
    *contents = std::move(data);
    return true;
}

}  // namespace platform
