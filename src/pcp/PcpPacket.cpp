#include "pcp/PcpPacket.h"

#include <algorithm>

#include "pcp/ByteOrder.h"

namespace pcp {
namespace {

// ::ffff:a.b.c.d; the unspecified address stays ::ffff:0.0.0.0, which is how
// an IPv4 client says "no suggestion" (RFC 6887).
void PutMappedIPv4(std::string& out, std::uint32_t networkOrder) {
    out.append(10, '\0');
    out.append(2, '\xFF');
    PutIPv4(out, networkOrder);
}

void PutHeader(std::string& out, std::uint8_t opcode, std::uint32_t lifetime,
               std::uint32_t clientAddress) {
    out.push_back(static_cast<char>(kPcpVersion));
    out.push_back(static_cast<char>(opcode));
    PutU16(out, 0);
    PutU32(out, lifetime);
    PutMappedIPv4(out, clientAddress);
}

AnswerCheck ReadHeader(std::string_view d, std::uint8_t opcode, PcpAnswer* a) {
    const AnswerCheck start =
        CheckAnswerStart(d, kPcpVersion, kPcpHeaderSize, opcode, &a->version, &a->opcode);
    if (start != AnswerCheck::kOk) {
        return start;
    }
    if (d.size() > kPcpMaxSize || d.size() % 4 != 0) {
        return AnswerCheck::kBadLength;
    }
    a->rawResult = U8At(d, 3);
    a->result = FromPcpResult(a->rawResult);
    a->lifetime = U32At(d, 4);
    a->epoch = U32At(d, 8);
    return AnswerCheck::kOk;
}

}  // namespace

std::string PcpMapRequest(const PcpMapFields& f) {
    std::string out;
    out.reserve(kPcpMapSize);
    PutHeader(out, kPcpOpMap, f.lifetime, f.clientAddress);
    out.append(reinterpret_cast<const char*>(f.nonce.data()), f.nonce.size());
    out.push_back(static_cast<char>(f.transport));
    out.append(3, '\0');
    PutU16(out, f.internalPort);
    PutU16(out, f.externalPort);
    PutMappedIPv4(out, f.externalAddress);
    return out;
}

std::string PcpAnnounceRequest(std::uint32_t clientAddress) {
    std::string out;
    out.reserve(kPcpHeaderSize);
    PutHeader(out, kPcpOpAnnounce, 0, clientAddress);
    return out;
}

AnswerCheck ReadPcpAnnounceAnswer(std::string_view datagram, PcpAnswer* answer) {
    *answer = PcpAnswer();
    return ReadHeader(datagram, kPcpOpAnnounce, answer);
}

AnswerCheck ReadPcpMapAnswer(std::string_view d, const PcpMapFields& request, PcpAnswer* a) {
    *a = PcpAnswer();
    const AnswerCheck header = ReadHeader(d, kPcpOpMap, a);
    if (header != AnswerCheck::kOk) {
        return header;
    }
    if (d.size() < kPcpMapSize) {
        return a->result == ResultCode::kSuccess ? AnswerCheck::kTooShort : AnswerCheck::kOk;
    }
    const std::string_view body = d.substr(kPcpHeaderSize);
    if (!std::equal(request.nonce.begin(), request.nonce.end(), body.begin(),
                    [](std::uint8_t n, char c) { return n == static_cast<std::uint8_t>(c); })) {
        return AnswerCheck::kWrongNonce;
    }
    a->hasBody = true;
    a->transport = static_cast<Transport>(U8At(body, 12));
    a->internalPort = U16At(body, 16);
    a->externalPort = U16At(body, 18);
    static constexpr char kMappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, '\xFF', '\xFF'};
    a->externalIsIPv4 = body.substr(20, 12) == std::string_view(kMappedPrefix, 12);
    if (a->externalIsIPv4) {
        a->externalAddress = IPv4At(body, 32);
    }
    if (a->transport != request.transport || a->internalPort != request.internalPort) {
        return AnswerCheck::kOtherMapping;
    }
    return AnswerCheck::kOk;
}

}  // namespace pcp
