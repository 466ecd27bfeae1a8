// Runs that keep the record of what Pontaro opened true, against a scripted
// gateway on loopback: the sweep of a list's rules taken away, the entries
// asked for but never seen granted, the listing's marks, closing everything,
// and a mapping for this machine's old address recognised after a restart.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/ActivityLog.h"
#include "app/PortSession.h"
#include "app/Profile.h"
#include "app/RecordLogText.h"
#include "app/WindowController.h"
#include "support/EventRecorder.h"
#include "support/FakeWindow.h"
#include "support/LoopbackListener.h"
#include "support/RecordEntries.h"
#include "support/ScriptedGateway.h"
#include "support/TempDir.h"

using Reply = ScriptedGateway::SoapReply;
using State = OpenedEntry::State;

namespace {

const auto Holder = HolderReply;
const Reply kNoSuchEntry{500, "714", "NoSuchEntryInArray"};

class RecordRuns : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(gateway_.Ready()); }

    PortSession& Fresh(const std::string& list, bool sweep) {
        heard_.Clear();
        log_.clear();
        session_ = std::make_unique<PortSession>([this](const session::Event& e) {
            heard_.Receiver()(e);
            LogWriter([this](const std::string& t) { log_ += t; })(e);
        });
        session_->targets = gateway_.Targets(1500);
        session_->Record().SetPath(dir_.File("opened-ports.txt"));
        session_->ruleList = {list, sweep};
        return *session_;
    }
    // The actions and ports asked after `from`, but the outside address.
    std::vector<std::string> Asked(std::size_t from) const {
        std::vector<std::string> asked;
        const auto posts = gateway_.ActionPosts();
        for (std::size_t i = from; i < posts.size(); ++i) {
            if (posts[i].action != "GetExternalIPAddress") {
                asked.push_back(posts[i].action + " " +
                                SoapArgument(posts[i].body, "NewExternalPort"));
            }
        }
        return asked;
    }
    // The lines after the gateway's three.
    std::string RuleLines() const {
        std::string lines = log_;
        for (int i = 0; i < 3; ++i) {
            lines.erase(0, lines.find("\r\n") + 2);
        }
        return lines;
    }

    TempDir dir_;
    ScriptedGateway gateway_;
    EventRecorder heard_;
    std::string log_;
    std::unique_ptr<PortSession> session_;
};

}  // namespace

// A rule of the window taken out: the next run of the window closes its
// mapping first, if, and only if, the router still holds it as recorded.
TEST_F(RecordRuns, ARuleTakenAwayIsClosedOnlyWhereTheRouterHoldsItAsRecorded) {
    const std::string swept = "■ 2222 [TCP] : " + std::string(activity_log::kSwept);
    const std::string failed = "■ 2222 [TCP] : " + std::string(activity_log::kSweepFailure);
    struct Case {
        const char* what;
        Reply holder;
        std::vector<Reply> deletes;
        std::vector<std::string> asked;  // before the rule of the list
        std::string lines;               // of the sweep
        bool kept;                       // 2222 still recorded
    };
    const std::vector<std::string> deleted = {"GetSpecificPortMappingEntry 2222",
                                              "DeletePortMapping 2222"};
    const std::vector<std::string> looked = {"GetSpecificPortMappingEntry 2222"};
    const Case cases[] = {
        {"as recorded", Holder("10.0.0.2", "22", "ssh"), {}, deleted, swept, false},
        {"another machine's", Holder("10.0.0.9", "22", "ssh"), {}, looked, "", false},
        {"changed by hand", Holder("10.0.0.2", "2022", "ssh"), {}, looked, "", false},
        {"gone", kNoSuchEntry, {}, looked, "", false},
        {"delete refused",
         Holder("10.0.0.2", "22", "ssh"),
         {{500, "606", "Action not authorized"}},
         deleted,
         failed,
         true},
        {"no answer", Reply{0, "", ""}, {}, looked, failed, true},
    };
    for (const Case& c : cases) {
        PortSession& s = Fresh(record::kWindowList, true);
        s.Record().Refresh();
        s.Record().Put(RecordedMapping("2222, 22, TCP, ssh", "10.0.0.2", record::kWindowList));
        s.Record().Put(RecordedMapping("8080, 8080, TCP, web", "127.0.0.1", record::kWindowList));
        s.Record().Put(RecordedMapping("9000, 9000, TCP, cli", "127.0.0.1"));  // another list's
        gateway_.ScriptActionReplies("GetSpecificPortMappingEntry", {c.holder});
        gateway_.ScriptActionReplies("DeletePortMapping", c.deletes);
        const std::size_t before = gateway_.ActionPosts().size();
        s.Open("8080, 8080, TCP, web");
        std::vector<std::string> asked = c.asked;
        asked.push_back("AddPortMapping 8080");
        EXPECT_EQ(Asked(before), asked) << c.what;
        EXPECT_EQ(RuleLines().substr(0, c.lines.size()), c.lines) << c.what;
        const std::vector<std::string> rest = {"8080/TCP 127.0.0.1", "9000/TCP 127.0.0.1"};
        std::vector<std::string> recorded = rest;
        if (c.kept) {
            recorded.insert(recorded.begin(), "2222/TCP 10.0.0.2");
        }
        EXPECT_EQ(RecordedPorts(RecordOnDisk(dir_.File("opened-ports.txt"))), recorded) << c.what;
        std::filesystem::remove(dir_.File("opened-ports.txt"));
    }

    // A one-shot list is recorded, never swept.
    PortSession& s = Fresh(record::kCommandLineList, false);
    s.Record().Put(RecordedMapping("2222, 22, TCP, ssh", "10.0.0.2"));
    const std::size_t before = gateway_.ActionPosts().size();
    s.Open("8080, 8080, TCP, web");
    EXPECT_EQ(Asked(before), std::vector<std::string>{"AddPortMapping 8080"});
    EXPECT_EQ(s.Record().Entries().size(), 2u);
}

// A process killed after the router granted and before the record said so
// leaves the entry asked; a router that never answered leaves the same.
// The next run asks the router which it was.
TEST_F(RecordRuns, AnEntryAskedForButNeverSeenGrantedIsSettledByTheRouter) {
    PortSession& s = Fresh(record::kCommandLineList, false);
    gateway_.ScriptSoapReplies({Reply{0, "", ""}});  // taken in, never answered
    s.Open("7000, 7000, TCP, game");
    ASSERT_EQ(s.Record().Entries().size(), 1u);
    EXPECT_EQ(s.Record().Entries()[0].state, State::kAsked);
    EXPECT_EQ(s.Record().Entries()[0].internalClient, "127.0.0.1");
    // A refusal the router answered takes the asked entry back at once.
    gateway_.ScriptSoapReplies({Reply{500, "725", "OnlyPermanentLeasesSupported"}});
    s.Open("7001, 7001, TCP, refused");
    ASSERT_EQ(s.Record().Entries().size(), 1u);

    struct Case {
        Reply holder;
        std::vector<State> after;  // of 7000
    };
    const Case cases[] = {
        {Holder("127.0.0.1", "7000", "game"), {State::kGranted}},
        {Holder("10.0.0.9", "7000", "game"), {}},
        {kNoSuchEntry, {}},
        {Reply{500, "501", "Action Failed"}, {State::kAsked}},
    };
    const OpenedEntry asked = s.Record().Entries()[0];
    for (const Case& c : cases) {
        PortSession& later = Fresh(record::kCommandLineList, false);  // another process
        later.Record().Refresh();
        later.Record().Put(asked);
        gateway_.ScriptActionReplies("GetSpecificPortMappingEntry", {c.holder});
        const std::size_t before = gateway_.ActionPosts().size();
        later.Open("");
        EXPECT_EQ(Asked(before), std::vector<std::string>{"GetSpecificPortMappingEntry 7000"});
        std::vector<State> states;
        for (const OpenedEntry& e : RecordOnDisk(dir_.File("opened-ports.txt"))) {
            states.push_back(e.state);
        }
        EXPECT_EQ(states, c.after) << c.holder.values[1].second;
        std::filesystem::remove(dir_.File("opened-ports.txt"));
    }
}

TEST_F(RecordRuns, TheListingMarksPontarosRowsAndDropsWhatTheRouterNoLongerHolds) {
    PortSession& s = Fresh(record::kWindowList, true);
    s.Record().Put(RecordedMapping("8080, 8080, TCP, web", "127.0.0.1", record::kWindowList));
    s.Record().Put(RecordedMapping("9000, 9000, UDP, gone", "127.0.0.1", record::kWindowList));
    gateway_.ServeMappingTable({{"", "8080", "TCP", "8080", "127.0.0.1", "1", "web", "0"},
                                {"", "8081", "TCP", "8081", "127.0.0.1", "1", "upnpc", "0"}});
    s.List();
    const auto listed = heard_.Of<session::TableListed>();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].madeByPontaro, (std::vector<bool>{true, false}));
    EXPECT_EQ(RecordedPorts(s.Record()), std::vector<std::string>{"8080/TCP 127.0.0.1"});
}

TEST_F(RecordRuns, CloseAllClosesWhatIsRecordedHereAndTellsWhatStaysElsewhere) {
    PortSession& s = Fresh(record::kCommandLineList, false);
    s.CloseAll();
    EXPECT_EQ(log_, std::string(activity_log::kNothingRecorded) + "\r\n");
    EXPECT_EQ(gateway_.Searches(), 0);  // nothing to close: no router asked

    s.Record().Put(RecordedMapping("8080, 8080, TCP, web", "127.0.0.1", record::kWindowList));
    s.Record().Put(RecordedMapping("8081, 8081, TCP, cli", "127.0.0.1"));
    s.Record().Put(RecordedMapping("8082, 8082, UDP, taken", "127.0.0.1"));
    OpenedEntry elsewhere = RecordedMapping("80, 80, TCP, web", "192.168.1.5");
    elsewhere.routerAddress = "192.168.1.1";
    elsewhere.routerUdn = "uuid:other";
    s.Record().Put(elsewhere);
    gateway_.ScriptActionReplies(
        "GetSpecificPortMappingEntry",
        {Holder("127.0.0.1", "8080", "web"), kNoSuchEntry, Holder("10.0.0.9", "8082", "taken")});
    heard_.Clear();
    log_.clear();
    const std::size_t before = gateway_.ActionPosts().size();
    s.CloseAll();
    EXPECT_EQ(Asked(before),
              (std::vector<std::string>{
                  "GetSpecificPortMappingEntry 8080", "DeletePortMapping 8080",
                  "GetSpecificPortMappingEntry 8081", "GetSpecificPortMappingEntry 8082"}));
    EXPECT_EQ(RuleLines(),
              "■ 8080 [TCP] : " + std::string(activity_log::kClosed) +
                  "■ 8081 [TCP] : " + activity_log::kNothingToClose +
                  "■ 8082 [UDP] : " + activity_log::kNothingToClose +
                  activity_log::RecordedElsewhereText({"uuid:other", "192.168.1.1", 1}) + "\r\n");
    EXPECT_EQ(s.Record().Entries(), std::vector<OpenedEntry>{elsewhere});
}

// The new address after a restart: the mapping this machine made for its
// old address is in the file, so a fresh process moves it as the one that
// made it would.
TEST_F(RecordRuns, AMappingForTheOldAddressIsStillOursAfterARestart) {
    OpenedRecord(dir_.File("opened-ports.txt"))
        .Put(RecordedMapping("8080, 8080, TCP, mine", "10.77.0.2"));
    PortSession& s = Fresh(record::kCommandLineList, false);
    gateway_.ScriptSoapReplies({{500, "718", "ConflictInMappingEntry"}});
    gateway_.ScriptActionReplies("GetSpecificPortMappingEntry",
                                 {Holder("10.77.0.2", "8080", "mine")});
    const std::size_t before = gateway_.ActionPosts().size();
    s.Open("8080, 8080, TCP, mine");
    EXPECT_EQ(Asked(before),
              (std::vector<std::string>{"AddPortMapping 8080", "GetSpecificPortMappingEntry 8080",
                                        "DeletePortMapping 8080", "AddPortMapping 8080"}));
    ASSERT_EQ(heard_.Count<session::RuleOpened>(), 1);
    EXPECT_EQ(heard_.Of<session::RuleOpened>()[0].result.kind,
              RuleResult::Kind::kMovedFromOldAddress);
    EXPECT_EQ(RecordedPorts(RecordOnDisk(dir_.File("opened-ports.txt"))),
              std::vector<std::string>{"8080/TCP 127.0.0.1"});
}

// The window's rule box is a list: after a restart, the run of a box that
// lost a line closes that line's port and only that one.
TEST_F(RecordRuns, TheWindowClosesALineTakenOutOfItsBoxAfterARestart) {
    const std::string profilePath = dir_.File("pontaro.ini");
    FakeWindow window;
    {
        Profile profile(profilePath);
        WindowController first(window, &profile);
        first.Session().targets = gateway_.Targets(1500);
        window.rules = "8080, 8080, TCP, web\r\n2222, 22, TCP, ssh";
        first.Open();
    }
    EXPECT_EQ(RecordedPorts(RecordOnDisk(dir_.File("opened-ports.txt"))),
              (std::vector<std::string>{"8080/TCP 127.0.0.1", "2222/TCP 127.0.0.1"}));
    Profile profile(profilePath);
    WindowController again(window, &profile);
    again.Session().targets = gateway_.Targets(1500);
    window.rules = "8080, 8080, TCP, web";
    window.log.clear();
    gateway_.ScriptActionReplies("GetSpecificPortMappingEntry", {Holder("127.0.0.1", "22", "ssh")});
    const std::size_t before = gateway_.ActionPosts().size();
    again.Open();
    EXPECT_EQ(Asked(before),
              (std::vector<std::string>{"GetSpecificPortMappingEntry 2222",
                                        "DeletePortMapping 2222", "AddPortMapping 8080"}));
    EXPECT_NE(window.log.find("■ 2222 [TCP] : " + std::string(activity_log::kSwept)),
              std::string::npos);
    EXPECT_EQ(RecordedPorts(RecordOnDisk(dir_.File("opened-ports.txt"))),
              std::vector<std::string>{"8080/TCP 127.0.0.1"});
}
