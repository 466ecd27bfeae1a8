// The fallback of a run: no usable UPnP gateway on loopback, and the scripted
// NAT-PMP-only router answering the probe; and a run where both answer.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/PortSession.h"
#include "net/Ipv6Text.h"
#include "pcp/ByteOrder.h"
#include "platform/Clock.h"
#include "support/EventRecorder.h"
#include "support/LoopbackListener.h"
#include "support/ScriptedGateway.h"
#include "support/ScriptedNatPmpServer.h"

namespace {

using Reply = ScriptedNatPmpServer::MapReply;

// The mapping requests the router received, as "9090>24090/TCP 86400".
std::vector<std::string> MapRequests(const ScriptedNatPmpServer& server) {
    std::vector<std::string> out;
    for (const std::string& d : server.Received()) {
        if (d.size() == 12 && d[0] == 0 && (d[1] == 1 || d[1] == 2)) {
            out.push_back(std::to_string(pcp::U16At(d, 4)) + ">" +
                          std::to_string(pcp::U16At(d, 6)) + (d[1] == 2 ? "/TCP " : "/UDP ") +
                          std::to_string(pcp::U32At(d, 8)));
        }
    }
    return out;
}

class PcpSession : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(router_.Ready());
        ASSERT_TRUE(platform::ParseIPv4("1.2.3.4", &external_));
        router_.SetExternalAddress(external_);
        // The search goes to a bound UDP port that never answers.
        silent_ = platform::OpenUdpSocket();
        ASSERT_EQ(platform::BindUdp(silent_, loopback::Address(), 0), 0);
        noUpnp_.useMulticast = false;
        noUpnp_.useDefaultGateways = false;
        noUpnp_.extraTargets = {loopback::Address()};
        noUpnp_.port = loopback::LocalPort(silent_);
        noUpnp_.bindPort = 0;
        noUpnp_.listenMs = 300;
    }
    void TearDown() override { platform::CloseSocket(silent_); }

    PortSession& Fresh(const DiscoveryTargets& targets) {
        heard_.Clear();
        session_ = std::make_unique<PortSession>(heard_.Receiver());
        session_->targets = targets;
        session_->pcpGateways = {loopback::Address()};
        session_->pcpServerPort = router_.Port();
        session_->installSecret = "test installation";
        return *session_;
    }

    ScriptedNatPmpServer router_;
    std::uint32_t external_ = 0;
    platform::SocketHandle silent_ = platform::kInvalidSocket;
    DiscoveryTargets noUpnp_;
    EventRecorder heard_;
    std::unique_ptr<PortSession> session_;
};

}  // namespace

TEST_F(PcpSession, WithoutUpnpTheRulesGoToTheNatPmpRouterAndCloseWithLifetimeZero) {
    router_.ScriptMapReplies({Reply{0, 24555, false}, Reply{2, 0, false}});
    PortSession& s = Fresh(noUpnp_);
    s.Open("24090, 9090, TCP, web\r\n24091, 9091, udp, game\r\n9, 9, SCTP, x\r\n");

    const auto found = heard_.Of<session::PcpGatewayFound>();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].protocol, pcp::GatewayProtocol::kNatPmp);
    EXPECT_EQ(found[0].address, "127.0.0.1");
    EXPECT_EQ(heard_.Count<session::GatewayNotFound>(), 0);
    // The granted port, not the asked one, is what the run tells.
    const auto opened = heard_.Of<session::PcpRuleOpened>();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].externalPort, 24555);
    const auto failed = heard_.Of<session::PcpRuleFailed>();
    ASSERT_EQ(failed.size(), 2u);
    EXPECT_EQ(failed[0].code, pcp::ResultCode::kNotAuthorized);
    // SCTP is no protocol these requests carry: refused without a packet.
    EXPECT_EQ(failed[1].code, pcp::ResultCode::kUnsuppProtocol);
    const auto lifetime = heard_.Of<session::PcpLifetime>();
    ASSERT_EQ(lifetime.size(), 1u);
    EXPECT_EQ(lifetime[0].seconds, pcp::kRequestedLifetimeSeconds);
    const auto outside = heard_.Of<session::OutsideAddress>();
    ASSERT_EQ(outside.size(), 1u);
    EXPECT_EQ(outside[0].address, "1.2.3.4");
    EXPECT_EQ(MapRequests(router_),
              (std::vector<std::string>{"9090>24090/TCP 86400", "9091>24091/UDP 86400"}));

    // What this process mapped is all a listing can show.
    s.List();
    const auto listed = heard_.Of<session::PcpListed>();
    ASSERT_EQ(listed.size(), 1u);
    ASSERT_EQ(listed[0].mapped.size(), 1u);
    EXPECT_EQ(listed[0].mapped[0].externalPort, 24555);

    s.Close("24090, 9090, TCP, web\r\n");
    EXPECT_EQ(heard_.Count<session::RuleClosed>(), 1);
    EXPECT_EQ(MapRequests(router_).back(), "9090>24090/TCP 0");
    EXPECT_TRUE(s.Record().Entries().empty());
}

TEST_F(PcpSession, ARouterAnsweringOnlyTheProbeIsUsedOnceTheGraceIsOverNotAfterTheSearch) {
    DiscoveryTargets longSearch = noUpnp_;
    longSearch.listenMs = 8000;
    PortSession& s = Fresh(longSearch);
    const std::uint32_t start = platform::TickCount();
    s.Open("24090, 9090, TCP, web\r\n");
    // The grace (300 ms), far from the whole search even on a loaded machine.
    EXPECT_LT(platform::ElapsedSince(start), 4000u);
    EXPECT_EQ(heard_.Count<session::PcpGatewayFound>(), 1);
    EXPECT_EQ(heard_.Count<session::PcpRuleOpened>(), 1);
}

TEST_F(PcpSession, AUsableUpnpGatewayIsTakenAndTheProbeStaysUnread) {
    ScriptedGateway upnp;
    ASSERT_TRUE(upnp.Ready());
    // Slower than the probe's answer, as miniupnpd with all three on is.
    upnp.SetSearchAnswerDelay(100);
    PortSession& s = Fresh(upnp.Targets(8000));
    s.Open("24090, 9090, TCP, web\r\n");
    EXPECT_EQ(heard_.Count<session::GatewayFound>(), 1);
    EXPECT_EQ(heard_.Count<session::PcpGatewayFound>(), 0);
    EXPECT_EQ(heard_.Count<session::RuleOpened>(), 1);
    EXPECT_TRUE(MapRequests(router_).empty());
}

TEST_F(PcpSession, NeitherProtocolAnsweringEndsAsNotFound) {
    PortSession& s = Fresh(noUpnp_);
    s.pcpServerPort = loopback::LocalPort(silent_);
    s.Open("24090, 9090, TCP, web\r\n");
    EXPECT_EQ(heard_.Count<session::GatewayNotFound>(), 1);
    EXPECT_EQ(heard_.Count<session::PcpGatewayFound>(), 0);
    EXPECT_EQ(heard_.Count<session::RuleStarted>(), 0);
}

// On a MAP-E line the probe's address answer confirms the set; the router may
// grant another port than the rule's, and the one it granted is judged.
TEST_F(PcpSession, OnAMapELineTheGrantedPortIsJudged) {
    ASSERT_TRUE(platform::ParseIPv4("106.72.63.108", &external_));
    router_.SetExternalAddress(external_);
    router_.ScriptMapReplies({Reply{0, 7490, false}, Reply{0, 30000, false}});
    platform::LocalIpv6 v6plus;
    ASSERT_TRUE(net::ParseIPv6("240b:10:3f6c:d401::1234", &v6plus.address));
    DiscoveryTargets targets = noUpnp_;
    targets.localIpv6 = std::vector<platform::LocalIpv6>{v6plus};
    Fresh(targets).Open("8080, 8080, TCP, a\r\n7489, 7489, UDP, b");
    EXPECT_EQ(heard_.Count<session::LineFound>(), 1);
    const auto opened = heard_.Of<session::PcpRuleOpened>();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].externalPort, 7490);  // inside the set: fine
    const auto failed = heard_.Of<session::RuleFailed>();
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].result.outsideSet->port, 30000);
}
