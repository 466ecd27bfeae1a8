// The log pane's texts and time stamp. Every message carries its own CR LF
// line ends; appending adds none.
#pragma once

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

// Closing: the rule's line ends in one of these.
inline constexpr char kClosed[] = "○\u3000閉じました。\r\n";
inline constexpr char kNothingToClose[] = "○\u3000設定はありませんでした。\r\n";
inline constexpr char kCloseFailure[] = "×\u3000閉じられませんでした。\r\n";

// Listing the router's table.
inline constexpr char kTableEmpty[] = "◆ポートマッピングはありません\r\n";
inline constexpr char kTableMarkNote[] = "(* はこのコンピュータへの転送です)\r\n";
inline constexpr char kTableCapped[] = "※ 1024件で打ち切りました。\r\n";
inline constexpr char kTableFailure[] = "×\u3000ポートマッピングの一覧を読めませんでした。\r\n";

inline constexpr char kTimeStampPattern[] = "[%Y/%m/%d %H:%M:%S] ";

// "- Address : %s\r\n- Control URL : %s\r\n"
std::string GatewayText(const std::string& address, const std::string& location);
// "■ %s -> %s [%s] : " (no line end: the outcome completes the line)
std::string RuleStartText(const std::string& externalPort, const std::string& internalPort,
                          const std::string& protocol);

// "■ %s [%s] : " (external port and protocol; the outcome completes the line)
std::string CloseStartText(const std::string& externalPort, const std::string& protocol);
// "◆ポートマッピング一覧 : %d件\r\n"
std::string TableHeadingText(std::size_t entries);
// "- External IP : %s\r\n"
std::string ExternalAddressText(const std::string& address);

// The log after an append: the old text, then the message with any byte
// sequence that is not UTF-8 shown as U+FFFD.
std::string AppendedLogText(const std::string& current, const std::string& message);

// strftime of the local time into 128 bytes; empty when the time cannot be
// converted or the result (with its terminating zero) does not fit.
std::string FormatLocalTime(std::int64_t secondsSinceEpoch, const char* pattern);

}  // namespace activity_log
