// IPv4 port mappings over PCP or NAT-PMP on the default gateway that the
// session's probe found speaking one of them, when no UPnP gateway was
// usable: the sibling of UpnpIpv4Mapper for routers with UPnP switched off.
#pragma once

#include <cstdint>
#include <string>

#include "app/MadeMappings.h"
#include "app/PortMappingRule.h"
#include "pcp/GatewayProbe.h"
#include "pcp/MapExchange.h"

class PcpMapper {
public:
    // `budget` is the one deadline of the run's mappings; it and `made`
    // outlive the mapper. `secret` is the installation's (InstallSecret).
    PcpMapper(const pcp::GatewayAnswer& gateway, std::uint16_t serverPort, std::string secret,
              const pcp::Budget& budget, MadeMappings& made)
        : gateway_(gateway),
          serverPort_(serverPort),
          secret_(std::move(secret)),
          budget_(budget),
          made_(made) {}

    // Asks for the rule's mapping for kRequestedLifetimeSeconds (a renewal
    // when it stands already: the nonce is the same).
    pcp::MapResult Open(const PortMappingRule& rule);
    // Lifetime 0 with the nonce the mapping was made with.
    pcp::MapResult Close(const PortMappingRule& rule);

    // A rule that no request can carry: ports outside 1-65535 (an internal
    // port 0 would ask for all ports), or a protocol other than TCP and UDP.
    // Answered here, as the router would, with MALFORMED_REQUEST or
    // UNSUPP_PROTOCOL and raw code 0; nothing is sent.
    static bool Carried(const PortMappingRule& rule, pcp::MapResult* refusal);

private:
    pcp::MapResult Exchange(const PortMappingRule& rule, std::uint32_t lifetime);

    pcp::GatewayAnswer gateway_;
    std::uint16_t serverPort_;
    std::string secret_;
    const pcp::Budget& budget_;
    MadeMappings& made_;
};
