// NAT-PMP (RFC 6886) requests and the checks an answer passes before it counts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "pcp/AnswerCheck.h"
#include "pcp/MappingTypes.h"
#include "pcp/ResultCode.h"

namespace pcp {

inline constexpr std::uint8_t kNatPmpVersion = 0;
inline constexpr std::uint8_t kNatPmpOpAddress = 0;
inline constexpr std::size_t kNatPmpHeaderSize = 4;

// 2 bytes: version 0, opcode 0.
std::string NatPmpAddressRequest();
// 12 bytes: opcode 1 (UDP) or 2 (TCP); lifetime 0 deletes the mapping.
std::string NatPmpMapRequest(Transport transport, std::uint16_t internalPort,
                             std::uint16_t externalPort, std::uint32_t lifetime);

struct NatPmpAnswer {
    std::uint8_t version = 0;
    std::uint8_t opcode = 0;  // without the response bit
    std::uint16_t rawResult = 0;
    ResultCode result = ResultCode::kUnknown;
    std::uint32_t epoch = 0;
    std::uint32_t externalAddress = 0;  // address answers; network order
    std::uint16_t internalPort = 0;     // map answers
    std::uint16_t externalPort = 0;
    std::uint32_t lifetime = 0;
};

// An error answer counts with its 4-byte header alone (a TP-Link sends 8
// bytes); a success must be whole: 12 bytes for the address, 16 for a
// mapping, whose protocol and internal port must be the request's.
AnswerCheck ReadNatPmpAddressAnswer(std::string_view datagram, NatPmpAnswer* answer);
AnswerCheck ReadNatPmpMapAnswer(std::string_view datagram, Transport transport,
                                std::uint16_t internalPort, NatPmpAnswer* answer);

}  // namespace pcp
