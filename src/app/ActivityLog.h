// The log pane's texts and time stamp. Every message carries its own CR LF
// line ends; appending adds none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace activity_log {

inline constexpr char kAutoRun[] = "自動実行します。\r\n";
inline constexpr char kNotFound[] = "UPnP対応ルータが見つかりませんでした。\r\n\r\n";
inline constexpr char kFound[] = "◆UPnP対応ルータが見つかりました\r\n";
// After ○ and × comes one ideographic space (U+3000), not an ASCII one.
inline constexpr char kSuccess[] = "○\u3000設定に成功しました。\r\n";
inline constexpr char kFailure[] = "×\u3000設定に失敗しました。\r\n";
inline constexpr char kRunEnd[] = "\r\n";
// The rule text could not be written to the profile (a full disk, a profile
// that cannot be read); the run goes on with the text in the window.
inline constexpr char kSaveFailed[] = "設定を保存できませんでした。\r\n";

inline constexpr char kTimeStampPattern[] = "[%Y/%m/%d %H:%M:%S] ";

// "- Address : %s\r\n- Control URL : %s\r\n"
std::string GatewayText(const std::string& address, const std::string& location);
// "■ %s -> %s [%s] : " (no line end: the outcome completes the line)
std::string RuleStartText(const std::string& externalPort, const std::string& internalPort,
                          const std::string& protocol);

// The most the log keeps: about a day of periodic runs. A window left
// running for weeks would otherwise hold (and redraw at every append) all
// of them.
inline constexpr std::size_t kMaxLogBytes = 32 * 1024;

// The log after an append: the old text, then the message with any byte
// sequence that is not UTF-8 shown as U+FFFD. Beyond kMaxLogBytes the oldest
// whole lines go (a single longer line is cut at a character).
std::string AppendedLogText(const std::string& current, const std::string& message);

// strftime of the local time into 128 bytes; empty when the time cannot be
// converted or the result (with its terminating zero) does not fit.
std::string FormatLocalTime(std::int64_t secondsSinceEpoch, const char* pattern);

}  // namespace activity_log
