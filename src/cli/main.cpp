// pontaro-cli: one run of the main window's "Open" (or of its "ポートを閉じる"
// and "現在の設定を表示") from a terminal, with the log printed as the window
// would show it. The runs are PortSession's; this file only gathers the rule
// text and picks the receivers of its events (plain, --verbose, --json).
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "PontaroVersion.h"
#include "app/FailureText.h"
#include "app/LineLogText.h"
#include "app/LocalSideText.h"
#include "app/LogWriter.h"
#include "app/MappingTable.h"
#include "app/OpenRunJson.h"
#include "app/OpenedRecord.h"
#include "app/PinholeLogText.h"
#include "app/PortSession.h"
#include "app/Profile.h"
#include "app/RecordLogText.h"
#include "app/RuleFile.h"
#include "app/texts/Catalog.h"
#include "app/texts/Language.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/Files.h"
#include "text/Text.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitRuleFailed = 1;
constexpr int kExitNoRouter = 2;
constexpr int kExitUsage = 64;

using texts::Msg;

int UsageError(const std::string& message) {
    std::fprintf(stderr, "pontaro-cli: %s\n", text::SanitizeUtf8(message).c_str());
    std::fputs(texts::Text(Msg::kUsageErrorHint).c_str(), stderr);
    return kExitUsage;
}

struct Options {
    std::vector<std::string> ruleArgs;
    bool haveFile = false;
    std::string file;
    bool watch = false;
    std::int64_t intervalMs = 600000;
    bool verbose = false;
    bool close = false;
    bool list = false;
    bool json = false;
    bool noIpv6 = false;
    bool all = false;  // --close --all
};

// Reads a rule file (or standard input for "-") into CR LF text. Empty
// result and a message in `error` when it cannot be used.
bool ReadRuleFile(const std::string& name, std::string* crlfText, std::string* error) {
    std::string data;
    if (name == "-") {
        if (!platform::ReadStandardInput(&data)) {
            *error = texts::Text(Msg::kStdinUnreadable);
            return false;
        }
    } else {
        switch (platform::ReadWholeFile(name, &data)) {
            case platform::ReadResult::kOk:
                break;
            case platform::ReadResult::kMissing:
                *error = texts::Format(Msg::kFileMissing, {name});
                return false;
            case platform::ReadResult::kUnreadable:
                *error = texts::Format(Msg::kFileUnreadable, {name});
                return false;
        }
    }
    // A text box cannot hold a NUL byte; such a file is no rule text.
    if (data.find('\0') != std::string::npos) {
        *error = name == "-" ? texts::Text(Msg::kStdinNotText)
                             : texts::Format(Msg::kFileNotText, {name});
        return false;
    }
    *crlfText = RuleFileText(text::SanitizeUtf8(text::LfToCrLf(text::DropUtf8Bom(data))));
    return true;
}

// Seconds with up to three decimals ("600", "2", "0.25"), more than zero.
// Short intervals are for trying the loop out; a router needs minutes.
bool ParseInterval(const std::string& value, std::int64_t* milliseconds) {
    const std::size_t dot = value.find('.');
    const std::string whole = value.substr(0, dot);
    const std::string fraction = dot == std::string::npos ? std::string() : value.substr(dot + 1);
    if (whole.empty() || whole.size() > 9 || fraction.size() > 3 ||
        (dot != std::string::npos && fraction.empty())) {
        return false;
    }
    unsigned long long ms = 0;
    if (!text::ParseDecimal(whole + (fraction + "000").substr(0, 3), ~0ULL, &ms) || ms < 1) {
        return false;
    }
    *milliseconds = static_cast<std::int64_t>(ms);
    return true;
}

// The value-less options and the flags they set.
bool* FlagOf(const std::string& name, Options* o) {
    if (name == "-w" || name == "--watch") {
        return &o->watch;
    } else if (name == "-v" || name == "--verbose") {
        return &o->verbose;
    } else if (name == "-c" || name == "--close") {
        return &o->close;
    } else if (name == "-l" || name == "--list") {
        return &o->list;
    } else if (name == "--json") {
        return &o->json;
    } else if (name == "--no-ipv6") {
        return &o->noIpv6;
    } else if (name == "--all") {
        return &o->all;
    }
    return nullptr;
}

// One option with its value (empty for those that take none). An exit code
// when the program ends here (help, version, a usage error).
std::optional<int> TakeOption(const std::string& name, const std::string& value, Options* o) {
    if (name == "-h" || name == "--help") {
        std::fputs(texts::Text(Msg::kUsage).c_str(), stdout);
        return kExitOk;
    } else if (name == "--version") {
        std::printf("pontaro-cli (Pontaro) %s\n", PONTARO_VERSION_TEXT);
        return kExitOk;
    } else if (name == "-f" || name == "--file") {
        if (o->haveFile) {
            return UsageError(texts::Text(Msg::kFileTwice));
        }
        o->haveFile = true;
        o->file = value;
    } else if (name == "-i" || name == "--interval") {
        if (!ParseInterval(value, &o->intervalMs)) {
            return UsageError(texts::Format(Msg::kBadInterval, {value}));
        }
    } else if (name == "--lang") {
        // Chosen before the options were read (LanguageArgument); here only
        // checked.
        if (!texts::ParseLanguage(value)) {
            return UsageError(texts::Format(Msg::kBadLanguage, {value}));
        }
    } else if (bool* flag = FlagOf(name, o)) {
        *flag = true;
    } else {
        return UsageError(texts::Format(Msg::kUnknownOption, {name}));
    }
    return std::nullopt;
}

// Options that cannot go together; nothing when these can.
std::optional<Msg> ConflictOf(const Options& o) {
    if (o.haveFile && !o.ruleArgs.empty()) {
        return Msg::kRulesTwice;
    } else if (o.close && o.list) {
        return Msg::kCloseWithList;
    } else if (o.list && (o.haveFile || !o.ruleArgs.empty())) {
        return Msg::kListWithRules;
    } else if (o.watch && (o.close || o.list)) {
        return Msg::kWatchWithCloseOrList;
    } else if (o.json && (o.close || o.watch)) {
        return Msg::kJsonWithCloseOrWatch;
    } else if (o.all && !o.close) {
        return Msg::kAllWithoutClose;
    } else if (o.all && (o.haveFile || !o.ruleArgs.empty())) {
        return Msg::kAllWithRules;
    }
    return std::nullopt;
}

bool TakesValue(const std::string& name) {
    return name == "-f" || name == "--file" || name == "-i" || name == "--interval" ||
           name == "--lang";
}

// The value of the last --lang, read before the other options so that even
// their usage errors are in the language asked for; empty without one.
std::string LanguageArgument(const std::vector<std::string>& argv) {
    std::string language;
    for (std::size_t i = 1; i < argv.size() && argv[i] != "--"; ++i) {
        const std::string& arg = argv[i];
        if (arg == "--lang" && i + 1 < argv.size()) {
            language = argv[++i];
        } else if (arg.rfind("--lang=", 0) == 0) {
            language = arg.substr(7);
        } else if (TakesValue(arg)) {
            ++i;  // a value, even one that reads "--lang"
        }
    }
    return language;
}

// Nothing when the options are usable, else the exit code to end with
// (help, version, usage).
std::optional<int> ParseOptions(const std::vector<std::string>& argv, Options* o) {
    bool onlyRules = false;
    for (std::size_t i = 1; i < argv.size(); ++i) {
        const std::string& arg = argv[i];
        if (onlyRules || arg.empty() || arg[0] != '-' || arg == "-") {
            o->ruleArgs.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyRules = true;
            continue;
        }
        const std::size_t eq = arg.rfind("--", 0) == 0 ? arg.find('=') : std::string::npos;
        const bool inlineValue = eq != std::string::npos;
        const std::string name = inlineValue ? arg.substr(0, eq) : arg;
        std::string value = inlineValue ? arg.substr(eq + 1) : std::string();
        const bool takesValue = TakesValue(name);
        if (takesValue && !inlineValue) {
            if (i + 1 >= argv.size()) {
                return UsageError(texts::Format(Msg::kOptionNeedsValue, {name}));
            }
            value = argv[++i];
        } else if (!takesValue && inlineValue) {
            return UsageError(texts::Format(Msg::kOptionTakesNoValue, {name}));
        }
        if (const std::optional<int> end = TakeOption(name, value, o)) {
            return end;
        }
    }
    if (const std::optional<Msg> conflict = ConflictOf(*o)) {
        return UsageError(texts::Text(*conflict));
    }
    return std::nullopt;
}

// Waits until `milliseconds` have passed, or a stop was asked for.
// The time is summed step by step, so an interval longer than the 32-bit
// tick's wrap (49.7 days) still ends.
void WaitFor(std::int64_t milliseconds) {
    std::int64_t waited = 0;
    std::uint32_t last = platform::TickCount();
    while (!platform::StopRequested() && waited < milliseconds) {
        const std::int64_t left = milliseconds - waited;
        platform::SleepMs(static_cast<unsigned>(left < 100 ? left : 100));
        const std::uint32_t now = platform::TickCount();
        waited += static_cast<std::uint32_t>(now - last);
        last = now;
    }
}

// The plain output: the log as the window shows it, LF line ends, printed
// as each line comes so that a long --watch needs no memory for its past.
void PrintText(const std::string& crlfText) {
    const std::string lfText = text::CrLfToLf(crlfText);
    std::fwrite(lfText.data(), 1, lfText.size(), stdout);
    std::fflush(stdout);
}

void PrintLine(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// --verbose: the log itself says why a rule failed. What it leaves out: why
// no router was found, the answers passed over, and each failure as
// recorded, in the router's own words. Printed after the log's own lines.
void PrintRecords(const session::Event& event) {
    const auto record = [](const FailureReason& r) {
        const std::string text = DescribeFailureRecord(r);
        if (!text.empty()) {
            PrintLine("  (" + text + ")");
        }
    };
    std::visit(
        session::Overloaded{
            [&](const session::GatewayNotFound& e) {
                PrintLine("  " + DescribeFailure(e.reason));
                record(e.reason);
            },
            [](const session::GatewayPassedOver& e) {
                PrintLine(texts::Format(Msg::kPassedOver, {e.location, DescribeFailure(e.reason)}));
            },
            [&](const session::RuleFailed& e) {
                if (e.result.outsideSet) {
                    PrintLine("  (" +
                              activity_log::OutsideSetRecordText(*e.result.outsideSet,
                                                                 e.rule.ExternalPortNumber()) +
                              ")");
                }
                record(e.result.failure);
            },
            [&](const session::CloseFailed& e) { record(e.reason); },
            [&](const session::TableFailed& e) { record(e.reason); },
            [&](const session::PinholeFailed& e) { record(e.reason); },
            [](const session::PinholesUnavailable& e) {
                PrintLine("  " + activity_log::WhyNoPinholesText(e));
            },
            [](const session::ListenerChecked& e) {
                PrintText(activity_log::ListenerRecordText(e));
            },
            [](const session::LineFound& e) {
                if (const std::string t = activity_log::LineRecordText(e); !t.empty()) {
                    PrintLine("  (" + t + ")");
                }
            },
            [](const session::LineNotConfirmed& e) {
                PrintLine("  " + activity_log::LineNotConfirmedText(e));
            },
            [](const auto&) {},
        },
        event);
}

// What the exit code depends on.
struct Outcome {
    bool gatewayFound = false;
    bool anyFailed = false;                    // a rule, or reading the table
    std::optional<std::uint32_t> pcpLifetime;  // PCP / NAT-PMP mappings end after it

    void operator()(const session::Event& event) {
        // (--close --all with nothing recorded needs no router.)
        gatewayFound = gatewayFound || std::holds_alternative<session::GatewayFound>(event) ||
                       std::holds_alternative<session::PcpGatewayFound>(event) ||
                       std::holds_alternative<session::NothingRecorded>(event);
        anyFailed = anyFailed || std::holds_alternative<session::RuleFailed>(event) ||
                    std::holds_alternative<session::CloseFailed>(event) ||
                    std::holds_alternative<session::TableFailed>(event) ||
                    std::holds_alternative<session::PcpRuleFailed>(event) ||
                    std::holds_alternative<session::PinholeFailed>(event) ||
                    std::holds_alternative<session::RecordedCloseFailed>(event) ||
                    std::holds_alternative<session::RecordedElsewhere>(event);
        if (const auto* lifetime = std::get_if<session::PcpLifetime>(&event)) {
            pcpLifetime = lifetime->seconds;
        }
    }
    int ExitCode() const {
        return !gatewayFound ? kExitNoRouter : anyFailed ? kExitRuleFailed : kExitOk;
    }
};

// --list --json: the listing gathered from the events.
void GatherListing(const session::Event& event, MappingListing* l) {
    std::visit(
        session::Overloaded{
            [&](const session::GatewayNotFound& e) { l->failureText = DescribeFailure(e.reason); },
            [&](const session::GatewayFound& e) {
                l->gatewayFound = true;
                l->gatewayAddress = e.address;
                l->location = e.location;
            },
            [&](const session::PcpGatewayFound& e) {
                l->gatewayFound = true;
                l->gatewayAddress = e.address;
            },
            [&](const session::TableListed& e) {
                l->localAddress = e.localAddress;
                l->entries = e.entries;
                l->madeByPontaro = e.madeByPontaro;
                l->tableRead = e.complete;
                l->capped = e.capped;
            },
            [&](const session::TableFailed& e) { l->failureText = DescribeFailure(e.reason); },
            [&](const session::OutsideAddress& e) { l->externalAddress = e.address; },
            [&](const session::LineFound& e) { l->line = e.line; },
            [](const auto&) {},
        },
        event);
}

// Which list the rules are, for the record: the window's (the saved rules),
// a rule file by its absolute path, or rules of this command line alone.
// Only --watch with a file sweeps: every other run is a list of its own.
PortSession::RuleList ListOf(const Options& options) {
    if (options.haveFile && options.file != "-") {
        return {record::FileList(platform::AbsolutePath(options.file)), options.watch};
    }
    if (!options.haveFile && options.ruleArgs.empty()) {
        return {record::kWindowList, false};
    }
    return {record::kCommandLineList, false};
}

// The rule text: the arguments, a file, or the saved rules. An exit code
// when there is none to be had.
std::optional<int> GatherRules(const Options& options, std::string* rules) {
    if (options.haveFile) {
        std::string error;
        if (!ReadRuleFile(options.file, rules, &error)) {
            return UsageError(error);
        }
    } else if (!options.ruleArgs.empty()) {
        for (std::size_t i = 0; i < options.ruleArgs.size(); ++i) {
            *rules += (i == 0 ? "" : "\r\n") + text::SanitizeUtf8(options.ruleArgs[i]);
        }
    } else {
        const Profile profile;  // read only: a run from the command line saves nothing
        if (profile.IsReadOnly()) {
            return UsageError(texts::Format(Msg::kProfileUnreadable, {profile.Path()}));
        }
        *rules = RuleTextFromStored(
            profile.GetString(settings::kSection, settings::kRuleText, std::string()));
    }
    return std::nullopt;
}

// Runs Open now, then again after every interval until a stop is asked for.
// A run in progress is finished first (it is bounded by its time limits).
// A rule file is read again before each run, so that an edit counts at the
// next one; one that cannot be read keeps the rules it last gave.
void Watch(PortSession& session, const session::Receiver& report, const Options& options,
           std::string rules) {
    platform::CatchStopRequests();
    const bool reread = options.haveFile && options.file != "-";
    bool unreadableTold = false;
    for (bool first = true; !platform::StopRequested(); first = false) {
        if (!first) {
            WaitFor(options.intervalMs);
            if (platform::StopRequested()) {
                break;
            }
            report(session::PeriodicRun{static_cast<std::int64_t>(std::time(nullptr))});
            std::string fresh;
            std::string error;
            if (reread && ReadRuleFile(options.file, &fresh, &error)) {
                rules = std::move(fresh);
                unreadableTold = false;
            } else if (reread && !unreadableTold) {
                unreadableTold = true;
                PrintText(texts::Format(Msg::kRuleFileKept, {text::SanitizeUtf8(error)}));
            }
        }
        session.Open(rules);
    }
}

int Main(const std::vector<std::string>& args) {
    texts::SetLanguageAtStart(LanguageArgument(args));
    Options options;
    if (const std::optional<int> end = ParseOptions(args, &options)) {
        return *end;
    }
    if (options.json) {
        // Scripts read the document's values (the reasons too): the same
        // whatever the user's language.
        texts::SetLanguage(texts::Language::kJapanese);
    }
    std::string rules;
    if (!options.list && !options.all) {
        if (const std::optional<int> end = GatherRules(options, &rules)) {
            return *end;
        }
    }
    Outcome outcome;
    MappingListing listing;
    OpenRunRecord openRun;
    session::Fanout report;
    if (options.json && options.list) {
        report.Add([&listing](const session::Event& e) { GatherListing(e, &listing); });
    } else if (options.json) {
        report.Add([&openRun](const session::Event& e) { openRun(e); });
    } else {
        report.Add(LogWriter(PrintText));
        if (options.verbose) {
            report.Add(PrintRecords);
        }
    }
    if (options.json) {
        // The log would have said it; the document has no place for it.
        report.Add([](const session::Event& e) {
            if (const auto* t = std::get_if<session::RecordTrouble>(&e)) {
                std::fputs(text::CrLfToLf(activity_log::RecordTroubleText(t->trouble)).c_str(),
                           stderr);
            }
        });
    }
    report.Add([&outcome](const session::Event& e) { outcome(e); });
    PortSession session([&report](const session::Event& e) { report(e); });
    session.openIpv6 = !options.noIpv6;
    session.Record().SetPath(OpenedRecord::PathBeside(platform::DefaultProfilePath()));
    session.ruleList = ListOf(options);
    session.namePrograms = options.verbose || options.json;

    if (options.list) {
        session.List();
    } else if (options.close && options.all) {
        session.CloseAll();
    } else if (options.close) {
        session.Close(rules);
    } else if (options.watch) {
        Watch(
            session, [&report](const session::Event& e) { report(e); }, options, rules);
        return kExitOk;
    } else {
        session.Open(rules);
        // Nothing renews the mappings after this process: say when they go.
        if (outcome.pcpLifetime && !options.json) {
            PrintText(texts::Format(Msg::kPcpLifetimeEnds, {std::to_string(*outcome.pcpLifetime)}));
        }
    }
    if (options.json) {
        const std::string json = options.list ? MappingListingJson(listing) : openRun.Json();
        std::fwrite(json.data(), 1, json.size(), stdout);
    }
    return outcome.ExitCode();
}

}  // namespace

int main(int argc, char** argv) {
    platform::PrepareConsoleOutput();
    const int code = Main(platform::Utf8Arguments(argc, argv));
    std::fflush(stdout);
    return code;
}
