// PCP (RFC 6887) requests and the checks an answer passes before it counts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "pcp/AnswerCheck.h"
#include "pcp/MappingTypes.h"
#include "pcp/ResultCode.h"

namespace pcp {

inline constexpr std::uint8_t kPcpVersion = 2;
inline constexpr std::uint8_t kPcpOpAnnounce = 0;
inline constexpr std::uint8_t kPcpOpMap = 1;
inline constexpr std::size_t kPcpHeaderSize = 24;
inline constexpr std::size_t kPcpMapSize = 60;
inline constexpr std::size_t kPcpMaxSize = 1100;

// What a MAP request asks for; lifetime 0 deletes the mapping of `nonce`.
struct PcpMapFields {
    std::uint32_t lifetime = kRequestedLifetimeSeconds;
    std::uint32_t clientAddress = 0;  // network order; must be the packet's source
    Nonce nonce{};
    Transport transport = Transport::kTcp;
    std::uint16_t internalPort = 0;
    std::uint16_t externalPort = 0;     // suggested
    std::uint32_t externalAddress = 0;  // suggested; 0 for none
};

// 60 bytes: header (version 2, opcode 1) and MAP body, IPv4 as ::ffff:a.b.c.d.
std::string PcpMapRequest(const PcpMapFields& fields);
// 24 bytes: the header alone, opcode 0, lifetime 0.
std::string PcpAnnounceRequest(std::uint32_t clientAddress);

struct PcpAnswer {
    std::uint8_t version = 0;
    std::uint8_t opcode = 0;  // without the response bit
    std::uint8_t rawResult = 0;
    ResultCode result = ResultCode::kUnknown;
    std::uint32_t lifetime = 0;
    std::uint32_t epoch = 0;
    // MAP body, when the answer carries one.
    bool hasBody = false;
    Transport transport = Transport::kTcp;
    std::uint16_t internalPort = 0;
    std::uint16_t externalPort = 0;
    bool externalIsIPv4 = false;        // the assigned address is ::ffff:a.b.c.d
    std::uint32_t externalAddress = 0;  // network order, when externalIsIPv4
};

// The answer to `request`. A success must be a whole MAP answer with the
// request's nonce, protocol and internal port; an error answer may stop after
// the header (servers truncate them), but when it has a body its nonce must
// match too. `answer` holds what was read up to the failed check.
AnswerCheck ReadPcpMapAnswer(std::string_view datagram, const PcpMapFields& request,
                             PcpAnswer* answer);
// The answer to an ANNOUNCE: the header alone.
AnswerCheck ReadPcpAnnounceAnswer(std::string_view datagram, PcpAnswer* answer);

}  // namespace pcp
