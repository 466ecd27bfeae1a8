#include "pcp/NatPmpPacket.h"

#include "pcp/ByteOrder.h"

namespace pcp {
namespace {

constexpr std::size_t kAddressAnswerSize = 12;
constexpr std::size_t kMapAnswerSize = 16;

std::uint8_t MapOpcode(Transport transport) {
    return transport == Transport::kUdp ? 1 : 2;
}

// The header of the answer to `opcode`, and the epoch of a success.
AnswerCheck ReadHeader(std::string_view d, std::uint8_t opcode, std::size_t successSize,
                       NatPmpAnswer* a) {
    *a = NatPmpAnswer();
    const AnswerCheck start =
        CheckAnswerStart(d, kNatPmpVersion, kNatPmpHeaderSize, opcode, &a->version, &a->opcode);
    if (start != AnswerCheck::kOk) {
        return start;
    }
    a->rawResult = U16At(d, 2);
    a->result = FromNatPmpResult(a->rawResult);
    if (a->rawResult != 0) {
        return AnswerCheck::kOk;
    }
    if (d.size() < successSize) {
        return AnswerCheck::kTooShort;
    }
    a->epoch = U32At(d, 4);
    return AnswerCheck::kOk;
}

}  // namespace

std::string NatPmpAddressRequest() {
    return std::string{static_cast<char>(kNatPmpVersion), static_cast<char>(kNatPmpOpAddress)};
}

std::string NatPmpMapRequest(Transport transport, std::uint16_t internalPort,
                             std::uint16_t externalPort, std::uint32_t lifetime) {
    std::string out;
    out.push_back(static_cast<char>(kNatPmpVersion));
    out.push_back(static_cast<char>(MapOpcode(transport)));
    PutU16(out, 0);
    PutU16(out, internalPort);
    PutU16(out, externalPort);
    PutU32(out, lifetime);
    return out;
}

AnswerCheck ReadNatPmpAddressAnswer(std::string_view d, NatPmpAnswer* a) {
    const AnswerCheck header = ReadHeader(d, kNatPmpOpAddress, kAddressAnswerSize, a);
    if (header == AnswerCheck::kOk && a->rawResult == 0) {
        a->externalAddress = IPv4At(d, 8);
    }
    return header;
}

AnswerCheck ReadNatPmpMapAnswer(std::string_view d, Transport transport, std::uint16_t internalPort,
                                NatPmpAnswer* a) {
    const AnswerCheck header = ReadHeader(d, MapOpcode(transport), kMapAnswerSize, a);
    if (header != AnswerCheck::kOk || a->rawResult != 0) {
        return header;
    }
    a->internalPort = U16At(d, 8);
    a->externalPort = U16At(d, 10);
    a->lifetime = U32At(d, 12);
    return a->internalPort == internalPort ? AnswerCheck::kOk : AnswerCheck::kOtherMapping;
}

}  // namespace pcp
