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
#include "app/Profile.h"
#include "app/RecordLogText.h"
#include "platform/LoginEntry.h"
#include "support/EventRecorder.h"
#include "support/FakeWindow.h"
#include "support/ScopedEnv.h"
#include "support/ScriptedGateway.h"

namespace fs = std::filesystem;
using namespace activity_log;

namespace {

const std::int64_t kStampTime = 1054425907;  // 2003-06-01 00:05:07 UTC

class Window : public ::testing::Test {
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
        // Nothing listens on this machine, whatever runs here.
        dlg->Session().socketTables = [] { return platform::SocketTables{true, {}, true}; };
        dlg->SetClock([] { return kStampTime; });
        heard_.Clear();
        dlg->Listen(heard_.Receiver());
        return dlg;
    }
    // The note under an opened rule with nothing behind it.
    static constexpr char kNobodyOn80[] =
        "  ※ このPCではポート 80 [TCP] を待ち受けているプログラムがありません。"
        "サーバを起動すると外から届きます。\r\n";
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

TEST_F(Window, RulesSucceedAndFailInTurnAndEachGetsItsLine) {
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
              Found() + "■ 80 -> 80 [TCP] : " + kSuccess + kNobodyOn80 +
                  "■ 21 -> 2121 [udp] : " + kFailure +
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

TEST_F(Window, NoGatewayEndsTheRunAfterStoringTheText) {
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

TEST_F(Window, ProfileThatCannotBeSavedIsReportedAndTheRunGoesOn) {
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
        // The record beside the profile cannot be kept where no folder can be.
        const std::string record = OpenedRecord::PathBeside(path.string());
        const std::string noRecord =
            path.parent_path() == dir_
                ? std::string()
                : RecordTroubleText({OpenedRecord::Trouble::What::kNotSaved, record, {}});
        EXPECT_EQ(window_.log, std::string(kSaveFailed) + Found() + "■ 80 -> 80 [TCP] : " +
                                   kSuccess + kNobodyOn80 + noRecord + "\r\n");
        EXPECT_EQ(heard_.Count<session::RuleFailed>(), 0);
    }
    EXPECT_TRUE(fs::is_directory(dir_ / "unreadable.ini"));
}

TEST_F(Window, SettingIsWrittenInStoredFormAtEveryRunAndOnlyThere) {
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

TEST_F(Window, InitDialogRestoresTheSettings) {
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

// "IPv6でも開く": a damaged profile value leaves it on; each run, of every
// kind, takes the switch as it is when the run starts; a toggle is saved at
// once and again on closing.
TEST_F(Window, Ipv6SwitchFromTheProfileReachesEveryRun) {
    fs::create_directories(dir_);
    { std::ofstream(profilePath_) << "[Setting]\nOpenIPv6=on\nAuto=1\n"; }
    Profile profile(profilePath_);
    auto dlg = MakeDlg(gateway_, &profile);
    std::vector<bool> atRuns;
    dlg->Listen([&](const session::Event& e) {
        if (std::holds_alternative<session::RunStarted>(e)) {
            atRuns.push_back(dlg->Session().openIpv6);
        }
    });
    dlg->Start();
    EXPECT_TRUE(window_.openIpv6);
    dlg->Open();
    dlg->SetOpenIpv6(false);
    EXPECT_FALSE(window_.openIpv6);
    EXPECT_EQ(Profile(profilePath_).GetString("Setting", "OpenIPv6", ""), "0");
    dlg->Open();
    dlg->CloseRules();
    dlg->List();
    EXPECT_EQ(atRuns, (std::vector<bool>{true, false, false, false}));

    dlg->SetOpenIpv6(true);
    window_.autoUpdate = false;
    dlg->Finish();
    Profile saved(profilePath_);
    EXPECT_EQ(saved.GetString("Setting", "OpenIPv6", ""), "1");
    EXPECT_EQ(saved.GetInt("Setting", "Auto", -1), 0);
}

TEST_F(Window, AppendLogHandsTheWindowOnlyTheNewText) {
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

TEST_F(Window, FirstTickMinimisesThenRunsWhateverTheCheckBox) {
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

TEST_F(Window, StartAtLoginHidesTheFirstTickWhateverTheBoxAndRunsAsEver) {
    const struct {
        bool autoMinimize;
        bool atLogin;
        bool hidden;
    } rows[] = {
        {false, false, false}, {true, false, true}, {false, true, true}, {true, true, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.autoMinimize) + std::to_string(row.atLogin));
        window_ = FakeWindow();
        window_.autoMinimize = row.autoMinimize;
        auto dlg = MakeDlg(gateway_, nullptr);
        dlg->SetStartedAtLogin(row.atLogin);
        dlg->Tick();
        const bool hid = std::count(window_.events.begin(), window_.events.end(), "Hide") == 1 &&
                         std::count(window_.events.begin(), window_.events.end(), "Minimize") == 1;
        EXPECT_EQ(hid, row.hidden);
        EXPECT_EQ(RunCount(), 1);
    }
}

TEST_F(Window, StartAtLoginIsReadFromTheSystemAndARefusalIsLogged) {
    ScopedEnv config("XDG_CONFIG_HOME", (dir_ / "config").string());
    const std::string program = (dir_ / "Pontaro Test" / "pontaro").string();
    auto dlg = MakeDlg(gateway_, nullptr);
    dlg->SetLoginProgram(program);
    EXPECT_FALSE(dlg->StartAtLogin());
    dlg->SetStartAtLogin(true);
    EXPECT_TRUE(platform::StartsAtLogin(program));
    EXPECT_TRUE(dlg->StartAtLogin());
    // Removed elsewhere (another tool, the desktop's settings): unticked.
    ASSERT_TRUE(platform::SetStartAtLogin(program, false));
    EXPECT_FALSE(dlg->StartAtLogin());
    EXPECT_EQ(window_.log, "");

    // A program no entry can name (a quote mark for Windows, a line break
    // for the desktop file): said in the log, and nothing written.
    dlg->SetLoginProgram("/bad\"\npath");
    dlg->SetStartAtLogin(true);
    EXPECT_FALSE(dlg->StartAtLogin());
    EXPECT_EQ(window_.log, kLoginStartNotSet);
}

TEST_F(Window, PeriodicRunOnThe6001stCountedTick) {
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
                               "■ 80 -> 80 [TCP] : " + kSuccess + kNobodyOn80 + "\r\n");
    EXPECT_EQ(FormatLocalTime(kStampTime, kTimeStampPattern).size(), 22u);
}
