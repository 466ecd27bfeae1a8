#include "platform/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

namespace {

int Fd(SocketHandle s) {
    return static_cast<int>(s);
}

sockaddr_in MakeAddress(std::uint32_t address, std::uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = address;
    return sa;
}

}  // namespace

int StartSocketLibrary() {
    // A send to a peer that has gone must fail with EPIPE, not end the process.
    signal(SIGPIPE, SIG_IGN);
    return 0;
}

SocketHandle OpenTcpSocket() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    return fd < 0 ? kInvalidSocket : fd;
}

SocketHandle OpenUdpSocket() {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    return fd < 0 ? kInvalidSocket : fd;
}

void CloseSocket(SocketHandle s) {
    if (s != kInvalidSocket) {
        close(Fd(s));
    }
}

bool InterruptBlockedCall(SocketHandle s) {
    // On Linux, close() does not wake a thread blocked on the descriptor,
    // and the number could be handed out again at once; shutdown() wakes it.
    if (s != kInvalidSocket) {
        shutdown(Fd(s), SHUT_RDWR);
    }
    return false;
}

int ConnectIPv4(SocketHandle s, std::uint32_t address, std::uint16_t port) {
    const sockaddr_in sa = MakeAddress(address, port);
    int rc;
    do {
        rc = connect(Fd(s), reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    } while (rc != 0 && errno == EINTR);
    return rc == 0 ? 0 : -1;
}

long SendSome(SocketHandle s, const char* data, std::size_t size) {
    ssize_t n;
    do {
        n = send(Fd(s), data, size, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? -1 : static_cast<long>(n);
}

long ReceiveSome(SocketHandle s, char* buffer, std::size_t capacity) {
    ssize_t n;
    do {
        n = recv(Fd(s), buffer, capacity, 0);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? -1 : static_cast<long>(n);
}

int BindUdp(SocketHandle s, std::uint32_t address, std::uint16_t port) {
    const sockaddr_in sa = MakeAddress(address, port);
    return bind(Fd(s), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 ? 0 : -1;
}

long SendDatagram(SocketHandle s, const char* data, std::size_t size, std::uint32_t address,
                  std::uint16_t port) {
    const sockaddr_in sa = MakeAddress(address, port);
    ssize_t n;
    do {
        n = sendto(Fd(s), data, size, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&sa),
                   sizeof sa);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? -1 : static_cast<long>(n);
}

long ReceiveDatagram(SocketHandle s, char* buffer, std::size_t capacity, std::uint32_t* fromAddress,
                     std::uint16_t* fromPort) {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    ssize_t n;
    do {
        n = recvfrom(Fd(s), buffer, capacity, 0, reinterpret_cast<sockaddr*>(&sa), &len);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        return -1;
    }
    if (fromAddress) {
        *fromAddress = sa.sin_addr.s_addr;
    }
    if (fromPort) {
        *fromPort = ntohs(sa.sin_port);
    }
    return static_cast<long>(n);
}

int WaitReadable(SocketHandle s, int timeoutMs) {
    const int rc = WaitEitherReadable(s, kInvalidSocket, timeoutMs);
    return rc < 0 ? -1 : rc != 0 ? 1 : 0;
}

int WaitEitherReadable(SocketHandle first, SocketHandle second, int timeoutMs) {
    pollfd p[2]{};
    p[0].fd = Fd(first);
    p[0].events = POLLIN;
    p[1].fd = Fd(second);
    p[1].events = POLLIN;
    const nfds_t count = second == kInvalidSocket ? 1 : 2;
    int rc;
    do {
        rc = poll(p, count, timeoutMs < 0 ? 0 : timeoutMs);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0) {
        return -1;
    }
    // Any event counts (POLLERR, POLLHUP too): the next read tells what it was.
    return (p[0].revents != 0 ? kFirstReadable : 0) |
           (count == 2 && p[1].revents != 0 ? kSecondReadable : 0);
}

bool ParseIPv4(const std::string& text, std::uint32_t* address) {
    in_addr a{};
    if (inet_aton(text.c_str(), &a) == 0) {
        return false;
    }
    *address = a.s_addr;
    return true;
}

std::string FormatIPv4(std::uint32_t address) {
    char buffer[INET_ADDRSTRLEN] = {};
    in_addr a{};
    a.s_addr = address;
    inet_ntop(AF_INET, &a, buffer, sizeof buffer);
    return buffer;
}

}  // namespace platform
