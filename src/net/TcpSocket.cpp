#include "net/TcpSocket.h"

#include <algorithm>
#include <cstring>

#include "app/texts/Catalog.h"
#include "net/Ipv6Text.h"
#include "net/StartWinsock.h"

namespace {
using texts::Msg;
constexpr texts::Message kWinsockUnusable{Msg::kNetWinsockUnusable};
constexpr texts::Message kNoSocket{Msg::kNetNoSocket};
constexpr texts::Message kLineDisconnected{Msg::kNetDisconnected};
constexpr texts::Message kReceiveFailed{Msg::kNetReceiveFailed};
constexpr texts::Message kSendFailed{Msg::kNetSendFailed};
constexpr texts::Message kTimedOut{Msg::kNetTimedOut};
}  // namespace

CTcpSocket::CTcpSocket() : received_(new char[kBufferSize]) {
    // A failure here shows at the first Connect, which tries again.
    StartWinsock();
}

CTcpSocket::~CTcpSocket() {
    Close();
}

int CTcpSocket::Create(bool ipv6) {
    if (StartWinsock() != 0) {
        Fail(kWinsockUnusable);
        return -1;
    }
    const platform::SocketHandle s = ipv6 ? platform::OpenTcpSocket6() : platform::OpenTcpSocket();
    if (s == platform::kInvalidSocket) {
        Fail(kNoSocket);
        return -3;
    }
    socket_ = s;
    open_ = 1;
    closed_ = 0;
    return 0;
}

int CTcpSocket::Connect(const std::string& host, int port) {
    Close();
    if (StartWinsock() != 0) {
        Fail(kWinsockUnusable);
        return -1;
    }
    std::uint32_t address = 0;
    if (!platform::ParseIPv4(host, &address) && !platform::ResolveIPv4(host, &address)) {
        Fail(texts::Format(Msg::kNetHostNotFound, {host}));
        return -2;
    }
    if (Create() != 0) {
        return -1;
    }
    return ConnectCreated(host + ":" + std::to_string(port), [&](platform::SocketHandle s) {
        return platform::ConnectIPv4(s, address, static_cast<std::uint16_t>(port));
    });
}

int CTcpSocket::ConnectIPv6(const platform::Ipv6Address& to, int port,
                            const platform::Ipv6Address& source) {
    Close();
    if (StartWinsock() != 0) {
        Fail(kWinsockUnusable);
        return -1;
    }
    if (Create(true) != 0) {
        return -1;
    }
    const std::string where = "[" + net::FormatIPv6(to) + "]:" + std::to_string(port);
    if (platform::BindIPv6(socket_, source, 0) != 0) {
        Fail(texts::Format(Msg::kNetSourceUnusable, {net::FormatIPv6(source)}));
        return -2;
    }
    return ConnectCreated(where, [&](platform::SocketHandle s) {
        return platform::ConnectIPv6(s, to, static_cast<std::uint16_t>(port));
    });
}

int CTcpSocket::ConnectCreated(const std::string& to,
                               const std::function<int(platform::SocketHandle)>& connect) {
    const platform::SocketHandle s = socket_;
    BeginTimedOperation(timeout_);
    const int rc = connect(s);
    EndTimedOperation();
    if (rc != 0 || TimedOut()) {
        Fail(texts::Format(Msg::kNetNoConnection, {to}));
        return -2;
    }
    closed_ = 0;
    return 0;
}

void CTcpSocket::Close() {
    // Leave the watchdog before the handle goes: once the registration is
    // gone no handler can reach for a number that may already be reused.
    EndTimedOperation();
    if (open_ == 1) {
        platform::CloseSocket(socket_);
        Forget();
    }
}

void CTcpSocket::Forget() {
    socket_ = platform::kInvalidSocket;
    open_ = 0;
    closed_ = 1;
    pending_ = 0;
}

void CTcpSocket::Fail(const std::string& text) {
    lastError_ = text;
    Close();
}

int CTcpSocket::Send(const char* data, int size) {
    if (IsClosed() == 1) {
        Fail(kLineDisconnected);
        return -1;
    }
    if (open_ != 1 || size < 0 || (data == nullptr && size > 0)) {
        Fail(kSendFailed);
        return -1;
    }
    const platform::SocketHandle s = socket_;
    const std::size_t total = static_cast<std::size_t>(size);
    std::size_t sent = 0;
    // A short count is continued with the rest: the block goes out whole or
    // the send fails. Each blocking call gets its own deadline.
    while (sent < total) {
        BeginTimedOperation(timeout_);
        const long n = platform::SendSome(s, data + sent, total - sent);
        EndTimedOperation();
        if (n <= 0 || TimedOut()) {
            Fail(kSendFailed);
            return -1;
        }
        sent += static_cast<std::size_t>(n);
    }
    return 0;
}

int CTcpSocket::SendText(const std::string& s) {
    return Send(s.data(), static_cast<int>(std::min<std::size_t>(s.size(), 0x7FFFFFFF)));
}

int CTcpSocket::Poll() {
    if (pending_ >= kBufferSize) {
        return 0;
    }
    const int ready = open_ == 1 ? platform::WaitReadable(socket_, 0) : -1;
    if (ready <= 0) {
        if (closed_ == 1) {
            Fail(kLineDisconnected);
            return -1;
        }
        return 0;
    }
    const platform::SocketHandle s = socket_;
    char* const into = received_.get() + pending_;
    const std::size_t room = static_cast<std::size_t>(kBufferSize - pending_);
    BeginTimedOperation(timeout_);
    const long n = platform::ReceiveSome(s, into, room);
    EndTimedOperation();
    if (n < 0 || TimedOut()) {
        Fail(kReceiveFailed);
        return -1;
    }
    if (n == 0) {
        closed_ = 1;
        return 0;
    }
    pending_ += static_cast<int>(n);
    return 0;
}

int CTcpSocket::Read(char* destination, int capacity) {
    const int polled = Poll();
    if (polled < 0 && pending_ == 0) {
        return -1;
    }
    const int count = std::min(std::max(capacity, 0), pending_);
    if (count > 0) {
        std::memcpy(destination, received_.get(), static_cast<std::size_t>(count));
        std::memmove(received_.get(), received_.get() + count,
                     static_cast<std::size_t>(pending_ - count));
        pending_ -= count;
    }
    return count;
}

int CTcpSocket::PeekBytes(char* destination, int capacity) {
    if (Poll() < 0) {
        return -1;
    }
    const int count = std::min(std::max(capacity, 0), pending_);
    if (count > 0) {
        std::memcpy(destination, received_.get(), static_cast<std::size_t>(count));
    }
    return count;
}

int CTcpSocket::Available() {
    const int polled = Poll();
    if (polled < 0 && pending_ == 0) {
        return -1;
    }
    return pending_;
}

int CTcpSocket::IsClosed() {
    char scratch[9];
    PeekBytes(scratch, sizeof scratch);
    return closed_;
}

int CTcpSocket::WaitForData(int timeoutMs) {
    // Bytes already taken into the buffer do not count: callers wait here for
    // more. A full buffer, a closed line or a missing socket end the wait at
    // once, since the next poll has something to tell.
    if (pending_ >= kBufferSize || closed_ == 1 || open_ != 1) {
        return 1;
    }
    return platform::WaitReadable(socket_, timeoutMs < 0 ? 0 : timeoutMs) == 0 ? 0 : 1;
}

void CTcpSocket::OnTimeout() {
    // Runs on the watchdog's thread while the owner is blocked in a call on
    // the socket. Where interrupting the call closes the handle (Windows)
    // the connection is closed here; elsewhere the socket is only shut down
    // and the owner's failing call closes it, exactly once.
    if (open_ == 1 && platform::InterruptBlockedCall(socket_)) {
        Forget();
    }
    EndTimedOperation();
    lastError_ = kTimedOut;
    CTimeoutClient::OnTimeout();
}

std::string CTcpSocket::LastErrorText() const {
    return lastError_;
}
