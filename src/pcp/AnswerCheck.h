#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pcp {

// Why a datagram from the gateway is not the answer to the request sent.
// Anything but kOk is dropped and the wait goes on, except kWrongVersion:
// that one says which protocol the server speaks.
enum class AnswerCheck {
    kOk,
    kTooShort,      // shorter than its header, or than the success it reports
    kBadLength,     // PCP: longer than 1100 bytes or not a multiple of 4
    kWrongVersion,  // the other protocol's version (see the packet's first byte)
    kNotAnAnswer,   // the response bit is clear: a request
    kWrongOpcode,   // the answer to another kind of request
    kWrongNonce,    // PCP: another client's (or an older) mapping
    kOtherMapping,  // another protocol or internal port than asked
};

// What both protocols' answers begin with: the version in byte 0, then (once
// there are `headerSize` bytes) the opcode of the request with the response
// bit set. `version` and `opcode` (without that bit) get what was read.
AnswerCheck CheckAnswerStart(std::string_view datagram, std::uint8_t expectedVersion,
                             std::size_t headerSize, std::uint8_t expectedOpcode,
                             std::uint8_t* version, std::uint8_t* opcode);

}  // namespace pcp
