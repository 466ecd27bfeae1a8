#include "platform/Files.h"
#include "platform/posix/ReadAll.h"
#include "platform/posix/UserDirs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace platform {

bool ReadAll(int fd, std::string* contents) {
    std::string data;
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
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

ReadResult ReadWholeFile(const std::string& path, std::string* contents) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        // (ENOTDIR: a file stands where a folder of the path should be; no
        // such file, as Windows says too.)
        return errno == ENOENT || errno == ENOTDIR ? ReadResult::kMissing : ReadResult::kUnreadable;
    }
    const bool read = ReadAll(fd, contents);
    close(fd);
    return read ? ReadResult::kOk : ReadResult::kUnreadable;  // also a directory (EISDIR)
}

static bool MakeDirectories(const std::string& dir) {
    if (dir.empty()) {
        return true;
    }
    struct stat st {};
    if (stat(dir.c_str(), &st) == 0) {
        return S_ISDIR(st.st_mode);
    }
    const std::size_t slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeDirectories(dir.substr(0, slash))) {
        return false;
    }
    return mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

bool WriteFileAtomically(const std::string& path, const std::string& contents) {
    const std::size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && !MakeDirectories(path.substr(0, slash))) {
        return false;
    }
    std::string temp = path + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        return false;
    }
    std::size_t done = 0;
    bool ok = true;
    while (done < contents.size()) {
        const ssize_t n = write(fd, contents.data() + done, contents.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    ok = ok && fsync(fd) == 0;
    ok = (close(fd) == 0) && ok;
    ok = ok && rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) {
        unlink(temp.c_str());
    }
    return ok;
}

bool RenameFile(const std::string& from, const std::string& to) {
    struct stat st {};
    if (lstat(to.c_str(), &st) == 0 || errno != ENOENT) {
        return false;
    }
    return rename(from.c_str(), to.c_str()) == 0;
}

std::string AbsolutePath(const std::string& path) {
    if (path.empty() || path[0] == '/') {
        return path;
    }
    char* resolved = realpath(path.c_str(), nullptr);
    if (resolved != nullptr) {
        std::string absolute(resolved);
        std::free(resolved);
        return absolute;
    }
    char* cwd = getcwd(nullptr, 0);
    if (cwd == nullptr) {
        return path;
    }
    std::string absolute = std::string(cwd) + "/" + path;
    std::free(cwd);
    return absolute;
}

std::string DefaultProfilePath() {
    return ConfigHome() + "/pontaro/pontaro.ini";
}

}  // namespace platform
