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
        {{TableListed{"10.0.0.2", {}, true, false}}, kTableEmpty},
        {{TableListed{"10.0.0.2", {}, false, false}, TableFailed{Refusal("501")}},
         std::string(kTableFailure) + ReasonText(DescribeFailure(Refusal("501")))},
        {{TableListed{"10.0.0.2", {here}, true, true}},
         TableHeadingText(1) + MappingTableText({here}, "10.0.0.2") + kTableMarkNote +
             kTableCapped},
        {{TableListed{"10.0.0.9", {here}, true, false}},
         TableHeadingText(1) + MappingTableText({here}, "10.0.0.9")},
        {{OutsideAddress{"1.2.3.4", true, {}}}, "- External IP : 1.2.3.4\r\n"},
        {{OutsideAddress{"", true, {}}},
         std::string("- External IP : \r\n※ ルータの外側のアドレス () ") + kNotGlobal},
        {{OutsideAddress{"10.1.2.3", false, {}}}, "- External IP : 10.1.2.3\r\n"},
        {{PeriodicRun{kStampTime}}, FormatLocalTime(kStampTime, kTimeStampPattern) + kAutoRun},
        {{SettingsNotSaved{}}, kSaveFailed},
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
         "◆PCP/NAT-PMPにはポートマッピングの一覧がありません。このプロセスが設定したもの:\r\n"
         "  (なし)\r\n"},
        {{PcpListed{{{24090, "TCP", "10.0.0.2", 9090, "web"}}}},
         "◆PCP/NAT-PMPにはポートマッピングの一覧がありません。このプロセスが設定したもの:\r\n"
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
        {{PinholesListed{{{"2001:db8:1::2", 8080, "UDP", "7"}}}},
         "◆IPv6のピンホールはルータから一覧を読めません。このプロセスが開いたもの:\r\n"
         "  [2001:db8:1::2]:8080 [UDP/IPv6]\r\n"},
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
        std::string log;
        LogWriter writer([&log](const std::string& t) { log += t; });
        for (const Event& e : c.events) {
            writer(e);
        }
        EXPECT_EQ(log, c.log);
    }
}
