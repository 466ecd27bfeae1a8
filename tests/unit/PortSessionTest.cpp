// A run's work against a scripted gateway on loopback (searched alone: no
// multicast, no default gateways), told by the session's events.
#include "app/PortSession.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/ActivityLog.h"
#include "app/LogWriter.h"
#include "app/PortMappingRule.h"
#include "net/Ipv6Text.h"
#include "support/EventRecorder.h"
#include "support/LoopbackListener.h"
#include "support/RecordEntries.h"
#include "support/ScriptedGateway.h"

using namespace activity_log;

namespace {

class Session : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(gateway_.Ready()); }

    // A session of its own (nothing made yet) whose runs search only `gateway`.
    PortSession& Fresh(ScriptedGateway* gateway = nullptr) {
        heard_.Clear();
        session_ = std::make_unique<PortSession>(heard_.Receiver());
        session_->targets = (gateway != nullptr ? *gateway : gateway_).Targets(1500);
        return *session_;
    }
    // The rules' outcomes as the log tells them (what follows each rule's
    // start on its line, and the lines under it).
    std::string Told() const {
        std::string told;
        LogWriter writer([&told](const std::string& t) { told += t; });
        for (const session::Event& e : heard_.events) {
            if (std::holds_alternative<session::RuleOpened>(e) ||
                std::holds_alternative<session::RuleFailed>(e)) {
                writer(e);
            }
        }
        return told;
    }
    std::vector<std::string> RulesStarted() const {
        std::vector<std::string> rules;
        for (const session::RuleStarted& e : heard_.Of<session::RuleStarted>()) {
            rules.push_back(e.rule.externalPort + "->" + e.rule.internalPort + "/" +
                            e.rule.protocol);
        }
        return rules;
    }

    ScriptedGateway gateway_;
    EventRecorder heard_;
    std::unique_ptr<PortSession> session_;
};

}  // namespace

TEST_F(Session, OutsideAddressFollowsTheRulesOnceOneIsMapped) {
    using Reply = ScriptedGateway::SoapReply;
    const auto address = [](const char* a) {
        return Reply{200, "", "", {{"NewExternalIPAddress", a}}};
    };
    struct Case {
        Reply reply;
        std::vector<std::string> told;  // the outside addresses the run tells
    };
    const Case cases[] = {
        {address("1.2.3.4"), {"1.2.3.4"}},
        {address(""), {""}},
        {address("10.1.2.3"), {"10.1.2.3"}},
        {Reply{501, "501", "Action Failed", {}}, {}},
        {Reply{}, {}},  // a response without the address
    };
    for (const Case& c : cases) {
        gateway_.ScriptActionReplies("GetExternalIPAddress", {c.reply});
        const std::size_t before = gateway_.ActionPosts().size();
        Fresh().Open("80, 80, TCP, a\r\n81, 81, TCP, b");
        std::vector<std::string> told;
        for (const session::OutsideAddress& e : heard_.Of<session::OutsideAddress>()) {
            told.push_back(e.address);
            EXPECT_TRUE(e.warnIfNotPublic);
        }
        EXPECT_EQ(told, c.told);
        EXPECT_EQ(heard_.Count<session::RuleOpened>(), 2);
        EXPECT_EQ(gateway_.ActionPosts().size() - before, 3u);  // two rules, one question
        // After the rules, before the run's end.
        EXPECT_TRUE(std::holds_alternative<session::RunEnded>(heard_.events.back()));
        if (!c.told.empty()) {
            EXPECT_TRUE(std::holds_alternative<session::OutsideAddress>(
                heard_.events[heard_.events.size() - 2]));
        }
    }

    // No rule mapped: nothing is asked.
    gateway_.ScriptSoapReplies({{500, "606", "Action not authorized"}});
    gateway_.ScriptActionReplies("GetExternalIPAddress", {address("1.2.3.4")});
    const std::size_t before = gateway_.ActionPosts().size();
    Fresh().Open("8080, 8080, TCP, a");
    EXPECT_EQ(gateway_.ActionPosts().size() - before, 1u);
    EXPECT_EQ(heard_.Count<session::OutsideAddress>(), 0);
}

TEST_F(Session, BlankOrIncompleteLineEndsTheListSilently) {
    struct Case {
        const char* rules;
        std::vector<std::string> applied;
    };
    const std::vector<std::string> one = {"80->80/TCP"};
    for (const Case& c :
         {Case{"", {}}, Case{"80, 80, TCP, a\r\n\r\n21, 21, TCP, b", one},
          Case{"80, 80, TCP, a\r\n21, 21, TCP\r\n22, 22, TCP, c", one},
          Case{"80, 80, TCP, a\r\n,,,\r\n22, 22, TCP, c", one},
          Case{"80, 80, TCP,  \r\n22, 22, TCP, c", {}}, Case{"80, 80, TCP, a\r\n\r\n\r\n", one}}) {
        const std::size_t postsBefore = gateway_.Posts().size();
        Fresh().Open(c.rules);
        EXPECT_EQ(RulesStarted(), c.applied) << c.rules;
        EXPECT_EQ(heard_.Count<session::RuleOpened>(), static_cast<int>(c.applied.size()));
        EXPECT_EQ(heard_.Count<session::RuleFailed>(), 0) << c.rules;
        EXPECT_EQ(heard_.Count<session::RunEnded>(), 1) << c.rules;
        EXPECT_EQ(gateway_.Posts().size() - postsBefore, c.applied.size()) << c.rules;
    }
}

TEST_F(Session, ADevicePassedOverIsToldBeforeTheGatewayTaken) {
    ScriptedGateway network(std::vector<ScriptedGateway::Device>{
        {"/WFADevice.xml",
         "<?xml version=\"1.0\"?><root xmlns=\"urn:schemas-upnp-org:device-1-0\"><device>"
         "<serviceList><service><serviceType>urn:schemas-wifialliance-org:service:"
         "WFAWLANConfig:1</serviceType><controlURL>/wps</controlURL></service></serviceList>"
         "</device></root>",
         {}},
        {}});
    ASSERT_TRUE(network.Ready());
    Fresh(&network).Open("80, 80, TCP, a");
    ASSERT_GE(heard_.events.size(), 3u);
    const auto* passed = std::get_if<session::GatewayPassedOver>(&heard_.events[1]);
    ASSERT_NE(passed, nullptr);
    EXPECT_EQ(passed->location, network.Url("/WFADevice.xml"));
    EXPECT_EQ(passed->reason.step, FailureReason::Step::kNoService);
    EXPECT_EQ(heard_.Count<session::GatewayPassedOver>(), 1);
    const auto found = heard_.Of<session::GatewayFound>();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].address, "127.0.0.1");
    EXPECT_EQ(found[0].location, network.Location());
    EXPECT_TRUE(std::holds_alternative<session::GatewayFound>(heard_.events[2]));
    EXPECT_EQ(heard_.Count<session::RuleOpened>(), 1);
}

TEST_F(Session, RefusedRuleGetsItsReasonAndATakenPortItsHolder) {
    using Reply = ScriptedGateway::SoapReply;
    CRouterDevice probe;
    probe.address = IpAddress(loopback::Address());
    const std::string self = probe.GetLocalAddress().ToText();
    const auto holder = [](const std::string& client, const char* port) {
        return HolderReply(client, port, "web");
    };
    const Reply taken{500, "718", "ConflictInMappingEntry"};
    const Reply badArgs{500, "402", "Invalid Args"};
    struct Case {
        std::vector<Reply> adds;
        std::vector<Reply> holders;
        std::string outcome;  // the rest of the rule's line and the line under it
        std::vector<std::string> leases;
    };
    const std::string why = std::string(kFailure) + "  理由: ";
    for (const Case& c : {
             Case{{taken},
                  {holder("192.168.77.3", "8080")},
                  why + "ポート 8080/TCP は 192.168.77.3:8080 (説明: web) に割り当て済みです "
                        "(UPnPエラー 718)。",
                  {"0"}},
             Case{
                 {taken},
                 {holder(self, "8080")},
                 std::string(kSuccess) + "  ※ ルータにはこの割り当てがすでにあります (説明: web)。",
                 {"0"}},
             Case{{taken},
                  {holder(self, "9090")},
                  why + "ポート 8080/TCP は " + self +
                      ":9090 (説明: web) に割り当て済みです (UPnPエラー 718)。",
                  {"0"}},
             Case{{taken},
                  {Reply{500, "714", "NoSuchEntryInArray"}},
                  why + "ポート 8080/TCP はすでに別の割り当てに使われています (UPnPエラー 718)。",
                  {"0"}},
             // A refused permanent lease is asked once more for a week; nothing else is retried.
             Case{{badArgs}, {}, kSuccess, {"0", "604800"}},
             Case{{badArgs, badArgs},
                  {},
                  why + "ルータが要求の値を受け付けませんでした",
                  {"0", "604800"}},
             Case{{Reply{500, "501", "Action Failed"}}, {}, why + "ルータがポートの転送を", {"0"}},
         }) {
        gateway_.ScriptSoapReplies(c.adds);
        gateway_.ScriptActionReplies("GetSpecificPortMappingEntry", c.holders);
        const std::size_t before = gateway_.Posts().size();
        Fresh().Open("8080, 8080, TCP, mine");
        const std::string told = Told();
        EXPECT_EQ(told.compare(0, c.outcome.size(), c.outcome), 0) << told;
        EXPECT_EQ(heard_.Count<session::RuleStarted>(), 1);
        std::vector<std::string> failures;
        for (const session::RuleFailed& e : heard_.Of<session::RuleFailed>()) {
            failures.push_back(e.result.failure.upnpErrorCode);
        }
        std::vector<std::string> leases;
        const auto posts = gateway_.Posts();
        for (std::size_t i = before; i < posts.size(); ++i) {
            leases.push_back(SoapArgument(posts[i], "NewLeaseDuration"));
        }
        EXPECT_EQ(leases, c.leases) << c.outcome;
        // The event tells why the mapping was refused, not the holder question.
        const bool failed = c.outcome.rfind(kFailure, 0) == 0;
        EXPECT_EQ(heard_.Count<session::RuleFailed>(), failed ? 1 : 0) << c.outcome;
        EXPECT_EQ(failures, failed ? std::vector<std::string>{c.adds.back().errorCode}
                                   : std::vector<std::string>{})
            << c.outcome;
    }
}

TEST_F(Session, OnlyOurOwnMappingForAnEarlierAddressIsMovedToThisOne) {
    using Reply = ScriptedGateway::SoapReply;
    CRouterDevice probe;
    probe.address = IpAddress(loopback::Address());
    const std::string self = probe.GetLocalAddress().ToText();
    const auto holder = HolderReply;
    const Reply taken{500, "718", "ConflictInMappingEntry"};
    const std::string why = std::string(kFailure) + "  理由: ポート 8080/TCP は ";
    const std::vector<std::string> asked = {"AddPortMapping", "GetSpecificPortMappingEntry"};
    std::vector<std::string> moved = asked;
    moved.insert(moved.end(), {"DeletePortMapping", "AddPortMapping"});
    struct Case {
        const char* made;  // a rule this process mapped earlier, or empty
        std::vector<Reply> adds;
        Reply holder;
        std::vector<Reply> deletes;
        std::string outcome;  // the rest of the rule's line and the line under it
        std::vector<std::string> actions;
        std::string remembered;  // the client remembered for 8080/TCP afterwards
    };
    const std::string leftAlone = " に割り当て済みです (UPnPエラー 718)。\r\n";
    const std::string movedHere =
        std::string(kSuccess) +
        "  ※ 以前のアドレス (10.77.0.2) への割り当てを削除して設定し直しました。\r\n";
    const std::string stuck = std::string(kFailure) +
                              "  理由: ポート 8080/TCP はこのコンピュータの以前のアドレス "
                              "(10.77.0.2) に割り当てられたままです。";
    for (const Case& c : {
             Case{"", {}, {}, {}, std::string(kSuccess), {"AddPortMapping"}, self},
             Case{"8080, 8080, TCP, mine",
                  {taken},
                  holder("10.77.0.2", "8080", "mine"),
                  {},
                  movedHere,
                  moved,
                  self},
             Case{"8080, 8080, TCP, mine",
                  {taken},
                  holder("10.77.0.2", "8080", "mine"),
                  {Reply{500, "606", "Action not authorized"}},
                  stuck + "ルータはUPnPでこの割り当てを削除することを許していません (UPnPエラー "
                          "606)。ルータの設定画面で削除するか、ルータが割り当てを消すまで待ってく"
                          "ださい。\r\n",
                  {"AddPortMapping", "GetSpecificPortMappingEntry", "DeletePortMapping"},
                  "10.77.0.2"},
             Case{"8080, 8080, TCP, mine",
                  {taken},
                  holder("10.77.0.2", "8080", "mine"),
                  {Reply{500, "714", "NoSuchEntryInArray"}},
                  movedHere,
                  moved,
                  self},
             Case{"8080, 8080, TCP, mine",
                  {taken},
                  holder("10.77.0.2", "8080", "mine"),
                  {Reply{500, "401", "Invalid Action"}},
                  stuck + "この割り当てを削除できませんでした: "
                          "ルータはこの要求に対応していません (UPnPエラー 401)。\r\n",
                  {"AddPortMapping", "GetSpecificPortMappingEntry", "DeletePortMapping"},
                  "10.77.0.2"},
             // Removed, but the router refuses the new mapping all the same.
             Case{"8080, 8080, TCP, mine",
                  {taken, Reply{500, "728", "NoPortMapsAvailable"}},
                  holder("10.77.0.2", "8080", "mine"),
                  {},
                  std::string(kFailure) +
                      "  理由: ルータのポート割り当ての表がいっぱいです (UPnPエラー 728)。"
                      "使っていない割り当てをルータの設定画面で削除してください。\r\n",
                  moved,
                  "10.77.0.2"},
             // Anything else that holds the port is somebody else's.
             Case{"",
                  {taken},
                  holder("10.77.0.2", "8080", "mine"),
                  {},
                  why + "10.77.0.2:8080 (説明: mine)" + leftAlone,
                  asked,
                  ""},
             Case{"8080, 8080, TCP, mine",
                  {taken},
                  holder("10.77.0.9", "8080", "mine"),
                  {},
                  why + "10.77.0.9:8080 (説明: mine)" + leftAlone,
                  asked,
                  "10.77.0.2"},
             Case{"8080, 8080, TCP, mine",
                  {taken},
                  holder("10.77.0.2", "9090", "mine"),
                  {},
                  why + "10.77.0.2:9090 (説明: mine)" + leftAlone,
                  asked,
                  "10.77.0.2"},
             Case{"8080, 8080, TCP, mine",
                  {taken},
                  holder("10.77.0.2", "8080", "other"),
                  {},
                  why + "10.77.0.2:8080 (説明: other)" + leftAlone,
                  asked,
                  "10.77.0.2"},
             Case{"8080, 8080, UDP, mine",
                  {taken},
                  holder("10.77.0.2", "8080", "mine"),
                  {},
                  why + "10.77.0.2:8080 (説明: mine)" + leftAlone,
                  asked,
                  ""},
             // The rule itself changed since: its description, its internal port.
             Case{"8080, 8080, TCP, web",
                  {taken},
                  holder("10.77.0.2", "8080", "web"),
                  {},
                  why + "10.77.0.2:8080 (説明: web)" + leftAlone,
                  asked,
                  "10.77.0.2"},
             Case{"8080, 9090, TCP, mine",
                  {taken},
                  holder("10.77.0.2", "9090", "mine"),
                  {},
                  why + "10.77.0.2:9090 (説明: mine)" + leftAlone,
                  asked,
                  "10.77.0.2"},
         }) {
        gateway_.ScriptSoapReplies(c.adds);
        gateway_.ScriptActionReplies("GetSpecificPortMappingEntry", {c.holder});
        gateway_.ScriptActionReplies("DeletePortMapping", c.deletes);
        PortSession& session = Fresh();
        if (*c.made != '\0') {
            session.Record().Put(RecordedMapping(c.made, "10.77.0.2"));
        }
        const std::size_t before = gateway_.ActionPosts().size();
        session.Open("8080, 8080, TCP, mine");
        EXPECT_EQ(Told(), c.outcome) << c.made << " / " << c.outcome;
        std::vector<std::string> actions;
        const auto posts = gateway_.ActionPosts();
        for (std::size_t i = before; i < posts.size(); ++i) {
            if (posts[i].action != "GetExternalIPAddress") {
                actions.push_back(posts[i].action);
            }
        }
        EXPECT_EQ(actions, c.actions) << c.made << " / " << c.outcome;
        std::string remembered;
        for (const OpenedEntry& m : session.Record().Entries()) {
            if (m.externalPort == 8080 && m.protocol == "TCP") {
                remembered = m.internalClient;
            }
        }
        EXPECT_EQ(remembered, c.remembered) << c.made << " / " << c.outcome;
    }
}

// IPv6 pinholes beside the IPv4 mappings, asked of the gateway's [::1] from
// ::1: opened once, renewed by their number, opened anew when the router
// lost them, deleted by their number.
TEST_F(Session, PinholesAreOpenedRenewedAndClosedByTheirNumber) {
    using Reply = ScriptedGateway::SoapReply;
    const auto id = [](const char* n) { return Reply{200, "", "", {{"UniqueID", n}}}; };
    ScriptedGateway gateway;
    if (!gateway.ServeIpv6()) {
        GTEST_SKIP() << "no IPv6 loopback here";
    }
    gateway.ScriptActionReplies("AddPinhole", {id("7"), id("8"), id("9")});
    PortSession& session = Fresh(&gateway);
    const std::string rules = "8080, 8080, TCP, a\r\n9000, 8081, udp, b";
    session.Open(rules);
    ASSERT_EQ(heard_.Count<session::PinholeOpened>(), 2);
    EXPECT_EQ(heard_.Of<session::PinholeOpened>()[1].address, "::1");
    // Each pinhole gets its own look, at IPv6 sockets for its address.
    const auto looks = heard_.Of<session::ListenerChecked>();
    ASSERT_EQ(looks.size(), 4u);
    EXPECT_TRUE(!looks[0].pinhole && looks[1].pinhole && !looks[2].pinhole && looks[3].pinhole);
    EXPECT_EQ(looks[3].forwardedTo, "::1");
    EXPECT_EQ(looks[3].rule.protocol, "udp");
    const auto adds = gateway.PostsOf("AddPinhole");
    ASSERT_EQ(adds.size(), 2u);
    EXPECT_EQ(adds[1].path, "/ctl/IP6FCtl");
    for (const auto& [name, value] :
         std::vector<std::pair<std::string, std::string>>{{"RemoteHost", ""},
                                                          {"RemotePort", "0"},
                                                          {"InternalClient", "::1"},
                                                          {"InternalPort", "8081"},
                                                          {"Protocol", "17"},
                                                          {"LeaseTime", "86400"}}) {
        EXPECT_EQ(SoapArgument(adds[1].body, name), value) << name;
    }
    EXPECT_EQ(SoapArgument(adds[0].body, "Protocol"), "6");

    session.Open(rules);  // a periodic run
    const auto updates = gateway.PostsOf("UpdatePinhole");
    ASSERT_EQ(updates.size(), 2u);
    EXPECT_EQ(SoapArgument(updates[0].body, "UniqueID"), "7");
    EXPECT_EQ(SoapArgument(updates[1].body, "UniqueID"), "8");
    EXPECT_EQ(gateway.PostsOf("AddPinhole").size(), 2u);

    gateway.ScriptActionReplies("UpdatePinhole", {{500, "704", "NoSuchEntry"}});
    heard_.Clear();
    session.Open("8080, 8080, TCP, a");
    EXPECT_EQ(heard_.Count<session::PinholeOpened>(), 1);
    EXPECT_EQ(gateway.PostsOf("AddPinhole").size(), 3u);

    heard_.Clear();
    session.Close("8080, 8080, TCP, a");
    const auto deletes = gateway.PostsOf("DeletePinhole");
    ASSERT_EQ(deletes.size(), 1u);
    EXPECT_EQ(SoapArgument(deletes[0].body, "UniqueID"), "9");
    ASSERT_EQ(heard_.Count<session::PinholeClosed>(), 1);
    EXPECT_TRUE(heard_.Of<session::PinholeClosed>()[0].wasThere);

    // One this process never opened is asked for again to learn its number;
    // a router that refuses it (606, port 80) holds none to close.
    gateway.ScriptActionReplies("AddPinhole", {{500, "606", "Action not authorized"}});
    heard_.Clear();
    session.Close("80, 80, TCP, web");
    ASSERT_EQ(heard_.Count<session::PinholeClosed>(), 1);
    EXPECT_FALSE(heard_.Of<session::PinholeClosed>()[0].wasThere);
    EXPECT_EQ(gateway.PostsOf("DeletePinhole").size(), 1u);
}

// Why a run opens no pinhole: the firewall's answer, told once, or the
// user's switch, which also leaves the IPv6 search out.
TEST_F(Session, PinholesNotTriedAreToldOnceAndNothingIsAsked) {
    using Reply = ScriptedGateway::SoapReply;
    using Why = session::PinholesUnavailable::Why;
    const struct {
        const char* enabled;
        const char* allowed;
        Why why;
    } cases[] = {{"1", "0", Why::kPinholesNotAllowed}, {"0", "1", Why::kFirewallDisabled}};
    for (const auto& c : cases) {
        ScriptedGateway gateway;
        if (!gateway.ServeIpv6()) {
            GTEST_SKIP() << "no IPv6 loopback here";
        }
        gateway.ScriptActionReplies(
            "GetFirewallStatus",
            {Reply{200,
                   "",
                   "",
                   {{"FirewallEnabled", c.enabled}, {"InboundPinholeAllowed", c.allowed}}}});
        Fresh(&gateway).Open("8080, 8080, TCP, a\r\n8081, 8081, TCP, b");
        ASSERT_EQ(heard_.Count<session::PinholesUnavailable>(), 1);
        EXPECT_EQ(heard_.Of<session::PinholesUnavailable>()[0].why, c.why);
        EXPECT_TRUE(gateway.PostsOf("AddPinhole").empty());
        EXPECT_EQ(heard_.Count<session::RuleOpened>(), 2);
    }
    // Another device answered the IPv6 search: its firewall is not the way in.
    ScriptedGateway other;
    ASSERT_TRUE(other.ServeIpv6(true, "uuid:another-device"));
    Fresh(&other).Open("8080, 8080, TCP, a");
    ASSERT_EQ(heard_.Count<session::PinholesUnavailable>(), 1);
    EXPECT_EQ(heard_.Of<session::PinholesUnavailable>()[0].why, Why::kOtherDevice);
    EXPECT_TRUE(other.PostsOf("AddPinhole").empty());
    // A router without the service is not even searched for over IPv6: it
    // would answer the IPv4 search later for it.
    ScriptedGateway plain;
    ASSERT_TRUE(plain.ServeIpv6(false));
    Fresh(&plain).Open("8080, 8080, TCP, a");
    EXPECT_EQ(plain.Ipv6Searches(), 0);
    ASSERT_EQ(heard_.Count<session::PinholesUnavailable>(), 1);
    EXPECT_EQ(heard_.Of<session::PinholesUnavailable>()[0].why, Why::kNoService);

    ScriptedGateway gateway;
    ASSERT_TRUE(gateway.ServeIpv6());
    PortSession& session = Fresh(&gateway);
    session.openIpv6 = false;
    session.Open("8080, 8080, TCP, a");
    EXPECT_EQ(gateway.Ipv6Searches(), 0);
    EXPECT_EQ(heard_.Count<session::PinholesUnavailable>(), 0);
    EXPECT_EQ(heard_.Count<session::PinholeOpened>() + heard_.Count<session::PinholeFailed>(), 0);
}

// Behind each opened rule: who listens on this machine. The router here
// forwards to 127.0.0.1, so a listener there is the one it reaches.
TEST_F(Session, EachOpenedRuleIsFollowedByALookAtWhoListensBehindIt) {
    std::uint16_t port = 0;
    platform::SocketHandle listener = loopback::Listen(&port);
    ASSERT_NE(listener, platform::kInvalidSocket);
    std::uint16_t unused = 0;
    platform::SocketHandle gone = loopback::Listen(&unused);
    ASSERT_NE(gone, platform::kInvalidSocket);
    platform::CloseSocket(gone);
    gateway_.ScriptActionReplies("AddPortMapping", {{}, {501, "501", "Action Failed", {}}, {}});
    PortSession& session = Fresh();
    session.openIpv6 = false;
    session.namePrograms = true;
    const std::string p = std::to_string(port), u = std::to_string(unused);
    session.Open(p + ", " + p + ", TCP, a\r\n" + p + ", " + p + ", UDP, refused\r\n" + u + ", " +
                 u + ", TCP, b");
    platform::CloseSocket(listener);
    std::vector<std::size_t> after;  // where each look stands among the events
    for (std::size_t i = 0; i < heard_.events.size(); ++i) {
        if (std::holds_alternative<session::ListenerChecked>(heard_.events[i])) {
            after.push_back(i);
            EXPECT_TRUE(std::holds_alternative<session::RuleOpened>(heard_.events[i - 1]));
        }
    }
    const auto looks = heard_.Of<session::ListenerChecked>();
    ASSERT_EQ(looks.size(), 2u);  // none for the refused rule
    EXPECT_EQ(looks[0].listener.state, LocalListener::State::kListening);
    EXPECT_EQ(looks[0].listener.address, "127.0.0.1");
    EXPECT_EQ(looks[0].forwardedTo, "127.0.0.1");
    // Named where the tables name an owner (Linux and Windows do; Wine's
    // tables leave the owner 0; cli_lab_listeners checks the name and PID).
    EXPECT_TRUE(looks[0].listener.pid == 0 || !looks[0].listener.program.empty());
    EXPECT_EQ(looks[1].rule.internalPort, u);
    EXPECT_EQ(looks[1].listener.state, LocalListener::State::kNone);
}

// On a Japanese IPoE line (this machine's IPv6 addresses given to the search):
// what the gateway received and what the run told, in order.
TEST_F(Session, MapELineIsConfirmedFirstAndRulesOutsideTheSetAreNeverSent) {
    using Reply = ScriptedGateway::SoapReply;
    const auto local = [](const char* text, bool temporary = false, bool usable = true) {
        platform::LocalIpv6 a;
        EXPECT_TRUE(net::ParseIPv6(text, &a.address));
        a.temporary = temporary;
        a.usable = usable;
        return a;
    };
    const auto exchange = [&](const std::vector<platform::LocalIpv6>& lan, const char* outside,
                              const std::function<void(PortSession&)>& run) {
        gateway_.ForgetPosts();
        gateway_.ScriptActionReplies("GetExternalIPAddress",
                                     {Reply{200, "", "", {{"NewExternalIPAddress", outside}}}});
        PortSession& s = Fresh();
        s.targets.localIpv6 = lan;
        s.openIpv6 = false;  // the line is worked out all the same
        run(s);
        std::string got;
        for (const ScriptedGateway::ActionPost& p : gateway_.ActionPosts()) {
            got += p.action == "AddPortMapping" ? SoapArgument(p.body, "NewExternalPort") + " "
                                                : p.action.substr(0, 6) + " ";
        }
        got += "|";
        for (const session::Event& e : heard_.events) {
            std::visit(session::Overloaded{
                           [&](const session::LineFound& f) {
                               got += f.line.kind == line::Kind::kMapE ? " MAP-E" : " DS-Lite";
                           },
                           [&](const session::LineNotConfirmed&) { got += " fixed"; },
                           [&](const session::RuleOpened&) { got += " ok"; },
                           [&](const session::RuleFailed& r) {
                               got += r.result.outsideSet ? " outside" : " failed";
                           },
                           [&](const session::TableListed&) { got += " table"; },
                           [&](const session::OutsideAddress& o) { got += " @" + o.address; },
                           [](const auto&) {},
                       },
                       e);
        }
        return got;
    };
    const auto open = [](PortSession& s) { s.Open("8080, 8080, TCP, a\r\n7488, 7488, TCP, b"); };
    const char* v6plus = "240b:10:3f6c:d401::1234";  // 106.72.63.108, PSID 212
    const char* other = "2409:10:2000:100::5";       // no rule's prefix
    const Reply refused{500, "501", "Action Failed"};
    struct Case {
        std::vector<platform::LocalIpv6> lan;
        const char* outside;
        std::vector<Reply> mappings;
        const char* story;  // requests | events
    };
    const Case cases[] = {
        {{local("fe80::1"), local(v6plus)},
         "106.72.63.108",
         {},
         "GetExt 7488 | MAP-E outside ok @106.72.63.108"},
        {{local(v6plus, true)},
         "106.72.63.108",
         {},
         "GetExt 7488 | MAP-E outside ok @106.72.63.108"},
        // A fixed-address plan on the same prefix: every port works.
        {{local(v6plus)}, "203.0.113.8", {}, "GetExt 8080 7488 | fixed ok ok @203.0.113.8"},
        // No rule, no IPv6, a tentative address: asked as before.
        {{local(other)}, "1.2.3.4", {}, "8080 GetExt 7488 | ok ok @1.2.3.4"},
        {{}, "1.2.3.4", {}, "8080 GetExt 7488 | ok ok @1.2.3.4"},
        {{local(v6plus, false, false)}, "1.2.3.4", {}, "8080 GetExt 7488 | ok ok @1.2.3.4"},
        // DS-Lite, after the rules: none with 501 (asked once, only with IPv6), or 192.0.0.2.
        {{local(other)}, "", {refused, refused}, "8080 GetExt 7488 | failed failed DS-Lite @"},
        {{}, "", {refused, refused}, "8080 7488 | failed failed"},
        {{local(other)}, "192.0.0.2", {}, "8080 GetExt 7488 | ok ok DS-Lite @192.0.0.2"},
    };
    for (const Case& c : cases) {
        gateway_.ScriptSoapReplies(c.mappings);
        EXPECT_EQ(exchange(c.lan, c.outside, open), c.story);
    }
    exchange({local(v6plus)}, "106.72.63.108", open);
    const line::UnusablePort u = *heard_.Of<session::RuleFailed>()[0].result.outsideSet;
    EXPECT_EQ(u.below, (line::PortRange{7488, 7503}));
    EXPECT_EQ(u.above, (line::PortRange{11584, 11599}));
    // A listing tells the line before the table, and asks once.
    gateway_.ServeMappingTable({});
    EXPECT_EQ(exchange({local(v6plus)}, "106.72.63.108", [](PortSession& s) { s.List(); }),
              "GetExt GetGen | MAP-E table @106.72.63.108");
    EXPECT_EQ(heard_.Of<session::LineFound>()[0].operation, session::Operation::kList);
}
