// pontaro-cli: one run of the main window's "Open" (or of its "ポートを閉じる"
// and "現在の設定を表示") from a terminal, with the log printed as the window
// would show it. The runs are CPortMapDlg's; this file only gathers the rule
// text and reports.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "PontaroVersion.h"
#include "app/FailureText.h"
#include "app/MappingTable.h"
#include "app/PortMapDlg.h"
#include "app/Profile.h"
#include "cli/TerminalWindow.h"
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
    "  -v, --verbose       ルータが見つからなかった理由と、失敗した通信の記録\n"
    "                      (ルータの応答のまま) も表示する\n"
    "  -h, --help          この説明を表示する\n"
    "      --version       バージョンを表示する\n"
    "  --                  以降の引数はすべてルール\n"
    "\n"
    "終了コード: 0 成功 (ルールなしも含む), 1 失敗したルールあり\n"
    "            (--list: 一覧を読めなかった), 2 ルータが見つからない,\n"
    "            64 使い方の誤り\n"
    "プロファイルは読むだけで、書き込みません。\n";

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
    std::int64_t ms = 0;
    for (char c : whole + (fraction + "000").substr(0, 3)) {
        if (c < '0' || c > '9') {
            return false;
        }
        ms = ms * 10 + (c - '0');
    }
    if (ms < 1) {
        return false;
    }
    *milliseconds = ms;
    return true;
}

// 0 when the options are usable, else the exit code (help, version, usage).
int ParseOptions(const std::vector<std::string>& argv, Options* o, bool* exitNow) {
    *exitNow = false;
    bool onlyRules = false;
    const std::size_t argc = argv.size();
    for (std::size_t i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (onlyRules || arg.empty() || arg[0] != '-' || arg == "-") {
            o->ruleArgs.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyRules = true;
            continue;
        }
        std::string value;
        bool inlineValue = false;
        std::string name = arg;
        if (arg.rfind("--", 0) == 0) {
            const std::size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                name = arg.substr(0, eq);
                value = arg.substr(eq + 1);
                inlineValue = true;
            }
        }
        const bool takesValue =
            name == "-f" || name == "--file" || name == "-i" || name == "--interval";
        if (takesValue && !inlineValue) {
            if (i + 1 >= argc) {
                *exitNow = true;
                return UsageError("オプション " + name + " には値が必要です");
            }
            value = argv[++i];
        } else if (!takesValue && inlineValue) {
            *exitNow = true;
            return UsageError("オプション " + name + " は値をとりません");
        }
        if (name == "-h" || name == "--help") {
            std::fputs(kUsage, stdout);
            *exitNow = true;
            return kExitOk;
        } else if (name == "--version") {
            std::printf("pontaro-cli (Pontaro) %s\n", PONTARO_VERSION_TEXT);
            *exitNow = true;
            return kExitOk;
        } else if (name == "-f" || name == "--file") {
            if (o->haveFile) {
                *exitNow = true;
                return UsageError("-f は一度だけ指定できます");
            }
            o->haveFile = true;
            o->file = value;
        } else if (name == "-i" || name == "--interval") {
            if (!ParseInterval(value, &o->intervalMs)) {
                *exitNow = true;
                return UsageError("--interval には 0 より大きい秒数を指定してください: '" + value +
                                  "'");
            }
        } else if (name == "-w" || name == "--watch") {
            o->watch = true;
        } else if (name == "-v" || name == "--verbose") {
            o->verbose = true;
        } else if (name == "-c" || name == "--close") {
            o->close = true;
        } else if (name == "-l" || name == "--list") {
            o->list = true;
        } else if (name == "--json") {
            o->json = true;
        } else {
            *exitNow = true;
            return UsageError("不明なオプション '" + arg + "'");
        }
    }
    if (o->haveFile && !o->ruleArgs.empty()) {
        *exitNow = true;
        return UsageError("ルールは引数か -f のどちらか一方で指定してください");
    }
    const char* conflict = nullptr;
    if (o->close && o->list) {
        conflict = "--close と --list は同時に指定できません";
    } else if (o->list && (o->haveFile || !o->ruleArgs.empty())) {
        conflict = "--list にはルールを指定できません";
    } else if (o->watch && (o->close || o->list)) {
        conflict = "--watch は --close や --list と同時に指定できません";
    } else if (o->json && !o->list) {
        conflict = "--json は --list と一緒に指定してください";
    }
    if (conflict != nullptr) {
        *exitNow = true;
        return UsageError(conflict);
    }
    return kExitOk;
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

// --verbose: the log itself says why a rule failed. What it leaves out: why
// no router was found, and each failure as recorded, in the router's own
// words.
void PrintFailureRecords(TerminalWindow& window, CPortMapDlg& dlg) {
    auto printRecord = [&window](const FailureReason& r) {
        const std::string record = DescribeFailureRecord(r);
        if (!record.empty()) {
            window.PrintLine("  (" + record + ")");
        }
    };
    dlg.m_onNotFound = [&window, printRecord](const FailureReason& r) {
        window.PrintLine("  " + DescribeFailure(r));
        printRecord(r);
    };
    dlg.m_onRuleFailure = printRecord;
    dlg.m_onPassedOver = [&window](const std::string& location, const FailureReason& r) {
        window.PrintLine("  見送り: " + location + " " + DescribeFailure(r));
    };
}

// --list: the log as the window shows it, or the same facts as JSON.
int ListMappings(const Options& options) {
    TerminalWindow window(std::string(), options.json ? nullptr : stdout);
    CPortMapDlg dlg(window, nullptr);
    if (options.verbose && !options.json) {
        PrintFailureRecords(window, dlg);
    }
    dlg.ListCycle();
    if (options.json) {
        const std::string json = MappingListingJson(dlg.m_lastListing);
        std::fwrite(json.data(), 1, json.size(), stdout);
    }
    if (!dlg.m_lastListing.gatewayFound) {
        return kExitNoRouter;
    }
    return dlg.m_lastListing.tableRead ? kExitOk : kExitRuleFailed;
}

int Main(const std::vector<std::string>& args) {
    Options options;
    bool exitNow = false;
    const int parsed = ParseOptions(args, &options, &exitNow);
    if (exitNow) {
        return parsed;
    }
    if (options.list) {
        return ListMappings(options);
    }

    std::string rules;
    if (options.haveFile) {
        std::string error;
        if (!ReadRuleFile(options.file, &rules, &error)) {
            return UsageError(error);
        }
    } else if (!options.ruleArgs.empty()) {
        for (std::size_t i = 0; i < options.ruleArgs.size(); ++i) {
            rules += (i == 0 ? "" : "\r\n") + text::SanitizeUtf8(options.ruleArgs[i]);
        }
    } else {
        const Profile profile;
        if (profile.IsReadOnly()) {
            return UsageError("プロファイル '" + profile.Path() + "' を読めません");
        }
        rules = RuleTextFromStored(
            profile.GetString(settings::kSection, settings::kRuleText, std::string()));
    }

    TerminalWindow window(rules, stdout);
    CPortMapDlg dlg(window, nullptr);  // a run from the command line saves nothing
    if (options.verbose) {
        PrintFailureRecords(window, dlg);
    }

    if (options.close) {
        dlg.CloseCycle();
    } else if (!options.watch) {
        dlg.RunCycle();
    } else {
        // A run in progress is finished first (it is bounded by its time limits).
        platform::CatchStopRequests();
        dlg.RunCycle();
        while (!platform::StopRequested()) {
            WaitFor(options.intervalMs);
            if (platform::StopRequested()) {
                break;
            }
            dlg.RunPeriodic();
        }
        return kExitOk;
    }
    if (!dlg.m_lastRun.gatewayFound) {
        return kExitNoRouter;
    }
    return dlg.m_lastRun.rulesFailed > 0 ? kExitRuleFailed : kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    platform::PrepareConsoleOutput();
    const int code = Main(platform::Utf8Arguments(argc, argv));
    std::fflush(stdout);
    return code;
}
