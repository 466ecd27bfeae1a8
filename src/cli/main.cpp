// pontaro-cli: one run of the main window's "Open" from a terminal, with the
// log printed as the window would show it. The run itself is CPortMapDlg's;
// this file only gathers the rule text and reports.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/FailureText.h"
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
    "\n"
    "UPnP対応ルータを探し、ルールごとにポートマッピングを設定して、\n"
    "ウィンドウの「Open」と同じログを表示します。\n"
    "ルールの形式: 外部ポート, 内部ポート, プロトコル, 説明\n"
    "  例: pontaro-cli \"80, 80, TCP, HTTP接続の通過\" \"21, 21, TCP, FTP接続の通過\"\n"
    "ルールの指定がなければ、保存されたルール (プロファイルの Setting) を使います。\n"
    "\n"
    "オプション:\n"
    "  -f, --file FILE     ルールをファイルから読む (1行に1ルール; \"-\" は標準入力)\n"
    "  -w, --watch         定期的に更新: すぐに実行し、その後は実行が終わるたびに\n"
    "                      間隔をおいて自動実行する (SIGINT/SIGTERM で終了)\n"
    "  -i, --interval SEC  --watch の間隔 (秒; 既定 600)\n"
    "  -v, --verbose       失敗の行の後に理由を表示する\n"
    "  -h, --help          この説明を表示する\n"
    "      --version       バージョンを表示する\n"
    "  --                  以降の引数はすべてルール\n"
    "\n"
    "終了コード: 0 成功 (ルールなしも含む), 1 失敗したルールあり,\n"
    "            2 ルータが見つからない, 64 使い方の誤り\n"
    "プロファイルは読むだけで、書き込みません。\n";

volatile std::sig_atomic_t g_stopSignal = 0;

// A run in progress is finished first (it is bounded by its time limits);
// the handler stays installed, as tools such as timeout(1) deliver the
// signal twice (to the program and to its process group).
extern "C" void OnStopSignal(int sig) {
    g_stopSignal = sig;
}

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
    long intervalSeconds = 600;
    bool verbose = false;
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
    if (data.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        data.erase(0, 3);
    }
    *crlfText = text::SanitizeUtf8(text::LfToCrLf(data));
    return true;
}

bool ParseInterval(const std::string& value, long* seconds) {
    if (value.empty() || value.size() > 9) {
        return false;
    }
    long v = 0;
    for (char c : value) {
        if (c < '0' || c > '9') {
            return false;
        }
        v = v * 10 + (c - '0');
    }
    if (v < 1) {
        return false;
    }
    *seconds = v;
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
            if (!ParseInterval(value, &o->intervalSeconds)) {
                *exitNow = true;
                return UsageError("--interval には 1 以上の秒数を指定してください: '" + value +
                                  "'");
            }
        } else if (name == "-w" || name == "--watch") {
            o->watch = true;
        } else if (name == "-v" || name == "--verbose") {
            o->verbose = true;
        } else {
            *exitNow = true;
            return UsageError("不明なオプション '" + arg + "'");
        }
    }
    if (o->haveFile && !o->ruleArgs.empty()) {
        *exitNow = true;
        return UsageError("ルールは引数か -f のどちらか一方で指定してください");
    }
    return kExitOk;
}

// Waits until `seconds` have passed since `start`, or a stop signal came.
void WaitFor(long seconds, std::uint32_t start) {
    const std::uint64_t limitMs = static_cast<std::uint64_t>(seconds) * 1000;
    while (g_stopSignal == 0) {
        const std::uint32_t elapsed = platform::TickCount() - start;
        if (elapsed >= limitMs) {
            return;
        }
        const std::uint64_t left = limitMs - elapsed;
        platform::SleepMs(static_cast<unsigned>(left < 100 ? left : 100));
    }
}

int Main(const std::vector<std::string>& args) {
    Options options;
    bool exitNow = false;
    const int parsed = ParseOptions(args, &options, &exitNow);
    if (exitNow) {
        return parsed;
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
        auto printReason = [&window](const FailureReason& r) {
            window.PrintLine("  " + DescribeFailure(r));
        };
        dlg.m_onNotFound = printReason;
        dlg.m_onRuleFailure = printReason;
        dlg.m_onPassedOver = [&window](const std::string& location, const FailureReason& r) {
            window.PrintLine("  見送り: " + location + " " + DescribeFailure(r));
        };
    }

    if (!options.watch) {
        dlg.RunCycle();
        window.Flush();
    } else {
        std::signal(SIGINT, OnStopSignal);
        std::signal(SIGTERM, OnStopSignal);
        dlg.RunCycle();
        window.Flush();
        while (g_stopSignal == 0) {
            WaitFor(options.intervalSeconds, platform::TickCount());
            if (g_stopSignal != 0) {
                break;
            }
            dlg.RunPeriodic();
            window.Flush();
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
    platform::StartComponentServices();
    const int code = Main(platform::Utf8Arguments(argc, argv));
    std::fflush(stdout);
    platform::StopComponentServices();
    return code;
}
