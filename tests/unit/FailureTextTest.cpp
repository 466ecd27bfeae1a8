#include "app/FailureText.h"

#include <gtest/gtest.h>

#include "app/PinholeLogText.h"
#include "pcp/ResultCode.h"

namespace {

// A Japanese line holds no ASCII word of three or more letters in a row
// except the names it means to use.
bool JapaneseOnly(std::string text) {
    for (const char* name : {"UPnP", "HTTP", "TCP", "UDP", "NAT", "URL", "FRITZ!Box", "miniupnpd",
                             "M-SEARCH", "WANIPConnection", "WANPPPConnection", "WAN", "IPv6"}) {
        for (std::size_t at; (at = text.find(name)) != std::string::npos;) {
            text.erase(at, std::string(name).size());
        }
    }
    int letters = 0;
    for (char c : text) {
        letters = ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) ? letters + 1 : 0;
        if (letters >= 3) {
            return false;
        }
    }
    return true;
}

PortMappingRule Rule(const char* external, const char* protocol) {
    PortMappingRule rule;
    rule.externalPort = external;
    rule.internalPort = external;
    rule.protocol = protocol;
    rule.description = "web";
    return rule;
}

RuleResult Refused(const std::string& code, const std::string& name) {
    RuleResult r;
    r.failure.step = FailureReason::Step::kStatus;
    r.failure.httpStatus = 500;
    r.failure.httpStatusText = "Internal Server Error";
    r.failure.upnpErrorCode = code;
    r.failure.upnpErrorDescription = name;
    r.failure.detail = "AddPortMapping POST";
    return r;
}

}  // namespace

// Every code the reason tables know, each with what only its own text says:
// a row missing from a table shows here. `pinhole`: the IPv6 pinholes' table.
TEST(FailureText, EachUpnpErrorIsExplainedInJapanese) {
    struct Case {
        const char* code;
        const char* name;
        const char* port;
        std::string says;
        bool pinhole = false;
    };
    for (const Case& c : {
             Case{"401", "Invalid Action", "8080", "この要求に対応していません"},
             Case{"402", "Invalid Args", "8080",
                  "ポート番号、プロトコル (TCP か UDP)、割り当ての期間"},
             Case{"501", "Action Failed", "8080", "NATの内側"},
             Case{"606", "Action not authorized", "8080", "独立したポート共有を許可"},
             Case{"606", "Action not authorized", "80", "1024～65535 のポートしか開けません"},
             Case{"714", "NoSuchEntryInArray", "8080", "該当する割り当てがありません"},
             Case{"715", "WildCardNotPermittedInSrcIP", "8080", "接続元アドレスを限らない割り当て"},
             Case{"716", "WildCardNotPermittedInExtPort", "0", "外部ポート 0"},
             Case{"718", "ConflictInMappingEntry", "8080",
                  "ポート 8080/TCP はすでに別の割り当てに使われています (UPnPエラー 718)。"},
             Case{"718", "ConflictInMappingEntry", "443", "1024～65535"},
             Case{"724", "SamePortValuesRequired", "8080", "同じ番号"},
             Case{"725", "OnlyPermanentLeasesSupported", "8080", "期間を限らない"},
             Case{"726", "RemoteHostOnlySupportsWildcard", "8080", "接続元ホスト"},
             Case{"727", "ExternalPortOnlySupportsWildcard", "8080", "外部ポートを指定した"},
             Case{"728", "NoPortMapsAvailable", "8080", "728)。使っていない割り当てを"},
             Case{"799", "Vendor", "8080", "ルータが要求を拒否しました (UPnPエラー 799)。"},
             Case{"606", "Action not authorized", "8080", "同じアドレスへの、1024 以上", true},
             Case{"701", "PinholeSpaceExhausted", "8080", "ピンホールの表がいっぱい", true},
             Case{"702", "FirewallDisabled", "8080", "ファイアウォールは無効", true},
             Case{"703", "", "8080", "設定がIPv6のピンホールを許して", true},
             Case{"704", "NoSuchEntry", "8080", "このピンホールはありません", true},
             Case{"705", "ProtocolNotSupported", "8080", "このプロトコルのピンホール", true},
             Case{"706", "InternalPortWildcardingNotAllowed", "8080", "内部ポートを限らない", true},
             Case{"707", "ProtocolWildcardingNotAllowed", "8080", "プロトコルを限らない", true},
             Case{"708", "", "8080", "接続元アドレスを限らないピン", true},
             Case{"709", "NoTrafficReceived", "8080", "通った通信はまだありません", true},
         }) {
        const RuleResult refused = Refused(c.code, c.name);
        const std::string text =
            c.pinhole ? DescribePinholeFailure(refused.failure, std::string(c.port) + "/TCP")
                      : DescribeRuleFailure(refused, Rule(c.port, "TCP"));
        EXPECT_EQ(text.rfind("理由: ", 0), 0u) << c.code;
        EXPECT_NE(text.find(c.says), std::string::npos) << c.code << ": " << text;
        EXPECT_NE(text.find(std::string("UPnPエラー ") + c.code + ")"), std::string::npos) << text;
        EXPECT_TRUE(JapaneseOnly(text)) << text;
    }
    // The hint about low ports belongs to refusals of a taken or forbidden port only.
    EXPECT_EQ(DescribeRuleFailure(Refused("402", ""), Rule("80", "TCP")).find("65535"),
              std::string::npos);
    EXPECT_EQ(DescribeRuleFailure(Refused("718", ""), Rule("1024", "TCP")).find("65535"),
              std::string::npos);
}

// Every PCP result code as the router sends it, told by its own text and name.
TEST(FailureText, EachPcpResultIsExplainedByItsName) {
    const struct {
        std::uint8_t raw;
        const char* says;
    } rows[] = {
        {1, "この版のプロトコルに対応していません (UNSUPP_VERSION)"},
        {2, "禁じています (UPnPを切ったFRITZ!Boxもこう答えます) (NOT_AUTHORIZED)"},
        {3, "1～65535 で指定してください) (MALFORMED_REQUEST)"},
        {4, "割り当ての要求に対応していません (UNSUPP_OPCODE)"},
        {5, "オプションに対応していません (UNSUPP_OPTION)"},
        {6, "オプションの形が不正です (MALFORMED_OPTION)"},
        {7, "外側のアドレスがまだありません (NETWORK_FAILURE)"},
        {8, "表かポートが足りません (NO_RESOURCES)"},
        {9, "TCP か UDP を指定してください) (UNSUPP_PROTOCOL)"},
        {10, "割り当ての数を超えました (USER_EX_QUOTA)"},
        {11, "外部ポートを用意できません (CANNOT_PROVIDE_EXTERNAL)"},
        {12, "もう一台のNATがあります) (ADDRESS_MISMATCH)"},
        {13, "相手の数が多すぎる割り当てを受け付けません (EXCESSIVE_REMOTE_PEERS)"},
        {14, "ルータが要求を拒否しました (結果コード 14)"},
    };
    for (const auto& row : rows) {
        const std::string text =
            DescribePcpFailure(pcp::MapOutcome::kRefused, pcp::FromPcpResult(row.raw), row.raw);
        EXPECT_NE(text.find(row.says), std::string::npos) << text;
    }
}

TEST(FailureText, TakenPortNamesItsHolder) {
    RuleResult r = Refused("718", "ConflictInMappingEntry");
    r.holderKnown = true;
    r.holder = {"", "8080", "TCP", "8080", "192.168.77.3", "1", "web\r\nserver", "0"};
    EXPECT_EQ(DescribeRuleFailure(r, Rule("8080", "TCP")),
              "理由: ポート 8080/TCP は 192.168.77.3:8080 (説明: web  server) に割り当て済みです "
              "(UPnPエラー 718)。");
    r.holder = {"", "21", "UDP", "x", "10.0.0.9", "1", "", "0"};
    EXPECT_EQ(DescribeRuleFailure(r, Rule("21", "UDP")),
              "理由: ポート 21/UDP は 10.0.0.9:? に割り当て済みです (UPnPエラー 718)。"
              "多くのルータは初期設定で 1024～65535 のポートしか開けません。");
}

TEST(FailureText, EveryStepSaysSomethingInJapaneseOnOneLine) {
    for (int s = static_cast<int>(FailureReason::Step::kNone);
         s <= static_cast<int>(FailureReason::Step::kNoService); ++s) {
        FailureReason r;
        r.step = static_cast<FailureReason::Step>(s);
        r.detail = "description GET: no complete header block in time";
        const std::string text = DescribeFailure(r);
        EXPECT_EQ(text.rfind("理由: ", 0), 0u) << s;
        EXPECT_GT(text.size(), std::string("理由: ").size()) << s;
        EXPECT_TRUE(JapaneseOnly(text)) << text;
    }
    FailureReason r;
    r.step = FailureReason::Step::kStatus;
    r.httpStatus = 404;
    r.httpStatusText = "Not Found";
    EXPECT_EQ(DescribeFailure(r), "理由: ルータが要求を拒否しました (HTTP 404)。");
}

TEST(FailureText, RecordKeepsTheRouterWordsOnOneLine) {
    EXPECT_EQ(DescribeFailureRecord(Refused("718", "ConflictInMappingEntry").failure),
              "AddPortMapping POST: HTTP 500 Internal Server Error, UPnPError 718 "
              "ConflictInMappingEntry");
    FailureReason r;
    r.step = FailureReason::Step::kConnect;
    r.detail = "refused\r\nsecond line \xFF";
    EXPECT_EQ(DescribeFailureRecord(r), "refused  second line \uFFFD");
    r.detail.clear();
    EXPECT_EQ(DescribeFailureRecord(r), "");
    r.upnpErrorCode =
        "7\xFF"
        "18";
    EXPECT_EQ(DescribeFailure(r), "理由: ルータが要求を拒否しました (UPnPエラー 7\uFFFD18)。");
}
