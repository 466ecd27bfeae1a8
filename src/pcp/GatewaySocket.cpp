#include "pcp/GatewaySocket.h"

#include <algorithm>

#include "net/StartWinsock.h"
#include "pcp/PcpPacket.h"

namespace pcp {
namespace {

// Past the largest PCP packet (NAT-PMP's are smaller), so that a longer one
// is seen as too long instead of cut to a size that passes.
constexpr std::size_t kCapacity = kPcpMaxSize + 4;

}  // namespace

GatewaySocket::GatewaySocket() {
    // If the library cannot be started, the socket fails here and Usable says so.
    StartWinsock();
    s_ = platform::OpenUdpSocket();
    if (s_ != platform::kInvalidSocket && platform::BindUdp(s_, 0, 0) != 0) {
        platform::CloseSocket(s_);
        s_ = platform::kInvalidSocket;
    }
}

GatewaySocket::~GatewaySocket() {
    if (s_ != platform::kInvalidSocket) {
        platform::CloseSocket(s_);
    }
}

bool GatewaySocket::Send(std::uint32_t gateway, std::uint16_t port, const std::string& packet) {
    return Usable() && platform::SendDatagram(s_, packet.data(), packet.size(), gateway, port) ==
                           static_cast<long>(packet.size());
}

int GatewaySocket::Receive(const Budget& budget, unsigned waitMs, std::uint16_t serverPort,
                           std::string* datagram, std::uint32_t* from) {
    if (!Usable()) {
        return -1;
    }
    const Budget wait(std::min(waitMs, budget.RemainingMs()));
    char buffer[kCapacity];
    for (;;) {
        const int ready = platform::WaitReadable(s_, static_cast<int>(wait.RemainingMs()));
        if (ready <= 0) {
            return ready;
        }
        std::uint16_t port = 0;
        const long n = platform::ReceiveDatagram(s_, buffer, sizeof buffer, from, &port);
        if (n < 0) {
            // An ICMP port-unreachable from a gateway without a server ends up
            // here on some systems: that gateway is silent, nothing more.
            if (wait.Over()) {
                return 0;
            }
            continue;
        }
        if (port == serverPort) {
            datagram->assign(buffer, static_cast<std::size_t>(n));
            return 1;
        }
    }
}

}  // namespace pcp
