#include "platform/LoginEntry.h"

#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>

#include "platform/Files.h"
#include "platform/LoginEntryText.h"
#include "platform/posix/UserDirs.h"

namespace platform {

namespace {

std::string EntryPath() {
    return ConfigHome() + "/autostart/pontaro.desktop";
}

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

// The file a command starts: a name without a slash is looked up on PATH,
// as the desktop's launcher does; both as real paths, so that links agree.
std::string FileStartedBy(const std::string& command) {
    if (command.find('/') != std::string::npos) {
        return RealPath(command);
    }
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    for (std::size_t start = 0; start <= dirs.size();) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos) {
            end = dirs.size();
        }
        const std::string candidate = dirs.substr(start, end - start) + "/" + command;
        if (end > start && access(candidate.c_str(), X_OK) == 0) {
            return RealPath(candidate);
        }
        start = end + 1;
    }
    return command;
}

// The bare name where PATH finds this very program (the package's
// /usr/bin/pontaro), else the whole path (a build tree, /opt).
std::string CommandFor(const std::string& program) {
    const std::string name = program.substr(program.find_last_of('/') + 1);
    return !name.empty() && FileStartedBy(name) == FileStartedBy(program) ? name : program;
}

}  // namespace

std::string ThisProgram() {
    std::string path(256, '\0');
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
        if (n < 0) {
            return std::string();
        }
        if (static_cast<std::size_t>(n) < path.size()) {
            path.resize(static_cast<std::size_t>(n));
            return path;
        }
        path.resize(path.size() * 2);
    }
}

bool StartsAtLogin(const std::string& program) {
    std::string text;
    if (program.empty() || ReadWholeFile(EntryPath(), &text) != ReadResult::kOk) {
        return false;
    }
    const std::optional<std::string> started = AutostartEntryProgram(text);
    return started && FileStartedBy(*started) == FileStartedBy(program);
}

bool SetStartAtLogin(const std::string& program, bool on) {
    if (on) {
        const std::string text = AutostartEntryText(CommandFor(program));
        return !text.empty() && WriteFileAtomically(EntryPath(), text) && StartsAtLogin(program);
    }
    if (!StartsAtLogin(program)) {
        return true;  // nothing of ours there
    }
    return unlink(EntryPath().c_str()) == 0 || errno == ENOENT;
}

}  // namespace platform
