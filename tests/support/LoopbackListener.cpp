#include "support/LoopbackListener.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#endif

#include <cstring>
#include <random>

#include "net/StartWinsock.h"

namespace loopback {

namespace {

#ifdef _WIN32
using NativeSocket = SOCKET;
using AddressLength = int;
constexpr NativeSocket kNoSocket = INVALID_SOCKET;
constexpr int kStreamType = SOCK_STREAM;
void CloseNative(NativeSocket s) {
    closesocket(s);
}
#else
using NativeSocket = int;
using AddressLength = socklen_t;
constexpr NativeSocket kNoSocket = -1;
// Not inherited by the programs some tests start.
constexpr int kStreamType = SOCK_STREAM | SOCK_CLOEXEC;
void CloseNative(NativeSocket s) {
    close(s);
}
#endif

NativeSocket Native(platform::SocketHandle s) {
    return static_cast<NativeSocket>(s);
}

platform::SocketHandle Handle(NativeSocket s) {
    return s == kNoSocket ? platform::kInvalidSocket : static_cast<platform::SocketHandle>(s);
}

}  // namespace

std::uint32_t Address() {
    const unsigned char bytes[4] = {127, 0, 0, 1};
    std::uint32_t address = 0;
    std::memcpy(&address, bytes, sizeof address);
    return address;
}

platform::SocketHandle Listen(std::uint16_t* port, std::uint32_t address, std::uint16_t wanted) {
    StartWinsock();
    const NativeSocket s = socket(AF_INET, kStreamType, 0);
    if (s == kNoSocket) {
        return platform::kInvalidSocket;
    }
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(wanted);
    sa.sin_addr.s_addr = address;
    if (bind(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0 || listen(s, 8) != 0) {
        CloseNative(s);
        return platform::kInvalidSocket;
    }
    *port = LocalPort(Handle(s));
    return Handle(s);
}

platform::Ipv6Address Address6() {
    platform::Ipv6Address a;
    a.bytes[15] = 1;
    return a;
}

platform::SocketHandle Listen6(std::uint16_t wanted) {
    StartWinsock();
    const platform::SocketHandle s = platform::OpenTcpSocket6();
    if (s == platform::kInvalidSocket || platform::BindIPv6(s, Address6(), wanted) != 0 ||
        listen(Native(s), 8) != 0) {
        platform::CloseSocket(s);
        return platform::kInvalidSocket;
    }
    return s;
}

platform::SocketHandle Accept(platform::SocketHandle listener) {
    NativeSocket s;
#ifdef _WIN32
    s = accept(Native(listener), nullptr, nullptr);
#else
    do {
        s = accept4(Native(listener), nullptr, nullptr, SOCK_CLOEXEC);
    } while (s < 0 && errno == EINTR);
#endif
    return Handle(s);
}

std::uint16_t PortBelowEphemeral() {
    static std::mt19937 pick{std::random_device{}()};
    return static_cast<std::uint16_t>(std::uniform_int_distribution<int>(20000, 31999)(pick));
}

std::uint16_t LocalPort(platform::SocketHandle s) {
    sockaddr_in sa{};
    AddressLength length = sizeof sa;
    if (getsockname(Native(s), reinterpret_cast<sockaddr*>(&sa), &length) != 0) {
        return 0;
    }
    return ntohs(sa.sin_port);
}

bool SetReceiveBufferSize(platform::SocketHandle s, int bytes) {
    return setsockopt(Native(s), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes),
                      sizeof bytes) == 0;
}

void AcceptEach(platform::SocketHandle listener, const std::function<bool()>& stopping,
                const std::function<void(platform::SocketHandle)>& serve) {
    while (!stopping()) {
        if (platform::WaitReadable(listener, kSliceMs) != 1) {
            continue;
        }
        const platform::SocketHandle connection = Accept(listener);
        if (connection == platform::kInvalidSocket) {
            continue;
        }
        serve(connection);
        platform::CloseSocket(connection);
    }
}

bool SendAll(platform::SocketHandle connection, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const long n = platform::SendSome(connection, bytes.data() + sent, bytes.size() - sent);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

void Finish(std::thread& server, platform::SocketHandle& listener) {
    if (server.joinable()) {
        server.join();
    }
    if (listener != platform::kInvalidSocket) {
        platform::CloseSocket(listener);
        listener = platform::kInvalidSocket;
    }
}

}  // namespace loopback
