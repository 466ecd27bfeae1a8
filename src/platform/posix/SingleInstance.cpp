#include "platform/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/posix/ShowRequests.h"
#include "platform/posix/UserDirs.h"

namespace platform {

namespace {

constexpr char kAnswer[] = "shown\n";

std::string InRuntimeDirectory(const char* name) {
    const std::string dir = RuntimeDirectory();
    return dir.empty() ? std::string() : dir + "/" + name;
}

// false when the path does not fit (a very long XDG_RUNTIME_DIR).
bool SocketAddress(sockaddr_un* address) {
    const std::string path = InRuntimeDirectory("pontaro.sock");
    std::memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address->sun_path) {
        return false;
    }
    std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
    return true;
}

}  // namespace

InstanceLock::~InstanceLock() {
    if (handle_ > 0) {
        close(static_cast<int>(handle_ - 1));
    }
}

// flock, not the file's existence: the kernel drops it with its holder.
bool InstanceLock::TryTake() {
    if (handle_ > 0) {
        return true;
    }
    const std::string path = InRuntimeDirectory("pontaro.lock");
    const int fd =
        path.empty() ? -1 : open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return true;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        close(fd);
        return error != EWOULDBLOCK;
    }
    handle_ = fd + 1;
    return true;
}

bool AskRunningInstanceToShow() {
    sockaddr_un address;
    if (!SocketAddress(&address)) {
        return false;
    }
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    // A connection is the request. It is queued even while the holder
    // hangs, so only its answer tells that the window comes.
    timeval second{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &second, sizeof second);
    char answer[sizeof kAnswer] = {};
    std::size_t got = 0;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        while (got < sizeof answer - 1) {
            const ssize_t n = recv(fd, answer + got, sizeof answer - 1 - got, 0);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            got += static_cast<std::size_t>(n);
        }
    }
    close(fd);
    return std::strcmp(answer, kAnswer) == 0;
}

ShowRequests::~ShowRequests() {
    if (fd_ >= 0) {
        close(fd_);
        sockaddr_un address;
        if (SocketAddress(&address)) {
            unlink(address.sun_path);
        }
    }
}

bool ShowRequests::Listen() {
    sockaddr_un address;
    if (fd_ >= 0 || !SocketAddress(&address)) {
        return fd_ >= 0;
    }
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return false;
    }
    unlink(address.sun_path);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        chmod(address.sun_path, 0600) != 0 || listen(fd, 8) != 0) {
        close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

bool ShowRequests::Take() {
    bool any = false;
    while (fd_ >= 0) {
        const int connection = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (connection < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        (void)!send(connection, kAnswer, sizeof kAnswer - 1, MSG_NOSIGNAL);
        close(connection);
        any = true;
    }
    return any;
}

}  // namespace platform
