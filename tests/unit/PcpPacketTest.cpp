// PCP and NAT-PMP packets: the requests byte for byte, and which answers
// count. The answers are real ones (miniupnpd 2.3.1 in the lab, a TP-Link's
// 8-byte UNSUPP_VERSION) and the faults seen in the field.
#include <gtest/gtest.h>

#include <string>

#include "pcp/GatewayProbe.h"
#include "pcp/MappingNonce.h"
#include "pcp/NatPmpPacket.h"
#include "pcp/PcpPacket.h"
#include "platform/Socket.h"

namespace {

std::string FromHex(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

std::uint32_t V4(const char* text) {
    std::uint32_t a = 0;
    platform::ParseIPv4(text, &a);
    return a;
}

// The MAP request of the lab captures: TCP 9100 -> 9100 from 10.77.0.2.
pcp::PcpMapFields LabRequest() {
    pcp::PcpMapFields f;
    f.lifetime = 7200;
    f.clientAddress = V4("10.77.0.2");
    f.nonce = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    f.internalPort = 9100;
    f.externalPort = 9100;
    return f;
}

const std::string kHeader2c = "0281000000001c200000002c0000000000000000000000000102030405060708";
const std::string kMapTail = "090a0b0c06000000238c238c00000000000000000000ffff01020304";

}  // namespace

TEST(PcpPacket, RequestsAreLaidOutByteForByte) {
    pcp::PcpMapFields f = LabRequest();
    EXPECT_EQ(pcp::PcpMapRequest(f),
              FromHex("0201000000001c2000000000000000000000ffff0a4d0002"
                      "0102030405060708090a0b0c06000000238c238c00000000000000000000ffff00000000"));
    EXPECT_EQ(pcp::PcpAnnounceRequest(V4("10.77.0.2")),
              FromHex("020000000000000000000000000000000000ffff0a4d0002"));
    EXPECT_EQ(pcp::NatPmpAddressRequest(), FromHex("0000"));
    EXPECT_EQ(pcp::NatPmpMapRequest(pcp::Transport::kTcp, 9000, 9001, 86400),
              FromHex("000200002328232900015180"));
    EXPECT_EQ(pcp::NatPmpMapRequest(pcp::Transport::kUdp, 9000, 9000, 0),
              FromHex("000100002328232800000000"));
}

struct PcpAnswerRow {
    const char* what;
    std::string hex;
    pcp::AnswerCheck check;
    pcp::ResultCode result;
    std::uint16_t externalPort;
    std::uint32_t lifetime;
};

TEST(PcpPacket, MapAnswersCountOnlyWhenWholeAndForThisMapping) {
    using C = pcp::AnswerCheck;
    using R = pcp::ResultCode;
    const PcpAnswerRow rows[] = {
        {"miniupnpd grants", kHeader2c + kMapTail, C::kOk, R::kSuccess, 9100, 7200},
        {"miniupnpd deletes",
         "02810000000000000000002c0000000000000000000000000102030405060708" + kMapTail, C::kOk,
         R::kSuccess, 9100, 0},
        {"miniupnpd: client address not the source",
         "0281000c000000000000002c0000000000000000000000000102030405060708"
         "090a0b0c06000000238c238c00000000000000000000ffff00000000",
         C::kOk, R::kAddressMismatch, 9100, 0},
        {"error answer cut after the header", "02810002000000000000002c000000000000000000000000",
         C::kOk, R::kNotAuthorized, 0, 0},
        {"success cut after the header", kHeader2c.substr(0, 48), C::kTooShort, R::kSuccess, 0,
         7200},
        {"success cut inside the body", kHeader2c + kMapTail.substr(0, 40), C::kTooShort,
         R::kSuccess, 0, 7200},
        {"miniupnpd refuses a delete with another nonce",
         "02810002000000000000002c0000000000000000000000006302030405060708" + kMapTail,
         C::kWrongNonce, R::kNotAuthorized, 0, 0},
        {"another internal port",
         kHeader2c + "090a0b0c06000000238d238c00000000000000000000ffff01020304", C::kOtherMapping,
         R::kSuccess, 9100, 7200},
        {"UDP for a TCP request",
         kHeader2c + "090a0b0c11000000238c238c00000000000000000000ffff01020304", C::kOtherMapping,
         R::kSuccess, 9100, 7200},
        {"NAT-PMP server, 8 bytes (TP-Link Archer A7)", "008100010000002c", C::kWrongVersion,
         R::kUnknown, 0, 0},
        {"our own request echoed", "0201" + kHeader2c.substr(4) + kMapTail, C::kNotAnAnswer,
         R::kUnknown, 0, 0},
        {"an ANNOUNCE answer", "02800000000000000000002c000000000000000000000000", C::kWrongOpcode,
         R::kUnknown, 0, 0},
        {"length not a multiple of 4", kHeader2c + kMapTail + "00", C::kBadLength, R::kUnknown, 0,
         0},
        {"one byte", "02", C::kTooShort, R::kUnknown, 0, 0},
    };
    for (const PcpAnswerRow& row : rows) {
        SCOPED_TRACE(row.what);
        pcp::PcpAnswer a;
        EXPECT_EQ(pcp::ReadPcpMapAnswer(FromHex(row.hex), LabRequest(), &a), row.check);
        EXPECT_EQ(a.result, row.result);
        EXPECT_EQ(a.externalPort, row.externalPort);
        EXPECT_EQ(a.lifetime, row.lifetime);
    }
    pcp::PcpAnswer granted;
    ASSERT_EQ(pcp::ReadPcpMapAnswer(FromHex(kHeader2c + kMapTail), LabRequest(), &granted),
              pcp::AnswerCheck::kOk);
    EXPECT_TRUE(granted.externalIsIPv4);
    EXPECT_EQ(platform::FormatIPv4(granted.externalAddress), "1.2.3.4");
    EXPECT_EQ(granted.epoch, 44u);
}

struct NatPmpAnswerRow {
    const char* what;
    std::string hex;
    bool mapAnswer;  // else an address answer
    pcp::AnswerCheck check;
    pcp::ResultCode result;
    std::uint16_t externalPort;
    std::uint32_t lifetime;
};

TEST(NatPmpPacket, AnswersCountWithTheirHeaderWhenTheyRefuse) {
    using C = pcp::AnswerCheck;
    using R = pcp::ResultCode;
    const NatPmpAnswerRow rows[] = {
        {"miniupnpd's address", "008000000000002c01020304", false, C::kOk, R::kSuccess, 0, 0},
        {"address cut short", "008000000000002c0102", false, C::kTooShort, R::kSuccess, 0, 0},
        {"refusal in 4 bytes", "00800003", false, C::kOk, R::kNetworkFailure, 0, 0},
        {"mapping granted on another port", "008200000000002c2328a41100015180", true, C::kOk,
         R::kSuccess, 42001, 86400},
        {"NOT_AUTHORIZED, 8 bytes", "008200020000002c", true, C::kOk, R::kNotAuthorized, 0, 0},
        {"out of resources", "0082000400000000", true, C::kOk, R::kNoResources, 0, 0},
        {"a code no RFC names", "0082000900000000", true, C::kOk, R::kUnknown, 0, 0},
        {"mapping cut short", "008200000000002c2328a411", true, C::kTooShort, R::kSuccess, 0, 0},
        {"another internal port", "008200000000002c2329a41100015180", true, C::kOtherMapping,
         R::kSuccess, 42001, 86400},
        {"UDP answer to TCP", "008100000000002c2328a41100015180", true, C::kWrongOpcode,
         R::kUnknown, 0, 0},
        {"PCP server, truncated", "02810001", true, C::kWrongVersion, R::kUnknown, 0, 0},
        {"three bytes", "008200", true, C::kTooShort, R::kUnknown, 0, 0},
    };
    for (const NatPmpAnswerRow& row : rows) {
        SCOPED_TRACE(row.what);
        pcp::NatPmpAnswer a;
        const std::string d = FromHex(row.hex);
        EXPECT_EQ(row.mapAnswer ? pcp::ReadNatPmpMapAnswer(d, pcp::Transport::kTcp, 9000, &a)
                                : pcp::ReadNatPmpAddressAnswer(d, &a),
                  row.check);
        EXPECT_EQ(a.result, row.result);
        EXPECT_EQ(a.externalPort, row.externalPort);
        EXPECT_EQ(a.lifetime, row.lifetime);
    }
}

TEST(GatewayProbe, TheFirstByteOrTheHeaderTellsTheProtocol) {
    using P = pcp::GatewayProtocol;
    const std::pair<std::string, P> rows[] = {
        {"02800000000000000000002c000000000000000000000000", P::kPcp},  // miniupnpd's ANNOUNCE
        {"0281", P::kPcp},  // a PCP server's truncated answer to NAT-PMP
        {"008000000000002c01020304", P::kNatPmp},
        {"008100010000002c", P::kNatPmp},  // TP-Link's UNSUPP_VERSION to PCP
        {"008100", P::kNone},              // not even a header
        {"0000", P::kNone},                // a request
        {"01800000", P::kNone},            // no version either protocol has
        {"", P::kNone},
    };
    for (const auto& [hex, protocol] : rows) {
        EXPECT_EQ(pcp::SpokenProtocol(FromHex(hex)), protocol) << hex;
    }
}

TEST(MappingNonce, StaysForOneMappingAndDiffersBetweenMappings) {
    const auto nonce = [](const char* address, pcp::Transport t, std::uint16_t port,
                          const char* secret) {
        return pcp::DeriveNonce(V4(address), t, port, secret);
    };
    const pcp::Nonce base = nonce("10.77.0.2", pcp::Transport::kTcp, 9000, "install-1");
    EXPECT_EQ(base, nonce("10.77.0.2", pcp::Transport::kTcp, 9000, "install-1"));
    // Fixed across platforms and builds: a later version still deletes the mapping.
    EXPECT_EQ(base, (pcp::Nonce{0x24, 0x59, 0x3a, 0xc7, 0x17, 0xb6, 0x82, 0x04, 0x29, 0xf4, 0xff, 0x3b}));
    EXPECT_NE(base, nonce("10.77.0.3", pcp::Transport::kTcp, 9000, "install-1"));
    EXPECT_NE(base, nonce("10.77.0.2", pcp::Transport::kUdp, 9000, "install-1"));
    EXPECT_NE(base, nonce("10.77.0.2", pcp::Transport::kTcp, 9001, "install-1"));
    EXPECT_NE(base, nonce("10.77.0.2", pcp::Transport::kTcp, 9000, "install-2"));
}
