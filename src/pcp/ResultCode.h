// What a PCP or NAT-PMP server answers to a request, named once for both.
#pragma once

#include <cstdint>

namespace pcp {

// PCP's result codes keep their numbers (RFC 6887 §7.4); NAT-PMP's (RFC 6886
// §3.5) are translated into them, so that callers explain one set of reasons.
enum class ResultCode : std::uint16_t {
    kSuccess = 0,
    kUnsuppVersion = 1,
    kNotAuthorized = 2,
    kMalformedRequest = 3,
    kUnsuppOpcode = 4,
    kUnsuppOption = 5,
    kMalformedOption = 6,
    kNetworkFailure = 7,
    kNoResources = 8,
    kUnsuppProtocol = 9,
    kUserExQuota = 10,
    kCannotProvideExternal = 11,
    kAddressMismatch = 12,
    kExcessiveRemotePeers = 13,
    kUnknown = 0xFFFF,  // a number neither protocol defines; the raw number is kept beside it
};

// A PCP result byte as the enum (kUnknown past 13).
ResultCode FromPcpResult(std::uint8_t code);
// A NAT-PMP result: 1 unsupported version, 2 not authorized, 3 network
// failure, 4 out of resources, 5 unsupported opcode.
ResultCode FromNatPmpResult(std::uint16_t code);

// The name the RFC gives it ("NOT_AUTHORIZED"), for logs and --verbose.
const char* ResultName(ResultCode code);

}  // namespace pcp
