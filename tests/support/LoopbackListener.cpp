#include "support/LoopbackListener.h"

#include "net/StartWinsock.h"

namespace loopback {

std::uint32_t Address() {
    return platform::HostToNet32(0x7F000001);
}

platform::SocketHandle Listen(std::uint16_t* port) {
    StartWinsock();
    const platform::SocketHandle listener = platform::ListenTcp(Address(), 0, 8);
    if (listener != platform::kInvalidSocket) {
        *port = platform::LocalPort(listener);
    }
    return listener;
}

void AcceptEach(platform::SocketHandle listener, const std::function<bool()>& stopping,
                const std::function<void(platform::SocketHandle)>& serve) {
    while (!stopping()) {
        if (platform::WaitReadable(listener, kSliceMs) != 1) {
            continue;
        }
        const platform::SocketHandle connection = platform::AcceptConnection(listener);
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
