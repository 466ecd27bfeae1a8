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
#include "app/LogWriter.h"
#include "app/MappingTable.h"
#include "app/PinholeLogText.h"
#include "app/PortSession.h"
#include "app/Profile.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/Files.h"
#include "text/Text.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitRuleFailed = 1;
constexpr int kExitNoRouter = 2;
constexpr int kExitUsage = 64;

constexpr char kUsage[] =
    "使い方: pontaro-cli [オプション] [ルール ...]\n"
    "       pontaro-cli --close [オプション] [ルール ...]\n"
    "       pontaro-cli --list [--json] [-v]\n"
    "\n"
    "UPnP対応ルータを探し、ルールごとにポートマッピングを設定して、\n"
    "ウィンドウの「Open」と同じログを表示します。\n"
    "UPnPで使えるルータがなければ、既定のゲートウェイに PCP で、\n"
    "それも話さなければ NAT-PMP で割り当てを求めます。\n"
    "ルールの形式: 外部ポート, 内部ポート, プロトコル, 説明\n"
    "  例: pontaro-cli \"80, 80, TCP, HTTP接続の通過\" \"21, 21, TCP, FTP接続の通過\"\n"
    "ルールの指定がなければ、保存されたルール (プロファイルの Setting) を使います。\n"
    "\n"
    "オプション:\n"
    "  -c, --close         ポートを閉じる: ルールごとに、その外部ポートとプロトコルの\n"
    "                      ポートマッピングをルータから削除する\n"
    "  -l, --list          現在の設定を表示: ルータのポートマッピングの一覧\n"
    "                      (* はこのコンピュータへの転送) と外側のアドレスを表示する\n"
    "      --json          --list の結果を JSON で表示する\n"
    "  -f, --file FILE     ルールをファイルから読む (1行に1ルール; \"-\" は標準入力)\n"
    "  -w, --watch         定期的に更新: すぐに実行し、その後は実行が終わるたびに\n"
    "                      間隔をおいて自動実行する (Ctrl+C/SIGTERM で終了)\n"
    "  -i, --interval SEC  --watch の間隔 (秒; 既定 600; 0.001 秒単位の小数も可)\n"
    "      --no-ipv6       IPv6 では開かない: IPv4 のポートマッピングだけを扱う\n"
    "                      (既定ではルールごとに IPv6 のピンホールも開く・閉じる)\n"
    "  -v, --verbose       ルータが見つからなかった理由と、失敗した通信の記録\n"
    "                      (ルータの応答のまま) も表示する\n"
    "  -h, --help          この説明を表示する\n"
    "      --version       バージョンを表示する\n"
    "  --                  以降の引数はすべてルール\n"
    "\n"
    "終了コード: 0 成功 (ルールなしも含む), 1 失敗したルールあり\n"
    "            (--list: 一覧を読めなかった), 2 ルータが見つからない,\n"
    "            64 使い方の誤り\n"
    "プロファイルは読むだけで、書き込みません (ただし PCP/NAT-PMP で割り当てるとき、\n"
    "割り当てを後で更新・削除するための秘密の値がなければ一度だけ書き込みます)。\n";

int UsageError(const std::string& message) {
    std::fprintf(stderr, "pontaro-cli: %s\n", text::SanitizeUtf8(message).c_str());
    std::fprintf(stderr, "詳しくは pontaro-cli --help を参照してください。\n");
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
};

// Reads a rule file (or standard input for "-") into CR LF text. Empty
// result and a message in `error` when it cannot be used.
bool ReadRuleFile(const std::string& name, std::string* crlfText, std::string* error) {
    std::string data;
    if (name == "-") {
        if (!platform::ReadStandardInput(&data)) {
            *error = "標準入力を読めません";
            return false;
        }
    } else {
        switch (platform::ReadWholeFile(name, &data)) {
            case platform::ReadResult::kOk:
                break;
            case platform::ReadResult::kMissing:
                *error = "ファイル '" + name + "' がありません";
                return false;
            case platform::ReadResult::kUnreadable:
                *error = "ファイル '" + name + "' を読めません";
                return false;
        }
    }
    // A text box cannot hold a NUL byte; such a file is no rule text.
    if (data.find('\0') != std::string::npos) {
        *error = (name == "-" ? std::string("標準入力") : "ファイル '" + name + "'") +
                 " はテキストではありません (NULバイトを含みます)";
        return false;
    }
    *crlfText = text::SanitizeUtf8(text::LfToCrLf(text::DropUtf8Bom(data)));
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
    }
    return nullptr;
}

// One option with its value (empty for those that take none). An exit code
// when the program ends here (help, version, a usage error).
std::optional<int> TakeOption(const std::string& name, const std::string& value, Options* o) {
    if (name == "-h" || name == "--help") {
        std::fputs(kUsage, stdout);
        return kExitOk;
    } else if (name == "--version") {
        std::printf("pontaro-cli (Pontaro) %s\n", PONTARO_VERSION_TEXT);
        return kExitOk;
    } else if (name == "-f" || name == "--file") {
        if (o->haveFile) {
            return UsageError("-f は一度だけ指定できます");
        }
        o->haveFile = true;
        o->file = value;
    } else if (name == "-i" || name == "--interval") {
        if (!ParseInterval(value, &o->intervalMs)) {
            return UsageError("--interval には 0 より大きい秒数を指定してください: '" + value +
                              "'");
        }
    } else if (bool* flag = FlagOf(name, o)) {
        *flag = true;
    } else {
        return UsageError("不明なオプション '" + name + "'");
    }
    return std::nullopt;
}

// Options that cannot go together; nullptr when these can.
const char* ConflictOf(const Options& o) {
    if (o.haveFile && !o.ruleArgs.empty()) {
        return "ルールは引数か -f のどちらか一方で指定してください";
    } else if (o.close && o.list) {
        return "--close と --list は同時に指定できません";
    } else if (o.list && (o.haveFile || !o.ruleArgs.empty())) {
        return "--list にはルールを指定できません";
    } else if (o.watch && (o.close || o.list)) {
        return "--watch は --close や --list と同時に指定できません";
    } else if (o.json && !o.list) {
        return "--json は --list と一緒に指定してください";
    }
    return nullptr;
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
        const bool takesValue =
            name == "-f" || name == "--file" || name == "-i" || name == "--interval";
        if (takesValue && !inlineValue) {
            if (i + 1 >= argv.size()) {
                return UsageError("オプション " + name + " には値が必要です");
            }
            value = argv[++i];
        } else if (!takesValue && inlineValue) {
            return UsageError("オプション " + name + " は値をとりません");
        }
        if (const std::optional<int> end = TakeOption(name, value, o)) {
            return end;
        }
    }
    if (const char* conflict = ConflictOf(*o)) {
        return UsageError(conflict);
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
    std::visit(session::Overloaded{
                   [&](const session::GatewayNotFound& e) {
                       PrintLine("  " + DescribeFailure(e.reason));
                       record(e.reason);
                   },
                   [](const session::GatewayPassedOver& e) {
                       PrintLine("  見送り: " + e.location + " " + DescribeFailure(e.reason));
                   },
                   [&](const session::RuleFailed& e) { record(e.result.failure); },
                   [&](const session::CloseFailed& e) { record(e.reason); },
                   [&](const session::TableFailed& e) { record(e.reason); },
                   [&](const session::PinholeFailed& e) { record(e.reason); },
                   [](const session::PinholesUnavailable& e) {
                       PrintLine("  " + activity_log::WhyNoPinholesText(e));
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
        gatewayFound = gatewayFound || std::holds_alternative<session::GatewayFound>(event) ||
                       std::holds_alternative<session::PcpGatewayFound>(event);
        anyFailed = anyFailed || std::holds_alternative<session::RuleFailed>(event) ||
                    std::holds_alternative<session::CloseFailed>(event) ||
                    std::holds_alternative<session::TableFailed>(event) ||
                    std::holds_alternative<session::PcpRuleFailed>(event) ||
                    std::holds_alternative<session::PinholeFailed>(event);
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
                l->tableRead = e.complete;
                l->capped = e.capped;
            },
            [&](const session::TableFailed& e) { l->failureText = DescribeFailure(e.reason); },
            [&](const session::OutsideAddress& e) { l->externalAddress = e.address; },
            [](const auto&) {},
        },
        event);
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
            return UsageError("プロファイル '" + profile.Path() + "' を読めません");
        }
        *rules = RuleTextFromStored(
            profile.GetString(settings::kSection, settings::kRuleText, std::string()));
    }
    return std::nullopt;
}

// Runs Open now, then again after every interval until a stop is asked for.
// A run in progress is finished first (it is bounded by its time limits).
void Watch(PortSession& session, const session::Receiver& report, const std::string& rules,
           std::int64_t intervalMs) {
    platform::CatchStopRequests();
    session.Open(rules);
    while (!platform::StopRequested()) {
        WaitFor(intervalMs);
        if (platform::StopRequested()) {
            break;
        }
        report(session::PeriodicRun{static_cast<std::int64_t>(std::time(nullptr))});
        session.Open(rules);
    }
}

int Main(const std::vector<std::string>& args) {
    Options options;
    if (const std::optional<int> end = ParseOptions(args, &options)) {
        return *end;
    }
    std::string rules;
    if (!options.list) {
        if (const std::optional<int> end = GatherRules(options, &rules)) {
            return *end;
        }
    }
    Outcome outcome;
    MappingListing listing;
    session::Fanout report;
    if (options.json) {
        report.Add([&listing](const session::Event& e) { GatherListing(e, &listing); });
    } else {
        report.Add(LogWriter(PrintText));
        if (options.verbose) {
            report.Add(PrintRecords);
        }
    }
    report.Add([&outcome](const session::Event& e) { outcome(e); });
    PortSession session([&report](const session::Event& e) { report(e); });
    session.openIpv6 = !options.noIpv6;

    if (options.list) {
        session.List();
    } else if (options.close) {
        session.Close(rules);
    } else if (options.watch) {
        Watch(
            session, [&report](const session::Event& e) { report(e); }, rules, options.intervalMs);
        return kExitOk;
    } else {
        session.Open(rules);
        // Nothing renews the mappings after this process: say when they go.
        if (outcome.pcpLifetime) {
            PrintText("※ PCP/NAT-PMPの割り当ては " + std::to_string(*outcome.pcpLifetime) +
                      "秒後に切れます。保つには --watch で定期的に更新してください。\r\n");
        }
    }
    if (options.json) {
        const std::string json = MappingListingJson(listing);
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
