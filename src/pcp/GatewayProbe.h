// Which of the default gateways speak PCP or NAT-PMP. Sent in the same instant
// as the SSDP search and read once that search has found nothing, so the
// UPnP path waits for nothing extra and the fallback finds its answers
// already there.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "pcp/GatewaySocket.h"
#include "pcp/MappingTypes.h"
#include "pcp/ResultCode.h"

namespace pcp {

// Decides from one answer of the gateway's port 5351 alone: a PCP server
// answers even a NAT-PMP request with version 2 in byte 0 (sometimes
// truncated right after); a NAT-PMP server answers PCP with version 0 and
// UNSUPP_VERSION, whose 4-byte header is all there may be. kNone for
// anything else.
GatewayProtocol SpokenProtocol(std::string_view answer);

struct GatewayAnswer {
    std::uint32_t gateway = 0;  // network order
    GatewayProtocol protocol = GatewayProtocol::kNone;
    bool pcpAnswered = false;      // the ANNOUNCE got an answer of either version
    bool addressAnswered = false;  // the NAT-PMP address request got a NAT-PMP answer
    ResultCode addressResult = ResultCode::kUnknown;
    std::uint32_t externalAddress = 0;  // from a successful address answer, network order
};

class GatewayProbe {
public:
    // `serverPort`: tests point it at a scripted server on loopback.
    explicit GatewayProbe(std::vector<std::uint32_t> gateways,
                          std::uint16_t serverPort = kServerPort);

    // A PCP ANNOUNCE and a NAT-PMP address request to each gateway, now, and
    // back at once. False when nothing could be sent (no socket, no gateway).
    bool Send();

    // Reads the answers until every gateway is settled or the budget is over,
    // sending again to the silent ones 250 ms after the first send, then at
    // doubling spaces (RFC 6886 §3.1). Answers from anything but a gateway's
    // server port are ignored. A budget already over still takes in the
    // answers that are waiting.
    void Collect(const Budget& budget);

    // The socket the answers come in on (kInvalidSocket before Send), for a
    // search that watches it while it listens.
    platform::SocketHandle Handle() const {
        return socket_ ? socket_->Handle() : platform::kInvalidSocket;
    }
    // Takes in the answers waiting now, without waiting or sending again;
    // true when that left nothing for Collect to wait for: every gateway is
    // settled and one speaks either protocol.
    bool TakeWaiting();

    // One entry per gateway, in the order given.
    const std::vector<GatewayAnswer>& Answers() const { return answers_; }
    // The first gateway that speaks either protocol (a gateway speaking both
    // is taken as PCP), or nullptr.
    const GatewayAnswer* Chosen() const;

private:
    bool SendTo(GatewayAnswer& to);
    void Take(std::uint32_t from, std::string_view datagram);
    static bool Settled(const GatewayAnswer& a);

    std::uint16_t serverPort_;
    std::vector<GatewayAnswer> answers_;
    std::unique_ptr<GatewaySocket> socket_;
    std::uint32_t sentAt_ = 0;
    unsigned resendSpaceMs_ = 250;
    unsigned nextResendMs_ = 250;  // after sentAt_
};

}  // namespace pcp
