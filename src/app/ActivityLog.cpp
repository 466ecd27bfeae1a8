#include "app/ActivityLog.h"

#include <ctime>

#include "platform/Clock.h"
#include "text/Text.h"

namespace activity_log {

std::string GatewayText(const std::string& address, const std::string& location) {
    return "- Address : " + address + "\r\n- Control URL : " + location + "\r\n";
}

std::string RuleStartText(const std::string& externalPort, const std::string& internalPort,
                          const std::string& protocol) {
    return "■ " + externalPort + " -> " + internalPort + " [" + protocol + "] : ";
}

std::string AppendedLogText(const std::string& current, const std::string& message) {
    std::string log = current + text::SanitizeUtf8(message);
    if (log.size() <= kMaxLogBytes) {
        return log;
    }
    const std::size_t excess = log.size() - kMaxLogBytes;
    const std::size_t lineEnd = log.find("\r\n", excess >= 2 ? excess - 2 : 0);
    // Whole lines when a line ends in time; never the newest line itself.
    std::size_t cut =
        lineEnd != std::string::npos && lineEnd + 2 < log.size() ? lineEnd + 2 : excess;
    while (cut < log.size() && (static_cast<unsigned char>(log[cut]) & 0xC0) == 0x80) {
        ++cut;  // not inside a character
    }
    log.erase(0, cut);
    return log;
}

std::string FormatLocalTime(std::int64_t secondsSinceEpoch, const char* pattern) {
    std::tm local{};
    if (!platform::ToLocalTime(secondsSinceEpoch, &local)) {
        return std::string();
    }
    char buffer[128];
    // strftime gives 0 both for "does not fit" and for an empty result; either
    // way the answer is the empty text.
    const std::size_t n = std::strftime(buffer, sizeof buffer, pattern, &local);
    return std::string(buffer, n);
}

}  // namespace activity_log
