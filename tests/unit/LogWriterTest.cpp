// The log writer's own table: events in, the exact lines of the log out.
// Every other test of a run looks at the events.
#include "app/LogWriter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ActivityLog.h"
#include "app/FailureText.h"
#include "app/MappingTable.h"
#include "app/PinholeLogText.h"
#include "app/RecordLogText.h"
#include "support/RecordEntries.h"
#include "support/ScopedLanguage.h"

using namespace activity_log;
using namespace session;

namespace {

PortMappingRule Rule(const char* external, const char* internal, const char* protocol) {
    return PortMappingRule{external, internal, protocol, "d"};
}

RuleResult Result(RuleResult::Kind kind, const char* client, const char* description) {
    RuleResult r;
    r.kind = kind;
    r.holder.internalClient = client;
    r.holder.description = description;
    return r;
}

FailureReason Refusal(const char* code) {
    FailureReason f;
    f.step = FailureReason::Step::kStatus;
    f.httpStatus = 500;
    f.upnpErrorCode = code;
    return f;
}

// v6plus: 106.72.63.108, PSID 212.
const line::Line kV6Plus{line::Kind::kMapE, line::Service::kV6Plus, 0x6a483f6cu,
                         line::PortSet(212, 8, 4)};

RuleResult OutsideSet(long port, std::optional<line::PortRange> below,
                      std::optional<line::PortRange> above) {
    RuleResult r;
    r.outsideSet = line::UnusablePort{line::Service::kV6Plus, 212, port, below, above};
    return r;
}

// What one writer makes of the events, in order.
std::string LogOf(const std::vector<Event>& events) {
    std::string log;
    LogWriter writer([&log](const std::string& t) { log += t; });
    for (const Event& e : events) {
        writer(e);
    }
    return log;
}

const std::int64_t kStampTime = 1054425907;  // 2003-06-01 00:05:07 UTC
const char kNotGlobal[] =
    "はグローバルアドレスではありません。プロバイダやもう一台のルータのNATの内側にあるため、"
    "インターネットからこのポートには届きません。\r\n";

}  // namespace

TEST(LogWriter, EachEventGetsItsExactLines) {
    RuleResult taken;
    taken.failure = Refusal("718");
    const PortMappingEntry here{"", "8080", "TCP", "8080", "10.0.0.2", "1", "web", "0"};
    struct Case {
        std::vector<Event> events;
        std::string log;
    };
    std::vector<Case> cases = {
        {{GatewayNotFound{}, RunEnded{}}, std::string(kNotFound) + "\r\n"},
        {{GatewayPassedOver{"http://x/", {}}, RunStarted{}}, ""},
        {{GatewayFound{"10.0.0.1", "http://10.0.0.1:5000/d\xFF.xml"}},
         std::string(kFound) +
             "- Address : 10.0.0.1\r\n- Control URL : http://10.0.0.1:5000/d\xEF\xBF\xBD.xml\r\n"},
        {{RuleStarted{Operation::kOpen, Rule("80", "8080", "TCP")}}, "■ 80 -> 8080 [TCP] : "},
        {{RuleStarted{Operation::kClose, Rule("80", "8080", "udp")}}, "■ 80 [udp] : "},
        {{RuleOpened{Rule("80", "80", "TCP"), Result(RuleResult::Kind::kAdded, "", "")}}, kSuccess},
        {{RuleOpened{Rule("80", "80", "TCP"),
                     Result(RuleResult::Kind::kAlreadyThere, "10.0.0.2", "web")}},
         std::string(kSuccess) + "  ※ ルータにはこの割り当てがすでにあります (説明: web)。\r\n"},
        {{RuleOpened{Rule("80", "80", "TCP"),
                     Result(RuleResult::Kind::kMovedFromOldAddress, "10.77.0.2", "")}},
         std::string(kSuccess) +
             "  ※ 以前のアドレス (10.77.0.2) への割り当てを削除して設定し直しました。\r\n"},
        {{RuleFailed{Rule("21", "2121", "udp"), taken}},
         std::string(kFailure) +
             "  理由: ポート 21/udp はすでに別の割り当てに使われています (UPnPエラー 718)。"
             "多くのルータは初期設定で 1024～65535 のポートしか開けません。\r\n"},
        {{RuleClosed{Rule("80", "80", "TCP"), true}}, kClosed},
        {{RuleClosed{Rule("80", "80", "TCP"), false}}, kNothingToClose},
        {{CloseFailed{Rule("80", "80", "TCP"), Refusal("606")}},
         std::string(kCloseFailure) + ReasonText(DescribeFailure(Refusal("606")))},
        {{TableListed{"10.0.0.2", {}, true, false, {}}}, kTableEmpty},
        {{TableListed{"10.0.0.2", {}, false, false, {}}, TableFailed{Refusal("501")}},
         std::string(kTableFailure) + ReasonText(DescribeFailure(Refusal("501")))},
        {{TableListed{"10.0.0.2", {here}, true, true, {}}},
         TableHeadingText(1) + MappingTableText({here}, "10.0.0.2") + kTableMarkNote +
             kTableCapped},
        {{TableListed{"10.0.0.9", {here}, true, false, {false}}},
         TableHeadingText(1) + MappingTableText({here}, "10.0.0.9")},
        {{TableListed{"10.0.0.9", {here}, true, false, {true}}},
         TableHeadingText(1) + MappingTableText({here}, "10.0.0.9", {true}) + kTableMadeNote},
        {{OutsideAddress{"1.2.3.4", true, {}}}, "- External IP : 1.2.3.4\r\n"},
        {{OutsideAddress{"", true, {}}},
         std::string("- External IP : \r\n※ ルータの外側のアドレス () ") + kNotGlobal},
        {{OutsideAddress{"10.1.2.3", false, {}}}, "- External IP : 10.1.2.3\r\n"},
        {{PeriodicRun{kStampTime}}, FormatLocalTime(kStampTime, kTimeStampPattern) + kAutoRun},
        {{SettingsNotSaved{}}, kSaveFailed},
        {{LoginStartNotChanged{true}}, kLoginStartNotSet},
        {{LoginStartNotChanged{false}}, kLoginStartNotRemoved},
        {{PcpGatewayFound{pcp::GatewayProtocol::kPcp, "10.0.0.1"}},
         "◆PCP対応ルータが見つかりました\r\n- Address : 10.0.0.1\r\n"},
        {{PcpGatewayFound{pcp::GatewayProtocol::kNatPmp, "10.0.0.1"}},
         "◆NAT-PMP対応ルータが見つかりました\r\n- Address : 10.0.0.1\r\n"},
        {{PcpRuleOpened{Rule("80", "80", "TCP"), 80}}, kSuccess},
        {{PcpRuleOpened{Rule("80", "80", "TCP"), 1080}},
         std::string(kSuccess) +
             "  ※ ルータが開いた外部ポートは 1080 です (指定したポートは使えませんでした)。\r\n"},
        {{PcpRuleFailed{Operation::kOpen, Rule("80", "80", "TCP"), pcp::MapOutcome::kRefused,
                        pcp::ResultCode::kNotAuthorized, 2}},
         std::string(kFailure) + "  理由: ルータの設定がこの割り当てを禁じています "
                                 "(UPnPを切ったFRITZ!Boxもこう答えます)"
                                 " (NOT_AUTHORIZED)。\r\n"},
        {{PcpRuleFailed{Operation::kOpen, Rule("80", "80", "TCP"), pcp::MapOutcome::kRefused,
                        pcp::ResultCode::kUnknown, 99}},
         std::string(kFailure) + "  理由: ルータが要求を拒否しました (結果コード 99)。\r\n"},
        {{PcpRuleFailed{Operation::kClose, Rule("80", "80", "TCP"), pcp::MapOutcome::kNoAnswer,
                        pcp::ResultCode::kUnknown, 0}},
         std::string(kCloseFailure) + "  理由: ルータが時間内に答えませんでした。\r\n"},
        {{PcpLifetime{86400}}, "- Lifetime : 86400秒 (24時間、ルータが割り当てを保つ期間)\r\n"},
        {{PcpLifetime{7199}}, "- Lifetime : 7199秒 (ルータが割り当てを保つ期間)\r\n"},
        {{PcpListed{{}}},
         "◆PCP/NAT-PMPにはポートマッピングの一覧がありません。Pontaroが設定したもの (記録):\r\n"
         "  (なし)\r\n"},
        {{PcpListed{{RecordedMapping("24090, 9090, TCP, web", "10.0.0.2")}}},
         "◆PCP/NAT-PMPにはポートマッピングの一覧がありません。Pontaroが設定したもの (記録):\r\n"
         "  24090 -> 10.0.0.2:9090 [TCP] web\r\n"},
        {{PinholeOpened{Rule("80", "80", "tcp"), "2001:db8:1::2"}},
         "■ [2001:db8:1::2]:80 [TCP/IPv6] : ○\u3000設定に成功しました。\r\n"},
        {{PinholeFailed{Operation::kOpen, Rule("8080", "80", "UDP"), "2001:db8:1::2",
                        Refusal("606")}},
         "■ [2001:db8:1::2]:80 [UDP/IPv6] : ×\u3000設定に失敗しました。\r\n  理由: "
         "ルータがこのピンホールを許していません。ルータは要求の送信元と同じアドレスへの、1024 "
         "以上のポートのピンホールしか開かないことがあります (ポート 80/UDP, UPnPエラー "
         "606)。\r\n"},
        {{PinholeFailed{Operation::kClose, Rule("80", "8080", "TCP"), "2001:db8::5",
                        Refusal("501")}},
         "■ [2001:db8::5]:8080 [TCP/IPv6] : " + std::string(kCloseFailure) +
             ReasonText(DescribeFailure(Refusal("501")))},
        {{PinholeClosed{Rule("80", "8080", "TCP"), "2001:db8::5", true}},
         "■ [2001:db8::5]:8080 [TCP/IPv6] : " + std::string(kClosed)},
        {{PinholeClosed{Rule("80", "8080", "TCP"), "2001:db8::5", false}},
         "■ [2001:db8::5]:8080 [TCP/IPv6] : " + std::string(kNothingToClose)},
        // Only a firewall that shuts pinholes out reaches the log.
        {{PinholesUnavailable{PinholesUnavailable::Why::kNoAnswer, {}},
          PinholesUnavailable{PinholesUnavailable::Why::kNoStableAddress, {}}},
         ""},
        {{PinholesUnavailable{PinholesUnavailable::Why::kPinholesNotAllowed, {}}},
         kPinholesNotAllowed},
        {{OutsideAddress{"192.0.0.2", true, "2001:db8:1::2"}},
         std::string("- External IP : 192.0.0.2\r\n※ ルータの外側のアドレス (192.0.0.2) ") +
             std::string(kNotGlobal).substr(0, std::string(kNotGlobal).size() - 2) +
             "ただし、IPv6では [2001:db8:1::2] でこのポートに届きます。\r\n"},
        {{LineFound{Operation::kOpen, kV6Plus}},
         "この回線は MAP-E (v6プラス) です。IPv4 106.72.63.108 で使えるポートは 240 個です。\r\n"},
        {{LineFound{Operation::kList, kV6Plus}},
         "この回線は MAP-E (v6プラス) です。IPv4 106.72.63.108 で使えるポートは 240 個です。\r\n"
         "- 使えるポート (16個ずつ15組):\r\n"
         "  7488～7503, 11584～11599, 15680～15695, 19776～19791, 23872～23887\r\n"
         "  27968～27983, 32064～32079, 36160～36175, 40256～40271, 44352～44367\r\n"
         "  48448～48463, 52544～52559, 56640～56655, 60736～60751, 64832～64847\r\n"},
        {{LineFound{Operation::kOpen, line::Line{line::Kind::kDsLite, {}, 0, {}}}},
         "この回線は DS-Lite です。NATがプロバイダの側にあるため、IPv4のポートは開けません。"
         "インターネットからはIPv6 (ピンホール) で届きます。\r\n"},
        {{LineNotConfirmed{line::Service::kV6Plus, "106.72.63.108", "1.2.3.4"}}, ""},
        {{RuleFailed{Rule("8080", "8080", "TCP"),
                     OutsideSet(8080, line::PortRange{7488, 7503}, line::PortRange{11584, 11599})}},
         std::string(kFailure) +
             "  理由: この回線 (MAP-E、v6プラス) ではポート 8080 にインターネットから届きません。"
             "近くで使えるのは 7488～7503 と 11584～11599 です "
             "(ほかのポートは回線を共有する別の契約者に届きます)。\r\n"},
        // Over PCP the router chose the port.
        {{RuleFailed{Rule("7489", "7489", "UDP"),
                     OutsideSet(30000, line::PortRange{27968, 27983}, std::nullopt)}},
         std::string(kFailure) +
             "  理由: ルータが開いた外部ポート 30000 には、この回線 (MAP-E、v6プラス) では"
             "インターネットから届きません。近くで使えるのは 27968～27983 です "
             "(ほかのポートは回線を共有する別の契約者に届きます)。\r\n"},
        {{PinholesListed{{RecordedPinhole("2001:db8:1::2", 8080, "UDP", "7", "")}}},
         "◆IPv6のピンホールはルータから一覧を読めません。Pontaroが開いたもの (記録):\r\n"
         "  [2001:db8:1::2]:8080 [UDP/IPv6]\r\n"},
        // The record: what a sweep and CloseAll closed, and its file's troubles.
        {{RecordedClosed{true, RecordedMapping("2222, 22, TCP, ssh", "10.0.0.2"), true}},
         "■ 2222 [TCP] : ○\u3000ルールから外れたので閉じました。\r\n"},
        {{RecordedClosed{true, RecordedPinhole("2001:db8:1::2", 22, "TCP", "7", ""), true}},
         "■ [2001:db8:1::2]:22 [TCP/IPv6] : ○\u3000ルールから外れたので閉じました。\r\n"},
        {{RecordedClosed{false, RecordedMapping("2222, 22, udp, ssh", "10.0.0.2"), true},
          RecordedClosed{false, RecordedMapping("2223, 22, TCP, ssh", "10.0.0.2"), false}},
         "■ 2222 [UDP] : " + std::string(kClosed) + "■ 2223 [TCP] : " + kNothingToClose},
        {{RecordedCloseFailed{
             true, RecordedMapping("2222, 22, TCP, ssh", "10.0.0.2"), Refusal("606"), {}}},
         "■ 2222 [TCP] : ×\u3000ルールから外れましたが、閉じられませんでした。\r\n" +
             ReasonText(DescribeFailure(Refusal("606")))},
        {{RecordedCloseFailed{
             false, RecordedPinhole("2001:db8::5", 80, "UDP", "", ""), Refusal("606"), {}}},
         "■ [2001:db8::5]:80 [UDP/IPv6] : " + std::string(kCloseFailure) +
             ReasonText(DescribePinholeFailure(Refusal("606"), "80/UDP"))},
        {{RecordedElsewhere{"uuid:1", "192.168.0.1", 2}},
         "※ ルータ 192.168.0.1 (uuid:1) で開いた 2件は閉じていません "
         "(この実行でそのルータに届かなかったか、閉じられませんでした)。記録に残しています。\r\n"},
        {{NothingRecorded{}}, "◆Pontaroが開いたポートの記録はありません\r\n"},
        {{RecordTrouble{{OpenedRecord::Trouble::What::kSetAside, "/c/opened-ports.txt",
                         "/c/opened-ports.txt.damaged-5"}}},
         "※ 開いたポートの記録 (/c/opened-ports.txt) を読めなかったため "
         "/c/opened-ports.txt.damaged-5 として残し、新しく記録を始めます。\r\n"},
    };
    // Outside addresses that the internet cannot reach are flagged.
    for (const char* kind : {"0.0.0.0", "10.1.2.3", "172.20.0.1", "192.168.0.10", "100.64.12.34",
                             "169.254.3.4", "127.0.0.1", "192.0.0.8", "192.0.2.5", "198.51.100.2",
                             "203.0.113.7", "198.18.4.4", "240.1.2.3"}) {
        cases.push_back({{OutsideAddress{kind, true, {}}},
                         std::string("- External IP : ") + kind + "\r\n※ ルータの外側のアドレス (" +
                             kind + ") " + kNotGlobal});
    }
    for (const Case& c : cases) {
        EXPECT_EQ(LogOf(c.events), c.log);
    }
}

// The same events in English: the sentences that are put together from
// parts (reasons, notes, the line's ports) read as whole sentences there too.
TEST(LogWriter, EnglishLinesKeepTheMarkersAndTheFacts) {
    ScopedLanguage english(texts::Language::kEnglish);
    RuleResult taken;
    taken.failure = Refusal("718");
    RuleResult held = taken;
    held.holderKnown = true;
    held.holder = PortMappingEntry{"", "25565", "TCP", "25565", "192.168.0.23", "1", "game", "0"};
    const PortMappingEntry here{"", "8080", "TCP", "8080", "10.0.0.2", "1", "web", "0"};
    struct Case {
        std::vector<Event> events;
        std::string log;
    };
    const std::vector<Case> cases = {
        {{GatewayFound{"192.168.0.1", "http://192.168.0.1:5000/rootDesc.xml"}},
         "◆UPnP router found\r\n- Address : 192.168.0.1\r\n"
         "- Control URL : http://192.168.0.1:5000/rootDesc.xml\r\n"},
        {{RuleStarted{Operation::kOpen, Rule("8081", "8081", "TCP")},
          RuleOpened{Rule("8081", "8081", "TCP"),
                     Result(RuleResult::Kind::kAlreadyThere, "192.168.0.2", "web")}},
         "■ 8081 -> 8081 [TCP] : ○ Opened.\r\n"
         "  ※ The router already had this mapping (description: web).\r\n"},
        {{RuleFailed{Rule("25565", "25565", "TCP"), held}},
         "× Could not open.\r\n  Reason: Port 25565/TCP is already mapped to "
         "192.168.0.23:25565 (description: game) (UPnP error 718).\r\n"},
        {{RuleFailed{Rule("21", "2121", "udp"), taken}},
         "× Could not open.\r\n  Reason: Port 21/udp is already used by another mapping (UPnP "
         "error 718). Many routers open only ports 1024 to 65535 by default.\r\n"},
        {{RuleFailed{Rule("80", "80", "TCP"), OutsideSet(80, {}, line::PortRange{4368, 4383})}},
         "× Could not open.\r\n  Reason: Port 80 cannot be reached from the internet on this line "
         "(MAP-E, v6 Plus). Usable nearby: 4368-4383 (other ports reach other subscribers "
         "sharing the line).\r\n"},
        {{OutsideAddress{"100.64.12.34", true, {}}},
         "- External IP : 100.64.12.34\r\n※ The router's outside address (100.64.12.34) is not a "
         "global address: the router is behind the NAT of the provider or of another router, so "
         "this port cannot be reached from the internet.\r\n"},
        {{TableListed{"10.0.0.2", {here}, true, false, {}}},
         "◆Port mappings : 1\r\n"
         "  External  Protocol  Forwarded to   Description  Lease\r\n"
         "* 8080      TCP       10.0.0.2:8080  web          no expiry\r\n"
         "(* forwards to this computer)\r\n"},
        {{PcpGatewayFound{pcp::GatewayProtocol::kNatPmp, "10.0.0.1"}, PcpLifetime{7200}},
         "◆NAT-PMP router found\r\n- Address : 10.0.0.1\r\n"
         "- Lifetime : 7200 s (2 h, how long the router keeps the mappings)\r\n"},
        {{PcpRuleFailed{Operation::kOpen, Rule("80", "80", "TCP"), pcp::MapOutcome::kRefused,
                        pcp::ResultCode::kUnknown, 99}},
         "× Could not open.\r\n  Reason: The router refused the request (result code 99).\r\n"},
        {{RecordedElsewhere{"uuid:1", "192.168.0.1", 2}},
         "※ 2 opened on router 192.168.0.1 (uuid:1) were not closed (this run did not reach that "
         "router, or could not close them). They stay in the record.\r\n"},
        {{GatewayNotFound{}, RunEnded{}}, "No UPnP router was found.\r\n\r\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LogOf(c.events), c.log);
    }
}
