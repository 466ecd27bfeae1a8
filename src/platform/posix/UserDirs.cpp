#include "platform/posix/UserDirs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace platform {

namespace {

std::string AbsoluteVariable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] == '/' ? std::string(value) : std::string();
}

}  // namespace

std::string ConfigHome() {
    const std::string xdg = AbsoluteVariable("XDG_CONFIG_HOME");
    if (!xdg.empty()) {
        return xdg;
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : ".") + "/.config";
}

// XDG's base directory rules ask for a replacement directory "with similar
// capabilities" when the variable is unset (a session without logind).
std::string RuntimeDirectory() {
    const std::string xdg = AbsoluteVariable("XDG_RUNTIME_DIR");
    if (!xdg.empty()) {
        return xdg;
    }
    const std::string dir = "/tmp/pontaro-" + std::to_string(getuid());
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        return std::string();
    }
    struct stat st {};
    if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid() ||
        (st.st_mode & 077) != 0) {
        return std::string();
    }
    return dir;
}

}  // namespace platform
