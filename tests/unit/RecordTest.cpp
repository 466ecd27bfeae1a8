// The record of what Pontaro opened: its file format, the file beside the
// profile shared by several processes, and the comparisons the sweep makes.
#include "app/OpenedRecord.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/MadeMappings.h"
#include "app/RecordSweep.h"
#include "support/RecordEntries.h"
#include "support/TempDir.h"

namespace {

using State = OpenedEntry::State;

// One entry of each kind, with every text a file line could trip over.
RecordText Sample() {
    OpenedEntry mapping =
        RecordedMapping("2222, 22, tcp, ssh 100%\tx", "10.0.0.2", record::kWindowList);
    mapping.routerUdn = "uuid:3d3cec3a-8cf0-11e0-98ee-001a6bd2d07b";
    mapping.confirmed = 1718000000;
    mapping.otherFields = {{"future", "a=b\tc"}};
    OpenedEntry asked = RecordedMapping("8080, 8080, UDP, ポンタロ 試験", "10.0.0.3",
                                        record::FileList("/etc/pontaro rules.txt"), State::kAsked);
    asked.description = "line\r\nbreak%";
    OpenedEntry pinhole = RecordedPinhole("2001:db8:1::2", 8080, "TCP", "7", record::kWindowList);
    pinhole.lifetime = 86400;
    pinhole.externalPort = 4444;  // no use to a pinhole, but a hand-edited line may hold one
    OpenedEntry pcp = RecordedMapping("8081, 8081, TCP, pcp", "10.0.0.2", record::kCommandLineList);
    pcp.kind = OpenedEntry::Kind::kPcp;
    pcp.externalPort = 18081;
    pcp.lifetime = 7200;
    RecordText t;
    t.entries = {mapping, asked, pinhole, pcp};
    t.newerLines = {"2\tportal\tk=v"};
    return t;
}

}  // namespace

TEST(RecordFile, RoundTripKeepsEveryFieldAndWhatANewerPontaroWrote) {
    const RecordText t = Sample();
    const std::string text = FormatRecord(t);
    RecordText back;
    ASSERT_TRUE(ParseRecord(text, &back)) << text;
    ASSERT_EQ(back.entries.size(), t.entries.size());
    for (std::size_t i = 0; i < t.entries.size(); ++i) {
        EXPECT_EQ(back.entries[i], t.entries[i]) << i;
    }
    EXPECT_EQ(back.newerLines, t.newerLines);
    EXPECT_EQ(FormatRecord(back), text);
    // One entry per line, whatever its texts hold.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 8);

    // A record a newer Pontaro wrote: its version and lines are kept.
    const std::string newer = "pontaro-record 3\n" + text.substr(text.find('\n') + 1);
    ASSERT_TRUE(ParseRecord(newer, &back));
    EXPECT_EQ(back.version, 3u);
    EXPECT_EQ(FormatRecord(back).substr(0, 17), "pontaro-record 3\n");
    // Edited on Windows: CR LF line ends read the same.
    std::string crlf;
    for (char c : text) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    ASSERT_TRUE(ParseRecord(crlf, &back));
    EXPECT_EQ(back.entries, t.entries);
}

TEST(RecordFile, DamagedOrCutShortIsNoRecord) {
    const std::string text = FormatRecord(Sample());
    // Cut anywhere before the end line's last digit: a file cut short.
    for (std::size_t cut = 0; cut + 1 < text.size(); ++cut) {
        RecordText r;
        EXPECT_FALSE(ParseRecord(text.substr(0, cut), &r)) << cut;
    }
    const std::string head = "pontaro-record 1\n";
    const std::string line =
        "1\tmapping\tstate=granted\tat=10.0.0.1\tprotocol=TCP\texternal=80\t"
        "client=10.0.0.2\tinternal=80\tlist=window";
    RecordText r;
    ASSERT_TRUE(ParseRecord(head + line + "\nend 1\n", &r));
    ASSERT_TRUE(ParseRecord(head + "end 0\n", &r));
    for (const std::string& bad : std::vector<std::string>{
             std::string(),
             "end 0\n",  // no version line
             "pontaro-record x\nend 0\n", "pontaro-record 0\nend 0\n",
             head + line + "\n",                                        // no end line
             head + line + "\nend 2\n",                                 // counts another
             head + "end 0\n" + line + "\n",                            // a line after the end
             head + line + "\tinternal=81\nend 1\n",                    // a field twice
             head + line.substr(0, line.find("\tlist")) + "\nend 1\n",  // no list
             head + "1\tportal\tk=v\nend 1\n",                          // no kind of this version
             head + "0\tmapping\nend 1\n", head + "x\tmapping\nend 1\n",
             head + "1\tmapping\tstate=sure" + line.substr(line.find("\tat")) + "\nend 1\n",
             head + "1\tpinhole\tstate=granted\tat=::1\tprotocol=TCP\tclient=::2\tinternal=80\t"
                    "list=w\nend 1\n",  // a granted pinhole without its number
         }) {
        EXPECT_FALSE(ParseRecord(bad, &r)) << bad;
    }
    for (const char* value :
         {"external=65536", "external=-1", "external=", "internal=8O", "description=%4",
          "description=%G1", "confirmed=99999999999999999999", "=x", "novalue"}) {
        EXPECT_FALSE(ParseRecord(head + line + "\t" + value + "\nend 1\n", &r)) << value;
    }
}

TEST(RecordFile, DamagedFileIsSetAsideOnceAndAFreshRecordStarts) {
    TempDir dir;
    const std::string path = OpenedRecord::PathBeside(dir.File("pontaro.ini"));
    EXPECT_EQ(path, dir.File("opened-ports.txt"));
    const std::string damaged = FormatRecord(Sample()).substr(0, 200);
    TempDir::Write(path, damaged);
    OpenedRecord record(path);
    record.now = [] { return std::int64_t{1000}; };
    record.Refresh();
    const auto troubles = record.TakeTroubles();
    ASSERT_EQ(troubles.size(), 1u);
    EXPECT_EQ(troubles[0].what, OpenedRecord::Trouble::What::kSetAside);
    EXPECT_EQ(troubles[0].aside, path + ".damaged-1000");
    EXPECT_EQ(TempDir::Read(troubles[0].aside), damaged);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(record.Entries().empty());
    record.Refresh();
    EXPECT_TRUE(record.TakeTroubles().empty());
    EXPECT_FALSE(std::filesystem::exists(path));  // no file for an empty record

    // Damaged again at the same second: another name, the first kept.
    TempDir::Write(path, "garbage");
    record.Refresh();
    ASSERT_EQ(record.TakeTroubles().size(), 1u);
    EXPECT_EQ(TempDir::Read(path + ".damaged-1000-2"), "garbage");
    EXPECT_EQ(TempDir::Read(path + ".damaged-1000"), damaged);

    record.Put(Sample().entries[0]);
    RecordText written;
    ASSERT_TRUE(ParseRecord(TempDir::Read(path), &written));
    EXPECT_EQ(written.entries, std::vector<OpenedEntry>{Sample().entries[0]});
}

TEST(RecordFile, TwoProcessesKeepEachOthersEntries) {
    TempDir dir;
    const std::string path = dir.File("opened-ports.txt");
    const RecordText sample = Sample();
    OpenedRecord window(path);
    OpenedRecord cli(path);
    window.Refresh();
    cli.Refresh();
    window.Put(sample.entries[0]);
    cli.Put(sample.entries[2]);  // reads the window's entry before it writes
    window.Put(sample.entries[3]);
    RecordText onDisk;
    ASSERT_TRUE(ParseRecord(TempDir::Read(path), &onDisk));
    EXPECT_EQ(onDisk.entries,
              (std::vector<OpenedEntry>{sample.entries[0], sample.entries[2], sample.entries[3]}));

    // A confirmation waits for the run's end, and does not bring back what
    // the other process closed meanwhile.
    window.Confirm(sample.entries[0]);
    window.Confirm(sample.entries[3]);
    cli.Drop(sample.entries[0]);
    window.Flush();
    ASSERT_TRUE(ParseRecord(TempDir::Read(path), &onDisk));
    ASSERT_EQ(onDisk.entries.size(), 2u);
    EXPECT_EQ(onDisk.entries[0].kind, OpenedEntry::Kind::kPinhole);
    EXPECT_NE(onDisk.entries[1].confirmed, 0);
}

// A run every ten minutes that changes nothing writes the file once an hour
// for mappings held for good; an entry with a lifetime at every run (it is
// dropped by its time).
TEST(RecordFile, ConfirmedTimesOfMappingsForGoodAreWrittenAnHourApart) {
    TempDir dir;
    const std::string path = dir.File("opened-ports.txt");
    OpenedRecord record(path);
    std::int64_t now = 1000;
    record.now = [&now] { return now; };
    OpenedEntry mapping = Sample().entries[0];  // for good
    OpenedEntry pinhole = Sample().entries[2];  // 86400 s
    mapping.confirmed = pinhole.confirmed = 1000;
    record.Put(mapping);
    record.Put(pinhole);
    const auto confirmedOnDisk = [&path] {
        RecordText t;
        EXPECT_TRUE(ParseRecord(TempDir::Read(path), &t));
        std::vector<std::int64_t> times;
        for (const OpenedEntry& e : t.entries) {
            times.push_back(e.confirmed);
        }
        return times;
    };
    struct Step {
        std::int64_t at;
        bool pinholeToo;
        std::vector<std::int64_t> onDisk;
    };
    // When the file is written anyway, every time goes in.
    for (const Step& step : {Step{1600, false, {1000, 1000}}, Step{4600, false, {4600, 1000}},
                             Step{5200, true, {5200, 5200}}, Step{5800, true, {5800, 5800}}}) {
        now = step.at;
        record.Refresh();
        record.Confirm(mapping);
        if (step.pinholeToo) {
            record.Confirm(pinhole);
        }
        record.Flush();
        EXPECT_EQ(confirmedOnDisk(), step.onDisk) << step.at;
    }
}

TEST(RecordFile, UnreadableFileIsNeverWrittenAndMemoryStandsIn) {
    TempDir dir;
    const std::string path = dir.File("opened-ports.txt");
    std::filesystem::create_directories(path);  // a directory where the file should be
    OpenedRecord record(path);
    record.Refresh();
    record.Put(Sample().entries[0]);
    record.Put(Sample().entries[2]);
    EXPECT_EQ(record.Entries().size(), 2u);  // this process still knows
    const auto troubles = record.TakeTroubles();
    ASSERT_EQ(troubles.size(), 1u);  // told once
    EXPECT_EQ(troubles[0].what, OpenedRecord::Trouble::What::kUnreadable);
    EXPECT_TRUE(std::filesystem::is_directory(path));
}

TEST(RecordFile, WhatRoutersHaveDroppedByNowGoes) {
    OpenedRecord record;
    std::int64_t now = 1000;
    record.now = [&now] { return now; };
    OpenedEntry pinhole = Sample().entries[2];  // 86400 s
    pinhole.confirmed = 1000;
    OpenedEntry mapping = Sample().entries[0];  // for good
    mapping.confirmed = 1;
    record.Put(pinhole);
    record.Put(mapping);
    now = 1000 + 86400;
    record.Refresh();
    EXPECT_EQ(record.Entries().size(), 2u);
    now += 1;
    record.Refresh();
    EXPECT_EQ(record.Entries(), std::vector<OpenedEntry>{mapping});
}

// "Taken away": the rules of the list no longer make the recorded mapping.
TEST(RecordSweepRules, ARuleChangedInAnyFieldIsTakenAwayAndReplaced) {
    const OpenedEntry ssh = RecordedMapping("2222, 22, TCP, ssh", "10.0.0.2");
    OpenedEntry pcp = ssh;
    pcp.kind = OpenedEntry::Kind::kPcp;
    pcp.externalPort = 12222;  // granted; 2222 was asked for
    const OpenedEntry pinhole = RecordedPinhole("2001:db8::2", 22, "TCP", "7", "");
    struct Case {
        const char* rules;
        bool mapping, pcp, pinhole;  // whether each is still held
    };
    const Case cases[] = {
        {"2222, 22, TCP, ssh", true, true, true},
        {"80, 80, TCP, web\r\n2222, 22, tcp, ssh", true, true, true},
        {"2222, 2022, TCP, ssh", false, false, false},  // internal port changed
        {"2222, 22, TCP, SSH", false, false, true},     // description changed
        {"2223, 22, TCP, ssh", false, false, true},     // external port changed
        {"12222, 22, TCP, ssh", false, false, true},    // the port PCP granted is no rule
        {"2222, 22, UDP, ssh", false, false, false},
        {"22, 22, TCP, other", false, false, true},  // another rule keeps the pinhole
        {"", false, false, false},
    };
    for (const Case& c : cases) {
        const std::vector<PortMappingRule> rules = RulesOf(c.rules);
        EXPECT_EQ(RulesHold(rules, ssh), c.mapping) << c.rules;
        EXPECT_EQ(RulesHold(rules, pcp), c.pcp) << c.rules;
        EXPECT_EQ(RulesHold(rules, pinhole), c.pinhole) << c.rules;
    }
}

// What the router answers for the recorded port, and whether it is still
// Pontaro's mapping there.
TEST(RecordSweepRules, OnlyTheMappingExactlyAsRecordedIsPontaros) {
    const std::string longText(80, 'x');
    OpenedEntry recorded = RecordedMapping("2222, 22, TCP, ssh", "10.0.0.2");
    OpenedEntry japanese = recorded;
    japanese.description =
        "ポンタロの試験用の長い説明ですポンタロの試験用の長い説明です";  // 90 bytes
    OpenedEntry longOne = recorded;
    longOne.description = longText;
    struct Case {
        const OpenedEntry& entry;
        PortMappingEntry row;
        bool ours;
    };
    const Case cases[] = {
        {recorded, {"", "2222", "TCP", "22", "10.0.0.2", "1", "ssh", "0"}, true},
        {recorded, {"", "2222", "TCP", "22", "10.0.0.5", "1", "ssh", "0"}, false},
        {recorded, {"", "2222", "TCP", "2022", "10.0.0.2", "1", "ssh", "0"}, false},
        {recorded, {"", "2222", "TCP", "22", "10.0.0.2", "1", "ssh2", "0"}, false},
        {recorded, {"", "2222", "TCP", "22", "10.0.0.2", "1", "", "0"}, false},
        // miniupnpd keeps 63 bytes of a description; a cut inside a character.
        {longOne, {"", "2222", "TCP", "22", "10.0.0.2", "1", longText.substr(0, 63), "0"}, true},
        {longOne, {"", "2222", "TCP", "22", "10.0.0.2", "1", longText.substr(0, 20), "0"}, false},
        {japanese,
         {"", "2222", "TCP", "22", "10.0.0.2", "1",
          japanese.description.substr(0, 61) + "\xEF\xBF\xBD", "0"},
         true},
        {japanese,
         {"", "2222", "TCP", "22", "10.0.0.2", "1", japanese.description.substr(0, 63), "0"},
         true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StillAsRecorded(c.row, c.entry), c.ours)
            << c.row.internalClient << ":" << c.row.internalPort << " " << c.row.description;
    }
}
