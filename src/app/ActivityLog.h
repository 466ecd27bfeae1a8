// The log pane's texts (from the catalog, Log.*.inc) and time stamp. Every
// message carries its own CR LF line ends; appending adds none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

#include "app/texts/Catalog.h"

namespace activity_log {

inline constexpr texts::Message kAutoRun{texts::Msg::kAutoRun};
inline constexpr texts::Message kNotFound{texts::Msg::kNotFound};
inline constexpr texts::Message kFound{texts::Msg::kFound};
inline constexpr texts::Message kSuccess{texts::Msg::kSuccess};
inline constexpr texts::Message kFailure{texts::Msg::kFailure};
inline constexpr char kRunEnd[] = "\r\n";
// The rule text could not be written to the profile (a full disk, a profile
// that cannot be read); the run goes on with the text in the window.
inline constexpr texts::Message kSaveFailed{texts::Msg::kSaveFailed};
inline constexpr texts::Message kLoginStartNotSet{texts::Msg::kLoginStartNotSet};
inline constexpr texts::Message kLoginStartNotRemoved{texts::Msg::kLoginStartNotRemoved};

// Closing: the rule's line ends in one of these.
inline constexpr texts::Message kClosed{texts::Msg::kClosed};
inline constexpr texts::Message kNothingToClose{texts::Msg::kNothingToClose};
inline constexpr texts::Message kCloseFailure{texts::Msg::kCloseFailure};

// Listing the router's table.
inline constexpr texts::Message kTableEmpty{texts::Msg::kTableEmpty};
inline constexpr texts::Message kTableMarkNote{texts::Msg::kTableMarkNote};
inline constexpr texts::Message kTableCapped{texts::Msg::kTableCapped};
inline constexpr texts::Message kTableFailure{texts::Msg::kTableFailure};

inline constexpr char kTimeStampPattern[] = "[%Y/%m/%d %H:%M:%S] ";

// "- Address : %s\r\n- Control URL : %s\r\n"
std::string GatewayText(const std::string& address, const std::string& location);
// "- External IP : %s\r\n", the router's outside address as it stated it.
std::string ExternalAddressText(const std::string& address);
// The warning that follows it when that address cannot be reached from the
// internet (private, carrier-grade NAT and the like).
std::string NotPublicText(const std::string& address);
// "  理由: ...\r\n" under a failure line (`reason` begins with "理由: ").
std::string ReasonText(const std::string& reason);
// The note under a success line when the router already had the mapping for
// this machine.
std::string AlreadyThereText(const std::string& description);
// The note under a success line when this program's own mapping for an
// earlier address of this machine was removed to map the rule again.
std::string MovedFromOldAddressText(const std::string& oldAddress);

// A text from the router made fit for one line of the log: OneLineText
// (MappingTable.h), then at most its first 256 bytes, cut at a character
// boundary.
std::string RouterText(const std::string& s);
// "■ %s -> %s [%s] : " (no line end: the outcome completes the line)
std::string RuleStartText(const std::string& externalPort, const std::string& internalPort,
                          const std::string& protocol);

// The message as the log shows it: any byte sequence that is not UTF-8 as
// U+FFFD.
std::string LoggedText(const std::string& message);

// "■ %s [%s] : " (external port and protocol; the outcome completes the line)
std::string CloseStartText(const std::string& externalPort, const std::string& protocol);
// "◆ポートマッピング一覧 : %d件\r\n"
std::string TableHeadingText(std::size_t entries);

// The most the log keeps: about a day of periodic runs. A window left
// running for weeks would otherwise hold (and redraw) all of them.
inline constexpr std::size_t kMaxLogBytes = 32 * 1024;

// Counts the log's lines as they are appended, so that the oldest whole
// lines can go once the log grows past kMaxLogBytes. The newest line always
// stays, however long.
class LogLineBudget {
public:
    // Counts `text` (as the log shows it) and returns how many of the oldest
    // lines must go now.
    int Append(const std::string& text);
    std::size_t Bytes() const { return bytes_; }

private:
    std::deque<std::size_t> lines_;  // the byte sizes of the finished lines, oldest first
    std::size_t open_ = 0;           // bytes of the line not yet ended
    std::size_t bytes_ = 0;          // all of it
};

// strftime of the local time into 128 bytes; empty when the time cannot be
// converted or the result (with its terminating zero) does not fit.
std::string FormatLocalTime(std::int64_t secondsSinceEpoch, const char* pattern);

}  // namespace activity_log
