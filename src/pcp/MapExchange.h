// One mapping asked of the gateway, by PCP or NAT-PMP: the request sent again
// until an answer counts or the run's budget is over.
#pragma once

#include <cstdint>
#include <string>

#include "pcp/MappingTypes.h"
#include "pcp/ResultCode.h"

namespace pcp {

struct MapRequest {
    GatewayProtocol protocol = GatewayProtocol::kPcp;
    std::uint32_t gateway = 0;  // network order; answers count only from it
    std::uint16_t serverPort = kServerPort;
    Transport transport = Transport::kTcp;
    std::uint16_t internalPort = 0;
    // Suggested; the router may grant another. Never 0: RouterOS refuses that.
    std::uint16_t externalPort = 0;
    std::uint32_t lifetime = kRequestedLifetimeSeconds;  // 0 deletes the mapping
    Nonce nonce{};  // PCP: DeriveNonce, or the one kept from when it was made
};

enum class MapOutcome {
    kDone,        // granted (or, with lifetime 0, deleted)
    kRefused,     // the gateway answered with `code`
    kNoAnswer,    // no answer that counts within the budget
    kNoSocket,    // no UDP socket could be made
    kNoRoute,     // this machine has no address towards the gateway
    kSendFailed,  // the request could not be sent
};

struct MapResult {
    MapOutcome outcome = MapOutcome::kNoAnswer;
    // The protocol that answered: PCP asked of a NAT-PMP-only server is
    // asked again in NAT-PMP.
    GatewayProtocol protocol = GatewayProtocol::kNone;
    ResultCode code = ResultCode::kUnknown;
    unsigned rawCode = 0;               // as the server sent it
    std::uint16_t externalPort = 0;     // what the router really opened
    std::uint32_t lifetime = 0;         // seconds granted
    bool externalAddressKnown = false;  // PCP answers carry it, NAT-PMP's do not
    std::uint32_t externalAddress = 0;  // network order
    std::uint32_t clientAddress = 0;    // this machine's, as the request named it
    int requestsSent = 0;
};

// Sends the request, and again every 250 ms (PCP, as field clients do
// instead of RFC 6887's 3 s) or at 250 ms doubling (NAT-PMP), until an
// answer from gateway:serverPort passes its checks or the budget is over.
MapResult ExchangeMap(const MapRequest& request, const Budget& budget);

}  // namespace pcp
