// The dialog's logic with a fake window and a scripted gateway on loopback:
// each run searches only the scripted responder (no multicast, no default
// gateways).
#include "app/PortMapDlg.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "app/ActivityLog.h"
#include "app/Profile.h"
#include "support/ScriptedGateway.h"

namespace fs = std::filesystem;
using namespace activity_log;

namespace {

class FakeWindow : public IPortMapWindow {
public:
    std::string rules;
    bool autoUpdate = false;
    bool autoMinimize = false;
    std::string log;
    std::vector<std::string> events;  // what happened to the window, in order

    std::string GetRuleText() override { return rules; }
    void SetRuleText(const std::string& t) override {
        rules = t;
        events.push_back("SetRuleText");
    }
    bool GetAutoUpdate() override { return autoUpdate; }
    void SetAutoUpdate(bool on) override { autoUpdate = on; }
    bool GetAutoMinimize() override { return autoMinimize; }
    void SetAutoMinimize(bool on) override { autoMinimize = on; }
    std::string GetLogText() override { return log; }
    void SetLogText(const std::string& t) override {
        log = t;
        events.push_back("SetLogText");
    }
    void ScrollLogLines(int lines) override { events.push_back("Scroll " + std::to_string(lines)); }
    void HideWindow() override { events.push_back("Hide"); }
    void MinimizeWindow() override { events.push_back("Minimize"); }
    void AddTrayIcon() override { events.push_back("AddTray"); }
    void RemoveTrayIcon() override { events.push_back("RemoveTray"); }
};

const std::int64_t kStampTime = 1054425907;  // 2003-06-01 00:05:07 UTC

class RunCycle : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(gateway_.Ready());
        std::random_device rd;
        dir_ = fs::temp_directory_path() / ("pontaro-dlg-" + std::to_string(rd()));
        profilePath_ = (dir_ / "pontaro.ini").string();
        CPortMapDlg::s_periodicTicks = 0;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    // A dialog whose runs search only `gateway`.
    std::unique_ptr<CPortMapDlg> MakeDlg(ScriptedGateway& gateway, Profile* profile,
                                         unsigned listenMs = 1500) {
        auto dlg = std::make_unique<CPortMapDlg>(window_, profile);
        dlg->m_discoveryTargets = gateway.Targets(listenMs);
        dlg->m_now = [] { return kStampTime; };
        return dlg;
    }
    std::string Found() const {
        return std::string(kFound) +
               "- Address : 127.0.0.1\r\n- Control URL : " + gateway_.Location() + "\r\n";
    }

    ScriptedGateway gateway_;
    FakeWindow window_;
    fs::path dir_;
    std::string profilePath_;
};

}  // namespace

TEST_F(RunCycle, RulesSucceedAndFailInTurnAndEachGetsItsLine) {
    gateway_.ScriptSoapReplies({{200, "", ""}, {500, "718", "ConflictInMappingEntry"}});
    window_.rules = "80, 80, TCP, HTTP接続の通過\r\n21,2121,udp, FTP, data\r\n8080a, x, TCP, c";
    auto dlg = MakeDlg(gateway_, nullptr);
    std::vector<FailureReason> reasons;
    dlg->m_onRuleFailure = [&](const FailureReason& r) {
        reasons.push_back(r);
        // Called after the failure line is in the log.
        EXPECT_EQ(window_.log.substr(window_.log.size() - std::string(kFailure).size()), kFailure);
    };
    dlg->RunCycle();

    EXPECT_EQ(window_.log, Found() + "■ 80 -> 80 [TCP] : " + kSuccess + "■ 21 -> 2121 [udp] : " +
                               kFailure + "■ 8080a -> x [TCP] : " + kSuccess + "\r\n");
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
    EXPECT_EQ(dlg->m_lastRun.rulesApplied, 3);
    EXPECT_EQ(dlg->m_lastRun.rulesFailed, 1);
    EXPECT_TRUE(dlg->m_lastRun.gatewayFound);
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
        MakeDlg(gateway_, nullptr)->RunCycle();
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
    dlg->m_onPassedOver = [&](const std::string& location, const FailureReason& why) {
        passedOver.push_back(location);
        EXPECT_EQ(why.step, FailureReason::Step::kNoService);
        EXPECT_EQ(window_.log, "");  // before the found text
    };
    dlg->RunCycle();
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
    dlg->m_onNotFound = [&](const FailureReason& r) {
        ++notFoundCalls;
        EXPECT_NE(r.step, FailureReason::Step::kNone);
    };
    dlg->RunCycle();
    EXPECT_EQ(window_.log, std::string("earlier\r\n") + kNotFound);
    EXPECT_EQ(notFoundCalls, 1);
    EXPECT_GE(silent.Searches(), 1);
    EXPECT_EQ(silent.DescriptionGets(), 0);
    EXPECT_FALSE(dlg->m_lastRun.gatewayFound);
    EXPECT_EQ(Profile(profilePath_).GetString("Setting", "Setting", "missing"),
              "80, 80, TCP, a\\r\\n21, 21, TCP, b");
}

TEST_F(RunCycle, SettingIsWrittenInStoredFormAtEveryRunAndOnlyThere) {
    Profile profile(profilePath_);
    window_.rules = "80, 80, TCP, a\r\n";
    window_.autoUpdate = true;
    auto dlg = MakeDlg(gateway_, &profile);
    dlg->OnInitDialog();  // empty profile: clears the controls
    EXPECT_EQ(window_.rules, "");
    EXPECT_FALSE(fs::exists(profilePath_));  // loading writes nothing

    window_.rules = "80, 80, TCP, a\r\n";
    dlg->RunCycle();
    EXPECT_EQ(dlg->m_ruleText, "80, 80, TCP, a\\r\\n");  // until the controls are read again
    EXPECT_EQ(Profile(profilePath_).GetString("Setting", "Setting", ""), "80, 80, TCP, a\\r\\n");
    EXPECT_EQ(Profile(profilePath_).GetString("Setting", "Auto", "missing"), "missing");

    window_.rules = "changed but never run";
    window_.autoUpdate = true;
    window_.autoMinimize = true;
    dlg->OnDestroy();
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
    dlg->OnInitDialog();
    EXPECT_EQ(window_.rules, "80, 80, TCP, a\r\n21, 21, TCP, b");
    EXPECT_TRUE(window_.autoUpdate);
    EXPECT_FALSE(window_.autoMinimize);
    EXPECT_EQ(dlg->m_firstTickDone, 0);
    EXPECT_EQ(window_.events.back(), "AddTray");
}

TEST_F(RunCycle, AppendLogReplacesTheTextAndScrolls) {
    auto dlg = MakeDlg(gateway_, nullptr);
    window_.log = "a\r\n";
    dlg->AppendLog("");
    dlg->AppendLog("b");
    dlg->AppendLog("c\xFF\r\n");
    EXPECT_EQ(window_.log, "a\r\nbc\xEF\xBF\xBD\r\n");
    EXPECT_EQ(window_.events,
              (std::vector<std::string>{"SetLogText", "Scroll 10000", "SetLogText", "Scroll 10000",
                                        "SetLogText", "Scroll 10000"}));
}

TEST_F(RunCycle, FirstTickMinimisesThenRunsWhateverTheCheckBox) {
    window_.autoMinimize = true;
    auto dlg = MakeDlg(gateway_, nullptr);
    dlg->OnTimer();
    ASSERT_GE(window_.events.size(), 3u);
    EXPECT_EQ(window_.events[0], "Hide");
    EXPECT_EQ(window_.events[1], "Minimize");
    EXPECT_EQ(window_.log, Found() + "\r\n");
    EXPECT_EQ(dlg->m_firstTickDone, 1);
    EXPECT_EQ(dlg->m_runCount, 1);
    EXPECT_EQ(CPortMapDlg::s_periodicTicks, 0);  // not counted while unticked

    // Until the box is ticked, further ticks would change nothing.
    EXPECT_FALSE(dlg->TimerNeeded());
    dlg->OnTimer();  // no second start-up run, no second minimising
    EXPECT_EQ(dlg->m_runCount, 1);
    EXPECT_EQ(std::count(window_.events.begin(), window_.events.end(), "Hide"), 1);
}

TEST_F(RunCycle, PeriodicRunOnThe6001stCountedTick) {
    window_.autoUpdate = true;
    auto dlg = MakeDlg(gateway_, nullptr);
    EXPECT_TRUE(dlg->TimerNeeded());  // before the first tick
    dlg->OnTimer();                   // the start-up run; this tick is counted too
    EXPECT_TRUE(dlg->TimerNeeded());
    EXPECT_EQ(dlg->m_runCount, 1);
    EXPECT_EQ(CPortMapDlg::s_periodicTicks, 1);
    for (int i = 0; i < 3000; ++i) {
        dlg->OnTimer();
    }
    // Unticking freezes the count; a manual run leaves it alone.
    window_.autoUpdate = false;
    for (int i = 0; i < 5000; ++i) {
        dlg->OnTimer();
    }
    EXPECT_EQ(CPortMapDlg::s_periodicTicks, 3001);
    dlg->RunCycle();
    EXPECT_EQ(CPortMapDlg::s_periodicTicks, 3001);
    window_.autoUpdate = true;
    window_.log.clear();
    for (int i = 0; i < 2999; ++i) {
        dlg->OnTimer();
    }
    EXPECT_EQ(CPortMapDlg::s_periodicTicks, 6000);
    EXPECT_EQ(dlg->m_runCount, 2);
    EXPECT_EQ(window_.log, "");

    window_.rules = "80, 80, TCP, a";
    dlg->OnTimer();
    EXPECT_EQ(dlg->m_runCount, 3);
    EXPECT_EQ(CPortMapDlg::s_periodicTicks, 0);
    EXPECT_EQ(window_.log, FormatLocalTime(kStampTime, kTimeStampPattern) + kAutoRun + Found() +
                               "■ 80 -> 80 [TCP] : " + kSuccess + "\r\n");
    EXPECT_EQ(FormatLocalTime(kStampTime, kTimeStampPattern).size(), 22u);
}
