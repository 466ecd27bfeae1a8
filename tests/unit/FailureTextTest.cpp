#include "app/FailureText.h"

#include <gtest/gtest.h>

namespace {

// A Japanese line holds no ASCII word of three or more letters in a row
// except the names it means to use.
bool JapaneseOnly(std::string text) {
    for (const char* name : {"UPnP", "HTTP", "TCP", "UDP", "NAT", "URL", "FRITZ!Box", "miniupnpd",
                             "M-SEARCH", "WANIPConnection", "WANPPPConnection", "WAN"}) {
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

TEST(FailureText, EachUpnpErrorIsExplainedInJapanese) {
    struct Case {
        const char* code;
        const char* name;
        const char* port;
        std::string says;
    };
    for (const Case& c : {
             Case{"402", "Invalid Args", "8080",
                  "ポート番号、プロトコル (TCP か UDP)、割り当ての期間"},
             Case{"501", "Action Failed", "8080", "NATの内側"},
             Case{"606", "Action not authorized", "8080", "独立したポート共有を許可"},
             Case{"606", "Action not authorized", "80", "1024～65535 のポートしか開けません"},
             Case{"714", "NoSuchEntryInArray", "8080", "該当する割り当てがありません"},
             Case{"716", "WildCardNotPermittedInExtPort", "0", "外部ポート 0"},
             Case{"718", "ConflictInMappingEntry", "8080",
                  "ポート 8080/TCP はすでに別の割り当てに使われています (UPnPエラー 718)。"},
             Case{"718", "ConflictInMappingEntry", "443", "1024～65535"},
             Case{"724", "SamePortValuesRequired", "8080", "同じ番号"},
             Case{"725", "OnlyPermanentLeasesSupported", "8080", "期間を限らない"},
             Case{"726", "RemoteHostOnlySupportsWildcard", "8080", "接続元ホスト"},
             Case{"727", "ExternalPortOnlySupportsWildcard", "8080", "外部ポートを指定した"},
             Case{"728", "NoPortMapsAvailable", "8080", "表がいっぱいです"},
             Case{"799", "Vendor", "8080", "ルータが要求を拒否しました (UPnPエラー 799)。"},
         }) {
        const std::string text = DescribeRuleFailure(Refused(c.code, c.name), Rule(c.port, "TCP"));
        EXPECT_EQ(text.rfind("理由: ", 0), 0u) << c.code;
        EXPECT_NE(text.find(c.says), std::string::npos) << c.code << ": " << text;
        EXPECT_NE(text.find(std::string("(UPnPエラー ") + c.code + ")"), std::string::npos) << text;
        EXPECT_TRUE(JapaneseOnly(text)) << text;
    }
    // The hint about low ports belongs to refusals of a taken or forbidden port only.
    EXPECT_EQ(DescribeRuleFailure(Refused("402", ""), Rule("80", "TCP")).find("65535"),
              std::string::npos);
    EXPECT_EQ(DescribeRuleFailure(Refused("718", ""), Rule("1024", "TCP")).find("65535"),
              std::string::npos);
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
