// The window's logic with a fake window and a scripted gateway on loopback:
// each run searches only the scripted responder (no multicast, no default
// gateways).
#include "app/WindowController.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "app/ActivityLog.h"
#include "app/PortMappingRule.h"
#include "app/Profile.h"
#include "support/EventRecorder.h"
#include "support/FakeWindow.h"
#include "support/LoopbackListener.h"
#include "support/ScriptedGateway.h"

namespace fs = std::filesystem;
using namespace activity_log;

namespace {

const std::int64_t kStampTime = 1054425907;  // 2003-06-01 00:05:07 UTC

class RunCycle : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(gateway_.Ready());
        std::random_device rd;
        dir_ = fs::temp_directory_path() / ("pontaro-dlg-" + std::to_string(rd()));
        profilePath_ = (dir_ / "pontaro.ini").string();
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    // A dialog whose runs search only `gateway`.
    std::unique_ptr<WindowController> MakeDlg(ScriptedGateway& gateway, Profile* profile,
                                              unsigned listenMs = 1500) {
        auto dlg = std::make_unique<WindowController>(window_, profile);
        dlg->Session().targets = gateway.Targets(listenMs);
        dlg->SetClock([] { return kStampTime; });
        heard_.Clear();
        dlg->Listen(heard_.Receiver());
        return dlg;
    }
    int RunCount() const { return heard_.Count<session::RunStarted>(); }
    std::string Found() const {
        return std::string(kFound) +
               "- Address : 127.0.0.1\r\n- Control URL : " + gateway_.Location() + "\r\n";
    }

    ScriptedGateway gateway_;
    FakeWindow window_;
    EventRecorder heard_;  // the events of the last dialog made
    fs::path dir_;
    std::string profilePath_;
};

}  // namespace

TEST_F(RunCycle, RulesSucceedAndFailInTurnAndEachGetsItsLine) {
    gateway_.ScriptSoapReplies({{200, "", ""}, {500, "718", "ConflictInMappingEntry"}});
    window_.rules = "80, 80, TCP, HTTP接続の通過\r\n21,2121,udp, FTP, data\r\n8080a, x, TCP, c";
    auto dlg = MakeDlg(gateway_, nullptr);
    std::vector<FailureReason> reasons;
    dlg->Listen(When<session::RuleFailed>([&](const session::RuleFailed& e) {
        const FailureReason& r = e.result.failure;
        reasons.push_back(r);
        // Called after the failure line and its reason are in the log.
        const std::string tail = std::string(kFailure) + "  理由: ";
        const std::size_t at = window_.log.rfind(tail);
        ASSERT_NE(at, std::string::npos);
        EXPECT_EQ(window_.log.find("\r\n", at + tail.size()), window_.log.size() - 2);
    }));
    dlg->Open();

    EXPECT_EQ(window_.log,
              Found() + "■ 80 -> 80 [TCP] : " + kSuccess + "■ 21 -> 2121 [udp] : " + kFailure +
                  "  理由: ポート 21/udp はすでに別の割り当てに使われています (UPnPエラー 718)。"
                  "多くのルータは初期設定で 1024～65535 のポートしか開けません。\r\n" +
                  "■ 8080a -> x [TCP] : " + kSuccess + "\r\n");
    // The outside address is asked once, after the first mapping; the holder
    // of a taken port right after the refusal.
    std::vector<std::string> actions;
    for (const auto& post : gateway_.ActionPosts()) {
        actions.push_back(post.action);
        EXPECT_EQ(post.path, "/ctl/IPConn");
    }
    EXPECT_EQ(actions,
              (std::vector<std::string>{"AddPortMapping", "GetExternalIPAddress", "AddPortMapping",
                                        "GetSpecificPortMappingEntry", "AddPortMapping"}));
    EXPECT_EQ(SoapArgument(gateway_.ActionPosts()[3].body, "NewExternalPort"), "21");
    EXPECT_EQ(SoapArgument(gateway_.ActionPosts()[3].body, "NewProtocol"), "udp");
    const auto posts = gateway_.Posts();
    ASSERT_EQ(posts.size(), 3u);
    EXPECT_EQ(SoapArgument(posts[0], "NewExternalPort"), "80");
    EXPECT_EQ(SoapArgument(posts[0], "NewInternalPort"), "80");
    EXPECT_EQ(SoapArgument(posts[0], "NewProtocol"), "TCP");
    EXPECT_EQ(SoapArgument(posts[0], "NewPortMappingDescription"), "HTTP接続の通過");
    EXPECT_EQ(SoapArgument(posts[1], "NewProtocol"), "UDP");  // the log keeps "udp"
    EXPECT_EQ(SoapArgument(posts[1], "NewPortMappingDescription"), "FTP, data");
    // The numbers sent are the atoi values, the log shows the texts.
    EXPECT_EQ(SoapArgument(posts[2], "NewExternalPort"), "8080");
    EXPECT_EQ(SoapArgument(posts[2], "NewInternalPort"), "0");

    ASSERT_EQ(reasons.size(), 1u);
    EXPECT_EQ(reasons[0].httpStatus, 500);
    EXPECT_EQ(reasons[0].upnpErrorCode, "718");
    EXPECT_EQ(heard_.Count<session::RuleStarted>(), 3);
    EXPECT_EQ(heard_.Count<session::RuleFailed>(), 1);
    EXPECT_EQ(heard_.Count<session::GatewayFound>(), 1);
}

TEST_F(RunCycle, OutsideAddressFollowsTheRulesAndIsFlaggedWhenNotPublic) {
    using Reply = ScriptedGateway::SoapReply;
    const auto address = [](const char* a) {
        return Reply{200, "", "", {{"NewExternalIPAddress", a}}};
    };
    const std::string warning =
        "はグローバルアドレスではありません。プロバイダやもう一台のルータのNATの内側にあるため、"
        "インターネットからこのポートには届きません。\r\n";
    struct Case {
        Reply reply;
        std::string tail;  // after the rule lines
    };
    std::vector<Case> cases = {
        {address("1.2.3.4"), "- External IP : 1.2.3.4\r\n"},
        {address(""), "- External IP : \r\n※ ルータの外側のアドレス () " + warning},
        {Reply{501, "501", "Action Failed", {}}, ""},
        {Reply{}, ""},  // a response without the address
    };
    for (const char* kind : {"0.0.0.0", "10.1.2.3", "172.20.0.1", "192.168.0.10", "100.64.12.34",
                             "169.254.3.4", "127.0.0.1", "192.0.0.8", "192.0.2.5", "198.51.100.2",
                             "203.0.113.7", "198.18.4.4", "240.1.2.3"}) {
        cases.push_back({address(kind), std::string("- External IP : ") + kind +
                                            "\r\n※ ルータの外側のアドレス (" + kind + ") " +
                                            warning});
    }
    window_.rules = "80, 80, TCP, a\r\n81, 81, TCP, b";
    for (const Case& c : cases) {
        window_.log.clear();
        gateway_.ScriptActionReplies("GetExternalIPAddress", {c.reply});
        const std::size_t before = gateway_.ActionPosts().size();
        auto dlg = MakeDlg(gateway_, nullptr);
        dlg->Open();
        EXPECT_EQ(window_.log, Found() + "■ 80 -> 80 [TCP] : " + kSuccess +
                                   "■ 81 -> 81 [TCP] : " + kSuccess + c.tail + "\r\n")
            << c.tail;
        EXPECT_EQ(gateway_.ActionPosts().size() - before, 3u);  // two rules, one question
        EXPECT_EQ(heard_.Count<session::RuleFailed>(), 0);
    }

    // No rule mapped: nothing is asked.
    window_.log.clear();
    gateway_.ScriptSoapReplies({{500, "606", "Action not authorized"}});
    gateway_.ScriptActionReplies("GetExternalIPAddress", {address("1.2.3.4")});
    window_.rules = "8080, 8080, TCP, a";
    const std::size_t before = gateway_.ActionPosts().size();
    MakeDlg(gateway_, nullptr)->Open();
    EXPECT_EQ(gateway_.ActionPosts().size() - before, 1u);
    EXPECT_EQ(window_.log.find("External IP"), std::string::npos);
}

TEST_F(RunCycle, RefusedRuleGetsItsReasonAndATakenPortItsHolder) {
    using Reply = ScriptedGateway::SoapReply;
    CRouterDevice probe;
    probe.address = IpAddress(loopback::Address());
    const std::string self = probe.GetLocalAddress().ToText();
    const auto holder = [](const std::string& client, const char* port) {
        return Reply{200,
                     "",
                     "",
                     {{"NewInternalPort", port},
                      {"NewInternalClient", client},
                      {"NewPortMappingDescription", "web"}}};
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
        window_.log.clear();
        gateway_.ScriptSoapReplies(c.adds);
        gateway_.ScriptActionReplies("GetSpecificPortMappingEntry", c.holders);
        window_.rules = "8080, 8080, TCP, mine";
        const std::size_t before = gateway_.Posts().size();
        auto dlg = MakeDlg(gateway_, nullptr);
        std::vector<std::string> failures;
        dlg->Listen(When<session::RuleFailed>([&](const session::RuleFailed& e) {
            failures.push_back(e.result.failure.upnpErrorCode);
        }));
        dlg->Open();
        const std::string line = Found() + "■ 8080 -> 8080 [TCP] : " + c.outcome;
        EXPECT_EQ(window_.log.compare(0, line.size(), line), 0) << window_.log;
        EXPECT_EQ(window_.log.find("■", line.size()), std::string::npos);  // one rule, one line
        std::vector<std::string> leases;
        const auto posts = gateway_.Posts();
        for (std::size_t i = before; i < posts.size(); ++i) {
            leases.push_back(SoapArgument(posts[i], "NewLeaseDuration"));
        }
        EXPECT_EQ(leases, c.leases) << c.outcome;
        // The callback hears why the mapping was refused, not the holder question.
        const bool failed = c.outcome.rfind(kFailure, 0) == 0;
        EXPECT_EQ(heard_.Count<session::RuleFailed>(), failed ? 1 : 0) << c.outcome;
        EXPECT_EQ(failures, failed ? std::vector<std::string>{c.adds.back().errorCode}
                                   : std::vector<std::string>{})
            << c.outcome;
    }
}

TEST_F(RunCycle, BlankOrIncompleteLineEndsTheListSilently) {
    struct Case {
        const char* rules;
        std::string log;
    };
    const std::string one = std::string("■ 80 -> 80 [TCP] : ") + kSuccess;
    for (const Case& c :
         {Case{"", ""}, Case{"80, 80, TCP, a\r\n\r\n21, 21, TCP, b", one},
          Case{"80, 80, TCP, a\r\n21, 21, TCP\r\n22, 22, TCP, c", one},
          Case{"80, 80, TCP, a\r\n,,,\r\n22, 22, TCP, c", one},
          Case{"80, 80, TCP,  \r\n22, 22, TCP, c", ""}, Case{"80, 80, TCP, a\r\n\r\n\r\n", one}}) {
        window_.log.clear();
        window_.rules = c.rules;
        const std::size_t postsBefore = gateway_.Posts().size();
        MakeDlg(gateway_, nullptr)->Open();
        EXPECT_EQ(window_.log, Found() + c.log + "\r\n") << c.rules;
        EXPECT_EQ(gateway_.Posts().size() - postsBefore, c.log.empty() ? 0u : 1u) << c.rules;
    }
}

TEST_F(RunCycle, ADevicePassedOverIsToldAndTheLogShowsTheGatewayTaken) {
    ScriptedGateway network(std::vector<ScriptedGateway::Device>{
        {"/WFADevice.xml",
         "<?xml version=\"1.0\"?><root xmlns=\"urn:schemas-upnp-org:device-1-0\"><device>"
         "<serviceList><service><serviceType>urn:schemas-wifialliance-org:service:"
         "WFAWLANConfig:1</serviceType><controlURL>/wps</controlURL></service></serviceList>"
         "</device></root>",
         {}},
        {}});
    ASSERT_TRUE(network.Ready());
    window_.rules = "80, 80, TCP, a";
    auto dlg = MakeDlg(network, nullptr);
    std::vector<std::string> passedOver;
    dlg->Listen(When<session::GatewayPassedOver>([&](const session::GatewayPassedOver& e) {
        passedOver.push_back(e.location);
        EXPECT_EQ(e.reason.step, FailureReason::Step::kNoService);
        EXPECT_EQ(window_.log, "");  // before the found text
    }));
    dlg->Open();
    EXPECT_EQ(passedOver, std::vector<std::string>{network.Url("/WFADevice.xml")});
    EXPECT_EQ(window_.log, std::string(kFound) + "- Address : 127.0.0.1\r\n- Control URL : " +
                               network.Location() + "\r\n■ 80 -> 80 [TCP] : " + kSuccess + "\r\n");
}

TEST_F(RunCycle, NoGatewayEndsTheRunAfterStoringTheText) {
    ScriptedGateway silent(false);
    window_.rules = "80, 80, TCP, a\r\n21, 21, TCP, b";
    window_.log = "earlier\r\n";
    Profile profile(profilePath_);
    auto dlg = MakeDlg(silent, &profile, 300);
    int notFoundCalls = 0;
    dlg->Listen(When<session::GatewayNotFound>([&](const session::GatewayNotFound& e) {
        ++notFoundCalls;
        EXPECT_NE(e.reason.step, FailureReason::Step::kNone);
    }));
    dlg->Open();
    EXPECT_EQ(window_.log, std::string("earlier\r\n") + kNotFound + kRunEnd);
    EXPECT_EQ(notFoundCalls, 1);
    EXPECT_GE(silent.Searches(), 1);
    EXPECT_EQ(silent.DescriptionGets(), 0);
    EXPECT_EQ(heard_.Count<session::GatewayFound>(), 0);
    EXPECT_EQ(Profile(profilePath_).GetString("Setting", "Setting", "missing"),
              "80, 80, TCP, a\\r\\n21, 21, TCP, b");
}

TEST_F(RunCycle, ProfileThatCannotBeSavedIsReportedAndTheRunGoesOn) {
    // A profile whose folder cannot be made (a file holds its name) and one
    // that exists but cannot be read: both keep the rules out of the file.
    fs::create_directories(dir_);
    { std::ofstream(dir_ / "blocker") << "a file, not a folder"; }
    fs::create_directories(dir_ / "unreadable.ini");
    for (const fs::path& path : {dir_ / "blocker" / "pontaro.ini", dir_ / "unreadable.ini"}) {
        SCOPED_TRACE(path.string());
        window_.log.clear();
        window_.rules = "80, 80, TCP, a";
        Profile profile(path.string());
        auto dlg = MakeDlg(gateway_, &profile);
        dlg->Open();
        EXPECT_EQ(window_.log,
                  std::string(kSaveFailed) + Found() + "■ 80 -> 80 [TCP] : " + kSuccess + "\r\n");
        EXPECT_EQ(heard_.Count<session::RuleFailed>(), 0);
    }
    EXPECT_TRUE(fs::is_directory(dir_ / "unreadable.ini"));
}

TEST_F(RunCycle, SettingIsWrittenInStoredFormAtEveryRunAndOnlyThere) {
    Profile profile(profilePath_);
    window_.rules = "80, 80, TCP, a\r\n";
    window_.autoUpdate = true;
    auto dlg = MakeDlg(gateway_, &profile);
    dlg->Start();  // empty profile: clears the controls
    EXPECT_EQ(window_.rules, "");
    EXPECT_FALSE(fs::exists(profilePath_));  // loading writes nothing

    window_.rules = "80, 80, TCP, a\r\n";
    dlg->Open();
    EXPECT_EQ(Profile(profilePath_).GetString("Setting", "Setting", ""), "80, 80, TCP, a\\r\\n");
    EXPECT_EQ(Profile(profilePath_).GetString("Setting", "Auto", "missing"), "missing");

    window_.rules = "changed but never run";
    window_.autoUpdate = true;
    window_.autoMinimize = true;
    dlg->Finish();
    Profile saved(profilePath_);
    EXPECT_EQ(saved.GetString("Setting", "Setting", ""), "80, 80, TCP, a\\r\\n");
    EXPECT_EQ(saved.GetInt("Setting", "Auto", 0), 1);
    EXPECT_EQ(saved.GetInt("Setting", "Close", 0), 1);
    EXPECT_EQ(window_.events.back(), "RemoveTray");
}

TEST_F(RunCycle, InitDialogRestoresTheSettings) {
    {
        Profile profile(profilePath_);
        profile.WriteString("Setting", "Setting", "80, 80, TCP, a\\r\\n21, 21, TCP, b");
        profile.WriteInt("Setting", "Auto", 1);
        profile.WriteInt("Setting", "Close", 0);
    }
    Profile profile(profilePath_);
    auto dlg = MakeDlg(gateway_, &profile);
    window_.autoMinimize = true;
    dlg->Start();
    EXPECT_EQ(window_.rules, "80, 80, TCP, a\r\n21, 21, TCP, b");
    EXPECT_TRUE(window_.autoUpdate);
    EXPECT_FALSE(window_.autoMinimize);
    EXPECT_TRUE(dlg->TimerNeeded());  // the first tick is still to come
    EXPECT_EQ(window_.events.back(), "AddTray");
}

TEST_F(RunCycle, AppendLogHandsTheWindowOnlyTheNewText) {
    auto dlg = MakeDlg(gateway_, nullptr);
    window_.log = "a\r\n";
    dlg->AppendLog("");
    dlg->AppendLog("b");
    dlg->AppendLog("c\xFF\r\n");
    EXPECT_EQ(window_.log, "a\r\nbc\xEF\xBF\xBD\r\n");
    // An empty append still reaches the window, which scrolls on every one.
    EXPECT_EQ(window_.events,
              (std::vector<std::string>{"AppendLog 0", "AppendLog 1", "AppendLog 6"}));
}

TEST_F(RunCycle, FirstTickMinimisesThenRunsWhateverTheCheckBox) {
    window_.autoMinimize = true;
    auto dlg = MakeDlg(gateway_, nullptr);
    dlg->Tick();
    ASSERT_GE(window_.events.size(), 3u);
    EXPECT_EQ(window_.events[0], "Hide");
    EXPECT_EQ(window_.events[1], "Minimize");
    EXPECT_EQ(window_.log, Found() + "\r\n");
    EXPECT_EQ(RunCount(), 1);
    EXPECT_EQ(dlg->PeriodicTicks(), 0);  // not counted while unticked

    // Until the box is ticked, further ticks would change nothing.
    EXPECT_FALSE(dlg->TimerNeeded());
    dlg->Tick();  // no second start-up run, no second minimising
    EXPECT_EQ(RunCount(), 1);
    EXPECT_EQ(std::count(window_.events.begin(), window_.events.end(), "Hide"), 1);
}

TEST_F(RunCycle, PeriodicRunOnThe6001stCountedTick) {
    window_.autoUpdate = true;
    auto dlg = MakeDlg(gateway_, nullptr);
    EXPECT_TRUE(dlg->TimerNeeded());  // before the first tick
    dlg->Tick();                      // the start-up run; this tick is counted too
    EXPECT_TRUE(dlg->TimerNeeded());
    EXPECT_EQ(RunCount(), 1);
    EXPECT_EQ(dlg->PeriodicTicks(), 1);
    for (int i = 0; i < 3000; ++i) {
        dlg->Tick();
    }
    // Unticking freezes the count; a manual run leaves it alone.
    window_.autoUpdate = false;
    for (int i = 0; i < 5000; ++i) {
        dlg->Tick();
    }
    EXPECT_EQ(dlg->PeriodicTicks(), 3001);
    dlg->Open();
    EXPECT_EQ(dlg->PeriodicTicks(), 3001);
    window_.autoUpdate = true;
    window_.log.clear();
    for (int i = 0; i < 2999; ++i) {
        dlg->Tick();
    }
    EXPECT_EQ(dlg->PeriodicTicks(), 6000);
    EXPECT_EQ(RunCount(), 2);
    EXPECT_EQ(window_.log, "");

    window_.rules = "80, 80, TCP, a";
    dlg->Tick();
    EXPECT_EQ(RunCount(), 3);
    EXPECT_EQ(dlg->PeriodicTicks(), 0);
    EXPECT_EQ(window_.log, FormatLocalTime(kStampTime, kTimeStampPattern) + kAutoRun + Found() +
                               "■ 80 -> 80 [TCP] : " + kSuccess + "\r\n");
    EXPECT_EQ(FormatLocalTime(kStampTime, kTimeStampPattern).size(), 22u);
}

TEST_F(RunCycle, OnlyOurOwnMappingForAnEarlierAddressIsMovedToThisOne) {
    using Reply = ScriptedGateway::SoapReply;
    CRouterDevice probe;
    probe.address = IpAddress(loopback::Address());
    const std::string self = probe.GetLocalAddress().ToText();
    const auto holder = [](const char* client, const char* port, const char* description) {
        return Reply{200,
                     "",
                     "",
                     {{"NewInternalPort", port},
                      {"NewInternalClient", client},
                      {"NewPortMappingDescription", description}}};
    };
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
    for (const Case& c : {
             Case{"", {}, {}, {}, std::string(kSuccess), {"AddPortMapping"}, self},
             Case{"8080, 8080, TCP, mine",
                  {taken},
                  holder("10.77.0.2", "8080", "mine"),
                  {},
                  std::string(kSuccess) +
                      "  ※ 以前のアドレス (10.77.0.2) への割り当てを削除して設定し直しました。\r\n",
                  moved,
                  self},
             Case{"8080, 8080, TCP, mine",
                  {taken},
                  holder("10.77.0.2", "8080", "mine"),
                  {Reply{500, "606", "Action not authorized"}},
                  std::string(kFailure) +
                      "  理由: ポート 8080/TCP はこのコンピュータの以前のアドレス (10.77.0.2) "
                      "に割り当てられたままです。"
                      "ルータはUPnPでこの割り当てを削除することを許していません (UPnPエラー "
                      "606)。ルータの設定画面で削除するか、ルータが割り当てを消すまで待ってく"
                      "ださい。\r\n",
                  {"AddPortMapping", "GetSpecificPortMappingEntry", "DeletePortMapping"},
                  "10.77.0.2"},
             Case{"8080, 8080, TCP, mine",
                  {taken},
                  holder("10.77.0.2", "8080", "mine"),
                  {Reply{500, "714", "NoSuchEntryInArray"}},
                  std::string(kSuccess) +
                      "  ※ 以前のアドレス (10.77.0.2) への割り当てを削除して設定し直しました。\r\n",
                  moved,
                  self},
             Case{"8080, 8080, TCP, mine",
                  {taken},
                  holder("10.77.0.2", "8080", "mine"),
                  {Reply{500, "401", "Invalid Action"}},
                  std::string(kFailure) +
                      "  理由: ポート 8080/TCP はこのコンピュータの以前のアドレス (10.77.0.2) "
                      "に割り当てられたままです。この割り当てを削除できませんでした: "
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
        window_.log.clear();
        gateway_.ScriptSoapReplies(c.adds);
        gateway_.ScriptActionReplies("GetSpecificPortMappingEntry", {c.holder});
        gateway_.ScriptActionReplies("DeletePortMapping", c.deletes);
        window_.rules = "8080, 8080, TCP, mine";
        auto dlg = MakeDlg(gateway_, nullptr);
        PortMappingRule made;
        if (ParseRuleLine(c.made, &made)) {
            dlg->Session().Made().Remember(made, "10.77.0.2");
        }
        const std::size_t before = gateway_.ActionPosts().size();
        dlg->Open();
        EXPECT_EQ(window_.log, Found() + "■ 8080 -> 8080 [TCP] : " + c.outcome + "\r\n")
            << c.made << " / " << c.outcome;
        std::vector<std::string> actions;
        const auto posts = gateway_.ActionPosts();
        for (std::size_t i = before; i < posts.size(); ++i) {
            if (posts[i].action != "GetExternalIPAddress") {
                actions.push_back(posts[i].action);
            }
        }
        EXPECT_EQ(actions, c.actions) << c.made << " / " << c.outcome;
        std::string remembered;
        for (const MadeMapping& m : dlg->Session().Made().Entries()) {
            if (m.externalPort == 8080 && m.protocol == "TCP") {
                remembered = m.internalClient;
            }
        }
        EXPECT_EQ(remembered, c.remembered) << c.made << " / " << c.outcome;
    }
}
