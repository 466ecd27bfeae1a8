// WinSock 1.1. The socket headers come before <windows.h>, which would
// otherwise pull in the old winsock.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <climits>
#include <cstdio>

#include "platform/Socket.h"

namespace platform {

namespace {

SOCKET Sock(SocketHandle s) {
    return static_cast<SOCKET>(s);
}

SocketHandle Handle(SOCKET s) {
    return s == INVALID_SOCKET ? kInvalidSocket : static_cast<SocketHandle>(s);
}

sockaddr_in MakeAddress(std::uint32_t address, std::uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = address;
    return sa;
}

int ClampLength(std::size_t size) {
    return size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
}

// One part of a dotted address as inet_addr reads it: 0x.. hex, 0.. octal,
// otherwise decimal. False on no digits, a bad digit or an overflow.
bool ParsePart(const char*& p, std::uint32_t* value) {
    std::uint32_t base = 10;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        base = 16;
        p += 2;
    } else if (p[0] == '0' && p[1] >= '0' && p[1] <= '9') {
        base = 8;
    }
    std::uint64_t v = 0;
    int digits = 0;
    for (;; ++p, ++digits) {
        unsigned d;
        if (*p >= '0' && *p <= '9') {
            d = static_cast<unsigned>(*p - '0');
        } else if (base == 16 && *p >= 'a' && *p <= 'f') {
            d = static_cast<unsigned>(*p - 'a' + 10);
        } else if (base == 16 && *p >= 'A' && *p <= 'F') {
            d = static_cast<unsigned>(*p - 'A' + 10);
        } else {
            break;
        }
        if (d >= base) {
            return false;
        }
        v = v * base + d;
        if (v > 0xFFFFFFFFu) {
            return false;
        }
    }
    if (digits == 0) {
        return false;
    }
    *value = static_cast<std::uint32_t>(v);
    return true;
}

}  // namespace

int StartSocketLibrary() {
    static WSADATA data;
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0) {
        return -1;
    }
    if (data.wVersion != 0x0101) {
        // Another version would also need its own clean-up; none was wanted.
        WSACleanup();
        return -1;
    }
    return 0;
}

SocketHandle OpenTcpSocket() {
    return Handle(socket(AF_INET, SOCK_STREAM, 0));
}

SocketHandle OpenUdpSocket() {
    const SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s != INVALID_SOCKET) {
        // Without this, an ICMP port-unreachable for one unicast search copy
        // (a gateway without SSDP) makes the next recvfrom fail with
        // WSAECONNRESET and ends the search for everyone.
        const DWORD kSioUdpConnReset = 0x9800000C;  // _WSAIOW(IOC_VENDOR, 12)
        BOOL report = FALSE;
        DWORD returned = 0;
        WSAIoctl(s, kSioUdpConnReset, &report, sizeof report, nullptr, 0, &returned, nullptr,
                 nullptr);
    }
    return Handle(s);
}

void CloseSocket(SocketHandle s) {
    if (s != kInvalidSocket) {
        closesocket(Sock(s));
    }
}

bool InterruptBlockedCall(SocketHandle s) {
    // Closing is what makes a blocked WinSock call return; the handle is gone.
    if (s != kInvalidSocket) {
        closesocket(Sock(s));
    }
    return true;
}

int ConnectIPv4(SocketHandle s, std::uint32_t address, std::uint16_t port) {
    const sockaddr_in sa = MakeAddress(address, port);
    return connect(Sock(s), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 ? 0 : -1;
}

long SendSome(SocketHandle s, const char* data, std::size_t size) {
    const int n = send(Sock(s), data, ClampLength(size), 0);
    return n == SOCKET_ERROR ? -1 : n;
}

long ReceiveSome(SocketHandle s, char* buffer, std::size_t capacity) {
    const int n = recv(Sock(s), buffer, ClampLength(capacity), 0);
    return n == SOCKET_ERROR ? -1 : n;
}

int BindUdp(SocketHandle s, std::uint32_t address, std::uint16_t port) {
    const sockaddr_in sa = MakeAddress(address, port);
    return bind(Sock(s), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 ? 0 : -1;
}

long SendDatagram(SocketHandle s, const char* data, std::size_t size, std::uint32_t address,
                  std::uint16_t port) {
    const sockaddr_in sa = MakeAddress(address, port);
    const int n = sendto(Sock(s), data, ClampLength(size), 0,
                         reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    return n == SOCKET_ERROR ? -1 : n;
}

long ReceiveDatagram(SocketHandle s, char* buffer, std::size_t capacity, std::uint32_t* fromAddress,
                     std::uint16_t* fromPort) {
    sockaddr_in sa{};
    int len = sizeof sa;
    const int size = ClampLength(capacity);
    int n = recvfrom(Sock(s), buffer, size, 0, reinterpret_cast<sockaddr*>(&sa), &len);
    if (n == SOCKET_ERROR) {
        // A datagram larger than the buffer arrives cut, as on POSIX.
        if (WSAGetLastError() != WSAEMSGSIZE) {
            return -1;
        }
        n = size;
    }
    if (fromAddress) {
        *fromAddress = sa.sin_addr.s_addr;
    }
    if (fromPort) {
        *fromPort = ntohs(sa.sin_port);
    }
    return n;
}

int WaitReadable(SocketHandle s, int timeoutMs) {
    const int rc = WaitEitherReadable(s, kInvalidSocket, timeoutMs);
    return rc < 0 ? -1 : rc != 0 ? 1 : 0;
}

int WaitEitherReadable(SocketHandle first, SocketHandle second, int timeoutMs) {
    // fd_set is a list of handles on Windows, not a bit set, so two sockets
    // always fit whatever their numbers.
    fd_set readable;
    fd_set failed;
    FD_ZERO(&readable);
    FD_ZERO(&failed);
    for (const SocketHandle s : {first, second}) {
        if (s != kInvalidSocket) {
            FD_SET(Sock(s), &readable);
            FD_SET(Sock(s), &failed);
        }
    }
    if (timeoutMs < 0) {
        timeoutMs = 0;
    }
    timeval tv{};
    tv.tv_sec = timeoutMs / 1000;
    tv.tv_usec = (timeoutMs % 1000) * 1000;
    const int rc = select(0, &readable, nullptr, &failed, &tv);
    if (rc == SOCKET_ERROR) {
        return -1;
    }
    const auto ready = [&](SocketHandle s) {
        return s != kInvalidSocket &&
               (FD_ISSET(Sock(s), &readable) != 0 || FD_ISSET(Sock(s), &failed) != 0);
    };
    return (ready(first) ? kFirstReadable : 0) | (ready(second) ? kSecondReadable : 0);
}

bool ParseIPv4(const std::string& text, std::uint32_t* address) {
    // The forms inet_addr takes (a.b.c.d, a.b.c, a.b, a; each part decimal,
    // octal or hex), without its ambiguity for 255.255.255.255.
    std::uint32_t parts[4] = {};
    int count = 0;
    const char* p = text.c_str();
    for (;;) {
        if (count == 4 || !ParsePart(p, &parts[count])) {
            return false;
        }
        ++count;
        if (*p == '\0') {
            break;
        }
        if (*p != '.') {
            return false;
        }
        ++p;
    }
    for (int i = 0; i < count - 1; ++i) {
        if (parts[i] > 0xFF) {
            return false;
        }
    }
    const std::uint32_t lastLimit[] = {0xFFFFFFFFu, 0xFFFFFFu, 0xFFFFu, 0xFFu};
    if (parts[count - 1] > lastLimit[count - 1]) {
        return false;
    }
    std::uint32_t host = parts[count - 1];
    for (int i = 0; i < count - 1; ++i) {
        host |= parts[i] << (24 - 8 * i);
    }
    *address = htonl(host);
    return true;
}

std::string FormatIPv4(std::uint32_t address) {
    const std::uint32_t h = ntohl(address);
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%u.%u.%u.%u", (h >> 24) & 0xFFu, (h >> 16) & 0xFFu,
                  (h >> 8) & 0xFFu, h & 0xFFu);
    return buffer;
}

}  // namespace platform
