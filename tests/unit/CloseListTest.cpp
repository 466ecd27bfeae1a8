// Closing ports and reading the router's table: the runs against a scripted
// gateway on loopback (searched alone: no multicast, no default gateways),
// and the table's text and JSON forms.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ActivityLog.h"
#include "app/FailureText.h"
#include "app/LogWriter.h"
#include "app/MappingTable.h"
#include "app/PortMappingRule.h"
#include "app/PortSession.h"
#include "app/UpnpIpv4Mapper.h"
#include "support/EventRecorder.h"
#include "support/RecordEntries.h"
#include "support/ScriptedGateway.h"

using namespace activity_log;

namespace {

class CloseAndList : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(gateway_.Ready());
        session_.targets = gateway_.Targets(1500);
    }
    static std::string Found(const ScriptedGateway& gateway) {
        return std::string(kFound) +
               "- Address : 127.0.0.1\r\n- Control URL : " + gateway.Location() + "\r\n";
    }

    ScriptedGateway gateway_;
    std::string log_;
    EventRecorder heard_;
    LogWriter writer_{[this](const std::string& t) { log_ += t; }};
    PortSession session_{[this](const session::Event& e) {
        writer_(e);
        heard_.Receiver()(e);
    }};
};

const PortMappingEntry kWeb{"", "8080", "TCP", "8080", "127.0.0.1", "1", "web", "0"};
const PortMappingEntry kFtp{"", "21", "TCP", "21", "10.0.0.3", "1", "FTP接続の通過", "3600"};
// Another program's description with a bare "&", as some routers send it back.
const PortMappingEntry kAmp{"", "25", "TCP", "25", "10.0.0.4", "1", "AT&T mail", "0"};
const PortMappingEntry kBroken{"", "", "", "", "", "", "FAULT 501", ""};

}  // namespace

TEST_F(CloseAndList, CloseDeletesEachRulesPortAndTellsTheThreeOutcomes) {
    // Each rule asks whether the mapping exists, then deletes it.
    gateway_.ScriptActionReplies(
        "GetSpecificPortMappingEntry",
        {{200, "", ""}, {500, "714", "NoSuchEntryInArray"}, {200, "", ""}, {200, "", ""}});
    gateway_.ScriptActionReplies(
        "DeletePortMapping",
        {{200, "", ""}, {500, "606", "Action not authorized"}, {500, "714", "NoSuchEntryInArray"}});
    const std::string rules =
        "8080, 8080, TCP, a\r\n9000, 9001, udp, b\r\n22, 22, TCP, c\r\n"
        "23, 23, TCP, d\r\n24, 24";
    // What this process mapped is forgotten once its port is closed, and
    // only then.
    for (const char* made : {"8080, 8080, TCP, a", "9000, 9001, udp, b", "22, 22, TCP, c",
                             "23, 23, TCP, d", "7000, 7000, TCP, e", "8080, 8080, UDP, f"}) {
        session_.Record().Put(RecordedMapping(made, "10.0.0.2"));
    }
    session_.Close(rules);
    EXPECT_EQ(
        RecordedPorts(session_.Record()),
        (std::vector<std::string>{"22/TCP 10.0.0.2", "7000/TCP 10.0.0.2", "8080/UDP 10.0.0.2"}));

    const auto failed = heard_.Of<session::CloseFailed>();
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(log_, Found(gateway_) + "■ 8080 [TCP] : " + kClosed +
                        "■ 9000 [udp] : " + kNothingToClose + "■ 22 [TCP] : " + kCloseFailure +
                        ReasonText(DescribeFailure(failed[0].reason)) +
                        "■ 23 [TCP] : " + kNothingToClose + "\r\n");
    const auto posts = gateway_.ActionPosts();
    ASSERT_EQ(posts.size(), 7u);
    struct Post {
        const char* action;
        const char* port;
        const char* protocol;
    };
    const Post expected[] = {{"GetSpecificPortMappingEntry", "8080", "TCP"},
                             {"DeletePortMapping", "8080", "TCP"},
                             {"GetSpecificPortMappingEntry", "9000", "udp"},
                             {"GetSpecificPortMappingEntry", "22", "TCP"},
                             {"DeletePortMapping", "22", "TCP"},
                             {"GetSpecificPortMappingEntry", "23", "TCP"},
                             {"DeletePortMapping", "23", "TCP"}};
    for (std::size_t i = 0; i < posts.size(); ++i) {
        EXPECT_EQ(posts[i].action, expected[i].action) << i;
        EXPECT_EQ(SoapArgument(posts[i].body, "NewRemoteHost"), "");
        EXPECT_EQ(SoapArgument(posts[i].body, "NewExternalPort"), expected[i].port);
        EXPECT_EQ(SoapArgument(posts[i].body, "NewProtocol"), expected[i].protocol);
    }
    EXPECT_EQ(gateway_.DescriptionGets(), 1);  // one service read per command
    EXPECT_EQ(failed[0].reason.upnpErrorCode, "606");
    EXPECT_EQ(heard_.Count<session::RuleStarted>(), 4);
}

TEST_F(CloseAndList, ListReadsUntilTheRouterSaysTheTableEnds) {
    struct Case {
        std::vector<PortMappingEntry> table;
        std::string endCode;  // empty: the table never ends
        std::size_t posts;
        bool read;
        std::string tail;  // the log after the table
    };
    const Case cases[] = {
        {{kWeb, kFtp}, "713", 3, true, kTableMarkNote},
        {{kWeb, kFtp}, "714", 3, true, kTableMarkNote},
        {{kFtp}, "402", 2, true, ""},
        {{}, "713", 1, true, ""},
        // Answers that are no entry: kept as such while the router goes on
        // listing; a run of them is a router that cannot list.
        {{kWeb, kBroken, kAmp, kFtp}, "713", 5, true, kTableMarkNote},
        {{kWeb, kFtp}, "501", 7, false, std::string(kTableMarkNote) + kTableFailure},
        {{}, "501", 5, false, kTableFailure},
        {{}, "", 1024, true, std::string(kTableMarkNote) + kTableCapped},
    };
    for (const Case& c : cases) {
        ScriptedGateway gateway;
        gateway.ServeMappingTable(c.table, c.endCode);
        session_.targets = gateway.Targets(1500);
        log_.clear();
        heard_.Clear();
        session_.List();

        const auto tables = heard_.Of<session::TableListed>();
        ASSERT_EQ(tables.size(), 1u);
        const session::TableListed& l = tables[0];
        const auto failures = heard_.Of<session::TableFailed>();
        const std::size_t expectEntries = c.endCode.empty() ? 1024 : c.table.size();
        // The table's posts, then one for the outside address.
        EXPECT_EQ(gateway.ActionPosts().size(), c.posts + 1) << c.endCode;
        EXPECT_EQ(l.complete, c.read) << c.endCode;
        EXPECT_EQ(l.capped, c.endCode.empty());
        ASSERT_EQ(failures.size(), c.read ? 0u : 1u);
        ASSERT_EQ(l.entries.size(), expectEntries) << c.endCode;
        EXPECT_EQ(l.localAddress, "127.0.0.1");
        for (std::size_t i = 0; i < std::min(c.table.size(), l.entries.size()); ++i) {
            const bool broken = c.table[i].description == kBroken.description;
            EXPECT_EQ(l.entries[i].description, broken ? "" : c.table[i].description);
        }
        const std::string heading = expectEntries > 0 ? TableHeadingText(expectEntries)
                                    : c.read          ? std::string(kTableEmpty)
                                                      : std::string();
        EXPECT_EQ(log_,
                  Found(gateway) + heading + MappingTableText(l.entries, "127.0.0.1") + c.tail +
                      (c.read ? std::string() : ReasonText(DescribeFailure(failures[0].reason))) +
                      "\r\n")
            << c.endCode;
    }
}

TEST_F(CloseAndList, AVersionTwoServiceGivesTheTableInOneAnswerPerProtocolOrEntryByEntry) {
    const PortMappingEntry kGame{"", "9001", "UDP", "9000", "10.0.0.5", "1", "game", "3599"};
    const std::vector<PortMappingEntry> table = {kWeb, kGame, kFtp, kAmp};
    struct Case {
        std::vector<ScriptedGateway::SoapReply> listReplies;  // then answered from the table
        std::size_t listPosts, entryPosts;
        std::vector<PortMappingEntry> listed;
    };
    const Case cases[] = {
        {{}, 2, 0, {kFtp, kAmp, kWeb, kGame}},                   // by port
        {{{500, "730", "PortMappingNotFound"}}, 2, 0, {kGame}},  // no TCP mapping
        {{{500, "401", "Invalid Action"}}, 1, 5, table},
        {{{200, "", "", {{"NewPortListing", "&lt;p:Port"}}}}, 1, 5, table},  // unreadable
    };
    for (const Case& c : cases) {
        ScriptedGateway::Device v2;
        v2.wanIpVersion = 2;
        ScriptedGateway gateway({v2});
        gateway.ServeMappingTable(table);
        gateway.ScriptActionReplies("GetListOfPortMappings", c.listReplies);
        session_.targets = gateway.Targets(1500);
        heard_.Clear();
        session_.List();

        const auto tables = heard_.Of<session::TableListed>();
        ASSERT_EQ(tables.size(), 1u);
        EXPECT_TRUE(tables[0].complete);
        // Every field, whichever way it was read.
        EXPECT_EQ(MappingTableText(tables[0].entries, ""), MappingTableText(c.listed, ""));
        const auto listPosts = gateway.PostsOf("GetListOfPortMappings");
        ASSERT_EQ(listPosts.size(), c.listPosts);
        for (std::size_t i = 0; i < listPosts.size(); ++i) {
            std::string asked;
            for (const char* name :
                 {"NewProtocol", "NewStartPort", "NewEndPort", "NewManage", "NewNumberOfPorts"}) {
                asked += SoapArgument(listPosts[i].body, name) + " ";
            }
            EXPECT_EQ(asked, std::string(i == 0 ? "TCP" : "UDP") + " 0 65535 1 1024 ");
        }
        EXPECT_EQ(gateway.PostsOf("GetGenericPortMappingEntry").size(), c.entryPosts);
    }
}

TEST(UpnpIpv4Mapper, ReadsTheTableFromTheRouterOnceARun) {
    ScriptedGateway gateway;
    gateway.ServeMappingTable({kWeb, kFtp});
    CRouterDevice device;
    IpAddress address;
    std::string location;
    ASSERT_EQ(device.Discover(address, location, gateway.Targets(1500)), 0);
    OpenedRecord record;
    MadeMappings made(record, RecordPlace{});
    UpnpIpv4Mapper mapper(device, made);
    session::TableListed first, second;
    FailureReason failure;
    EXPECT_TRUE(mapper.ReadTable(&first, &failure) && mapper.ReadTable(&second, &failure));
    EXPECT_EQ(second.entries.size(), 2u);
    EXPECT_EQ(gateway.PostsOf("GetGenericPortMappingEntry").size(), 3u);
}

TEST(MappingTable, ColumnsLineUpWhateverTheRouterSent) {
    const std::vector<PortMappingEntry> entries = {
        {"", "8080", "TCP", "8080", "10.0.0.2", "1", "web", "0"},
        kFtp,
        {"203.0.113.9", "5353", "UDP", "53", "10.0.0.3", "0", "a\r\nb", "x"},
    };
    EXPECT_EQ(MappingTableText(entries, "10.0.0.2"),
              "  外部ポート  プロトコル  転送先         説明           期限\r\n"
              "* 8080        TCP         10.0.0.2:8080  web            無期限\r\n"
              "  21          TCP         10.0.0.3:21    FTP接続の通過  3600秒\r\n"
              "  5353        UDP         10.0.0.3:53    a  b           x  送信元 203.0.113.9  "
              "(無効)\r\n");
    EXPECT_EQ(MappingTableText({}, "10.0.0.2"), "");
    // Pontaro's own rows (also one for another address of this machine).
    EXPECT_EQ(MappingTableText(entries, "10.0.0.2", {true, true}),
              "          外部ポート  プロトコル  転送先         説明           期限\r\n"
              "* Pontaro 8080        TCP         10.0.0.2:8080  web            無期限\r\n"
              "  Pontaro 21          TCP         10.0.0.3:21    FTP接続の通過  3600秒\r\n"
              "          5353        UDP         10.0.0.3:53    a  b           x  送信元 "
              "203.0.113.9  (無効)\r\n");

    struct Width {
        const char* text;
        int columns;
    };
    for (const Width& w : {Width{"abc", 3}, Width{"接続", 4}, Width{"ｱｲ", 2}, Width{"\xFF", 1},
                           Width{"\xF0\x9F\x98\x80", 2}, Width{"", 0}}) {
        EXPECT_EQ(DisplayWidth(w.text), w.columns) << w.text;
    }
}

TEST(MappingTable, JsonKeepsEveryTextValidAndNumbersOnlyWhereTheyAre) {
    MappingListing l;
    l.gatewayFound = true;
    l.gatewayAddress = "10.0.0.1";
    l.location = "http://10.0.0.1:5000/rootDesc.xml";
    l.localAddress = "10.0.0.2";
    l.tableRead = true;
    l.entries = {{"", "8080", "TCP", "8080", "10.0.0.2", "1", "a \"q\" \\ \x01\xFF", "0"},
                 {"", "99999", "UDP", "x", "10.0.0.3", "maybe", "\x83\x5C", "4294967296"}};
    l.externalAddress = "203.0.113.7";
    l.madeByPontaro = {true};  // the second row is not told: not Pontaro's
    EXPECT_EQ(MappingListingJson(l),
              "{\n  \"gateway\": {\"address\": \"10.0.0.1\", \"location\": "
              "\"http://10.0.0.1:5000/rootDesc.xml\"},\n"
              "  \"localAddress\": \"10.0.0.2\",\n  \"mappings\": [\n"
              "    {\"externalPort\": 8080, \"protocol\": \"TCP\", \"internalClient\": "
              "\"10.0.0.2\", \"internalPort\": 8080, \"description\": \"a \\\"q\\\" \\\\ "
              "\\u0001\xEF\xBF\xBD\", \"leaseDuration\": 0, \"enabled\": true, \"remoteHost\": "
              "\"\", \"thisMachine\": true, \"madeByPontaro\": true},\n"
              "    {\"externalPort\": null, \"protocol\": \"UDP\", \"internalClient\": "
              "\"10.0.0.3\", \"internalPort\": null, \"description\": \"ソ\", \"leaseDuration\": "
              "null, \"enabled\": null, \"remoteHost\": \"\", \"thisMachine\": false, "
              "\"madeByPontaro\": false}\n  ],\n"
              "  \"complete\": true,\n  \"capped\": false,\n"
              "  \"externalAddress\": \"203.0.113.7\",\n  \"line\": null,\n  \"error\": null\n}\n");

    // The line: kind, service, ipv4, psid and every usable block.
    l.entries.clear();
    l.line =
        line::Line{line::Kind::kMapE, line::Service::kOcn, 0x99f048d1u, line::PortSet(22, 6, 6)};
    const std::string json = MappingListingJson(l);
    EXPECT_NE(json.find("\"line\": {\"kind\": \"MAP-E\", \"service\": \"ocn\", \"ipv4\": "
                        "\"153.240.72.209\", \"psid\": 22, \"portCount\": 1008, \"ports\": "
                        "[{\"first\": 1376, \"last\": 1391}, {\"first\": 2400, \"last\": 2415}, "),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("{\"first\": 64864, \"last\": 64879}]},\n  \"error\""), std::string::npos)
        << json;

    MappingListing none;
    none.failureText = "理由: x";
    EXPECT_EQ(MappingListingJson(none),
              "{\n  \"gateway\": null,\n  \"localAddress\": null,\n  \"mappings\": [],\n"
              "  \"complete\": false,\n  \"capped\": false,\n  \"externalAddress\": null,\n"
              "  \"line\": null,\n  \"error\": \"理由: x\"\n}\n");
}
