// The UDP socket one probe or one exchange talks to gateways through: bound to
// an ephemeral port, closed on every way out, and deaf to anyone but the
// gateways' server port.
#pragma once

#include <cstdint>
#include <string>

#include "pcp/MappingTypes.h"
#include "platform/Socket.h"

namespace pcp {

class GatewaySocket {
public:
    GatewaySocket();
    ~GatewaySocket();
    GatewaySocket(const GatewaySocket&) = delete;
    GatewaySocket& operator=(const GatewaySocket&) = delete;

    bool Usable() const { return s_ != platform::kInvalidSocket; }
    // For a wait that watches it beside other sockets.
    platform::SocketHandle Handle() const { return s_; }
    bool Send(std::uint32_t gateway, std::uint16_t port, const std::string& packet);

    // One datagram from port `serverPort` of any address, waiting at most until
    // `waitMs` have passed or the budget is over. 1 with `datagram` and `from`
    // filled, 0 when none came in time, -1 when the socket failed.
    int Receive(const Budget& budget, unsigned waitMs, std::uint16_t serverPort,
                std::string* datagram, std::uint32_t* from);

private:
    platform::SocketHandle s_;
};

}  // namespace pcp
