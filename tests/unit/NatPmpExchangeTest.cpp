// The probe and the mapping exchange against a NAT-PMP-only router on
// loopback: what they conclude and what the router received.
#include <gtest/gtest.h>

#include "pcp/ByteOrder.h"
#include "pcp/GatewayProbe.h"
#include "pcp/MapExchange.h"
#include "support/LoopbackListener.h"
#include "support/ScriptedNatPmpServer.h"

namespace {

using Reply = ScriptedNatPmpServer::MapReply;

pcp::MapRequest RequestTo(const ScriptedNatPmpServer& server, pcp::GatewayProtocol protocol) {
    pcp::MapRequest q;
    q.protocol = protocol;
    q.gateway = loopback::Address();
    q.serverPort = server.Port();
    q.internalPort = 9000;
    q.externalPort = 9000;
    q.nonce = {7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7};
    return q;
}

}  // namespace

TEST(NatPmpExchange, ProbeFindsNatPmpAndItsExternalAddress) {
    ScriptedNatPmpServer server;
    ASSERT_TRUE(server.Ready());
    std::uint32_t external = 0;
    platform::ParseIPv4("1.2.3.4", &external);
    server.SetExternalAddress(external);

    pcp::GatewayProbe probe({loopback::Address()}, server.Port());
    ASSERT_TRUE(probe.Send());
    probe.Collect(pcp::Budget(2000));
    const pcp::GatewayAnswer* chosen = probe.Chosen();
    ASSERT_NE(chosen, nullptr);
    EXPECT_EQ(chosen->protocol, pcp::GatewayProtocol::kNatPmp);
    EXPECT_TRUE(chosen->pcpAnswered);
    EXPECT_EQ(chosen->addressResult, pcp::ResultCode::kSuccess);
    EXPECT_EQ(chosen->externalAddress, external);
    const std::vector<std::string> got = server.Received();
    ASSERT_EQ(got.size(), 2u);  // settled at once: nothing sent again
    EXPECT_EQ(got[0].size(), 24u);
    EXPECT_EQ(got[1], std::string(2, '\0'));
}

struct ExchangeRow {
    const char* what;
    pcp::GatewayProtocol asked;
    pcp::Transport transport;
    unsigned pcpAnswerDelayMs;
    Reply reply;
    std::uint32_t lifetime;
    pcp::MapOutcome outcome;
    pcp::ResultCode code;
    std::uint16_t externalPort;
    std::size_t pcpRequests;  // PCP requests the router received before NAT-PMP
};

TEST(NatPmpExchange, MapsAsTheRouterAnswers) {
    using O = pcp::MapOutcome;
    using R = pcp::ResultCode;
    using P = pcp::GatewayProtocol;
    using T = pcp::Transport;
    // clang-format off
    const ExchangeRow rows[] = {
        {"PCP asked, version downgrade to NAT-PMP", P::kPcp, T::kTcp, 0, {}, 86400,
         O::kDone, R::kSuccess, 9000, 1},
        // The second UNSUPP_VERSION comes after the downgrade; its opcode 0x81 is UDP's.
        {"slow downgrade of a UDP mapping", P::kPcp, T::kUdp, 300, {}, 86400,
         O::kDone, R::kSuccess, 9000, 2},
        {"another external port granted", P::kNatPmp, T::kTcp, 0, {0, 42001}, 86400,
         O::kDone, R::kSuccess, 42001, 0},
        {"NOT_AUTHORIZED (UPnP switched off)", P::kNatPmp, T::kTcp, 0, {2}, 86400,
         O::kRefused, R::kNotAuthorized, 0, 0},
        {"a forged grant from another port first", P::kNatPmp, T::kTcp, 0, {0, 0, true}, 86400,
         O::kDone, R::kSuccess, 9000, 0},
        {"deleted", P::kPcp, T::kTcp, 0, {}, 0,
         O::kDone, R::kSuccess, 0, 1},
    };
    // clang-format on
    for (const ExchangeRow& row : rows) {
        SCOPED_TRACE(row.what);
        ScriptedNatPmpServer server;
        ASSERT_TRUE(server.Ready());
        server.ScriptMapReplies({row.reply});
        server.SetPcpAnswerDelay(row.pcpAnswerDelayMs);
        pcp::MapRequest q = RequestTo(server, row.asked);
        q.transport = row.transport;
        q.lifetime = row.lifetime;
        const pcp::MapResult r = pcp::ExchangeMap(q, pcp::Budget(3000));
        EXPECT_EQ(r.outcome, row.outcome);
        EXPECT_EQ(r.protocol, P::kNatPmp);
        EXPECT_EQ(r.code, row.code);
        EXPECT_EQ(r.externalPort, row.externalPort);
        EXPECT_EQ(r.lifetime, row.outcome == O::kDone ? row.lifetime : 0u);

        // The PCP requests first, then NAT-PMP ones (a slow router sees a resend too).
        const std::vector<std::string> got = server.Received();
        ASSERT_GT(got.size(), row.pcpRequests);
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].size(), i < row.pcpRequests ? 60u : 12u) << i;
            EXPECT_EQ(got[i][0], i < row.pcpRequests ? 2 : 0) << i;
        }
        const std::string& natPmp = got.back();
        ASSERT_EQ(natPmp.size(), 12u);
        EXPECT_EQ(natPmp[1], row.transport == T::kTcp ? 2 : 1);
        EXPECT_EQ(pcp::U16At(natPmp, 4), 9000);
        EXPECT_EQ(pcp::U16At(natPmp, 6), 9000);
        EXPECT_EQ(pcp::U32At(natPmp, 8), row.lifetime);
    }
}

TEST(NatPmpExchange, SilentGatewayEndsWithTheBudgetAfterDoublingResends) {
    ScriptedNatPmpServer server;
    ASSERT_TRUE(server.Ready());
    pcp::MapRequest q = RequestTo(server, pcp::GatewayProtocol::kNatPmp);
    q.serverPort = static_cast<std::uint16_t>(server.Port() ^ 1);  // nobody answers there
    const pcp::MapResult r = pcp::ExchangeMap(q, pcp::Budget(1000));
    EXPECT_EQ(r.outcome, pcp::MapOutcome::kNoAnswer);
    // At 0, 250 and 750 ms; a fourth would come at 1750.
    EXPECT_EQ(r.requestsSent, 3);
}
