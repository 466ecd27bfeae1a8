// PCP and NAT-PMP against miniupnpd with UPnP switched off: the probe finds
// the protocol, each mapping shows up in the router's ruleset, and closing
// (lifetime 0, the same nonce) takes it out again.
#include "LabEnv.h"

#include "pcp/GatewayProbe.h"
#include "pcp/MapExchange.h"
#include "pcp/MappingNonce.h"
#include "platform/Gateways.h"
#include "platform/Socket.h"

namespace {

constexpr unsigned kBudgetMs = 3000;

pcp::MapRequest LabRequest(pcp::GatewayProtocol protocol, pcp::Transport transport,
                           std::uint16_t internalPort, std::uint16_t externalPort) {
    pcp::MapRequest q;
    q.protocol = protocol;
    platform::ParseIPv4(lab::CurrentLab()->routerIp, &q.gateway);
    q.transport = transport;
    q.internalPort = internalPort;
    q.externalPort = externalPort;
    std::uint32_t host = 0;
    platform::ParseIPv4(lab::CurrentLab()->hostIp, &host);
    q.nonce = pcp::DeriveNonce(host, transport, internalPort, "lab installation");
    return q;
}

}  // namespace

TEST(LabPcp_Probe, TheGatewaySpeaksPcp) {
    PONTARO_REQUIRE_LAB_NATPMP();
    pcp::GatewayProbe probe(platform::DefaultGateways(10));
    ASSERT_TRUE(probe.Send());
    probe.Collect(pcp::Budget(kBudgetMs));
    const pcp::GatewayAnswer* chosen = probe.Chosen();
    ASSERT_NE(chosen, nullptr);
    EXPECT_EQ(platform::FormatIPv4(chosen->gateway), lab::CurrentLab()->routerIp);
    EXPECT_EQ(chosen->protocol, pcp::GatewayProtocol::kPcp);
}

struct LabMapRow {
    const char* what;
    pcp::GatewayProtocol protocol;
    pcp::Transport transport;
    const char* ruleProtocol;
    std::uint16_t internalPort;
    std::uint16_t externalPort;
};

TEST(LabPcp_Map, MappingReachesTheRulesetAndClosingRemovesIt) {
    PONTARO_REQUIRE_LAB_NATPMP();
    const lab::LabEnv& env = *lab::CurrentLab();
    const LabMapRow rows[] = {
        {"PCP, TCP", pcp::GatewayProtocol::kPcp, pcp::Transport::kTcp, "TCP", 9090, 24090},
        {"NAT-PMP, UDP", pcp::GatewayProtocol::kNatPmp, pcp::Transport::kUdp, "UDP", 9091, 24091},
    };
    for (const LabMapRow& row : rows) {
        SCOPED_TRACE(row.what);
        pcp::MapRequest q =
            LabRequest(row.protocol, row.transport, row.internalPort, row.externalPort);
        const pcp::MapResult made = pcp::ExchangeMap(q, pcp::Budget(kBudgetMs));
        ASSERT_EQ(made.outcome, pcp::MapOutcome::kDone) << pcp::ResultName(made.code);
        EXPECT_EQ(made.protocol, row.protocol);
        EXPECT_EQ(made.externalPort, row.externalPort);
        EXPECT_EQ(made.lifetime, pcp::kRequestedLifetimeSeconds);
        EXPECT_EQ(platform::FormatIPv4(made.clientAddress), env.hostIp);
        if (row.protocol == pcp::GatewayProtocol::kPcp) {
            ASSERT_TRUE(made.externalAddressKnown);
            EXPECT_EQ(platform::FormatIPv4(made.externalAddress), env.extIp);
        }
        EXPECT_TRUE(lab::RouterHasMapping(row.ruleProtocol, row.externalPort, env.hostIp,
                                          row.internalPort));

        if (row.protocol == pcp::GatewayProtocol::kPcp) {
            // Another process's nonce: miniupnpd keeps the mapping.
            pcp::MapRequest stranger = q;
            stranger.lifetime = 0;
            stranger.nonce[0] ^= 0xFF;
            const pcp::MapResult refused = pcp::ExchangeMap(stranger, pcp::Budget(kBudgetMs));
            EXPECT_EQ(refused.outcome, pcp::MapOutcome::kRefused);
            EXPECT_EQ(refused.code, pcp::ResultCode::kNotAuthorized);
            EXPECT_TRUE(lab::RouterHasMapping(row.ruleProtocol, row.externalPort, env.hostIp,
                                              row.internalPort));
        }

        // A later process closes it: the nonce comes out the same.
        q = LabRequest(row.protocol, row.transport, row.internalPort, row.externalPort);
        q.lifetime = 0;
        const pcp::MapResult closed = pcp::ExchangeMap(q, pcp::Budget(kBudgetMs));
        EXPECT_EQ(closed.outcome, pcp::MapOutcome::kDone) << pcp::ResultName(closed.code);
        EXPECT_EQ(closed.lifetime, 0u);
        EXPECT_FALSE(lab::RouterHasMapping(row.ruleProtocol, row.externalPort, env.hostIp,
                                           row.internalPort));
    }
}
