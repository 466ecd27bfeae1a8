// IPv6 sockets: the same calls on WinSock and BSD sockets, only the headers
// and a few types differ.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using NativeSocket = SOCKET;
using SockLength = int;
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
using NativeSocket = int;
using SockLength = socklen_t;
#endif

#include <climits>
#include <cstring>

#include "platform/Socket.h"

namespace platform {

namespace {

NativeSocket Native(SocketHandle s) {
    return static_cast<NativeSocket>(s);
}

SocketHandle Open(int type) {
#ifdef _WIN32
    const SOCKET s = socket(AF_INET6, type, 0);
    return s == INVALID_SOCKET ? kInvalidSocket : static_cast<SocketHandle>(s);
#else
    const int fd = socket(AF_INET6, type | SOCK_CLOEXEC, 0);
    return fd < 0 ? kInvalidSocket : fd;
#endif
}

sockaddr_in6 MakeAddress(const Ipv6Address& address, std::uint16_t port) {
    sockaddr_in6 sa{};
    sa.sin6_family = AF_INET6;
    sa.sin6_port = htons(port);
    std::memcpy(&sa.sin6_addr, address.bytes.data(), address.bytes.size());
    sa.sin6_scope_id = address.scopeId;
    return sa;
}

bool Interrupted() {
#ifdef _WIN32
    return WSAGetLastError() == WSAEINTR;
#else
    return errno == EINTR;
#endif
}

int Length(std::size_t size) {
    return size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
}

}  // namespace

SocketHandle OpenTcpSocket6() {
    return Open(SOCK_STREAM);
}

SocketHandle OpenUdpSocket6() {
    return Open(SOCK_DGRAM);
}

int BindIPv6(SocketHandle s, const Ipv6Address& address, std::uint16_t port) {
    const sockaddr_in6 sa = MakeAddress(address, port);
    return bind(Native(s), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 ? 0 : -1;
}

int ConnectIPv6(SocketHandle s, const Ipv6Address& address, std::uint16_t port) {
    const sockaddr_in6 sa = MakeAddress(address, port);
    int rc;
    do {
        rc = connect(Native(s), reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    } while (rc != 0 && Interrupted());
    return rc == 0 ? 0 : -1;
}

int SetMulticastInterface6(SocketHandle s, std::uint32_t interfaceIndex) {
    const unsigned int index = interfaceIndex;
    return setsockopt(Native(s), IPPROTO_IPV6, IPV6_MULTICAST_IF,
                      reinterpret_cast<const char*>(&index), sizeof index) == 0
               ? 0
               : -1;
}

long SendDatagram6(SocketHandle s, const char* data, std::size_t size, const Ipv6Address& to,
                   std::uint16_t port) {
    const sockaddr_in6 sa = MakeAddress(to, port);
    long n;
    do {
        n = static_cast<long>(sendto(Native(s), data, Length(size), 0,
                                     reinterpret_cast<const sockaddr*>(&sa), sizeof sa));
    } while (n < 0 && Interrupted());
    return n < 0 ? -1 : n;
}

long ReceiveDatagram6(SocketHandle s, char* buffer, std::size_t capacity, Ipv6Address* from,
                      std::uint16_t* fromPort) {
    sockaddr_in6 sa{};
    SockLength length = sizeof sa;
    long n;
    do {
        n = static_cast<long>(recvfrom(Native(s), buffer, Length(capacity), 0,
                                       reinterpret_cast<sockaddr*>(&sa), &length));
    } while (n < 0 && Interrupted());
    if (n < 0) {
        return -1;
    }
    if (from != nullptr) {
        std::memcpy(from->bytes.data(), &sa.sin6_addr, from->bytes.size());
        from->scopeId = sa.sin6_scope_id;
    }
    if (fromPort != nullptr) {
        *fromPort = ntohs(sa.sin6_port);
    }
    return n;
}

}  // namespace platform
