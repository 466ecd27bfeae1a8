// Name resolution and the local address: the same calls on
// WinSock and BSD sockets, only the headers differ.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using NativeSocket = SOCKET;
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
using NativeSocket = int;
#endif

#include "platform/Socket.h"

namespace platform {

bool ResolveIPv4(const std::string& host, std::uint32_t* address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &result) != 0 || result == nullptr) {
        return false;
    }
    bool found = false;
    for (addrinfo* ai = result; ai != nullptr; ai = ai->ai_next) {
        if (ai->ai_family == AF_INET && ai->ai_addr != nullptr) {
            *address = reinterpret_cast<const sockaddr_in*>(ai->ai_addr)->sin_addr.s_addr;
            found = true;
            break;
        }
    }
    freeaddrinfo(result);
    return found;
}

bool GetLocalHostName(std::string* name) {
    char buffer[256] = {};
    if (gethostname(buffer, sizeof buffer - 1) != 0) {
        return false;
    }
    *name = buffer;
    return true;
}

bool LocalAddressTowards(std::uint32_t remote, std::uint32_t* local) {
    const SocketHandle s = OpenUdpSocket();
    if (s == kInvalidSocket) {
        return false;
    }
    // Connecting a UDP socket only picks the route; nothing is sent.
    bool ok = false;
    if (ConnectIPv4(s, remote, 1900) == 0) {
        sockaddr_in me{};
        socklen_t len = sizeof me;
        if (getsockname(static_cast<NativeSocket>(s), reinterpret_cast<sockaddr*>(&me), &len) ==
                0 &&
            me.sin_addr.s_addr != 0) {
            *local = me.sin_addr.s_addr;
            ok = true;
        }
    }
    CloseSocket(s);
    return ok;
}

}  // namespace platform
