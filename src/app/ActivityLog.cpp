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

std::string CloseStartText(const std::string& externalPort, const std::string& protocol) {
    return "■ " + externalPort + " [" + protocol + "] : ";
}

std::string TableHeadingText(std::size_t entries) {
    return "◆ポートマッピング一覧 : " + std::to_string(entries) + "件\r\n";
}

std::string ExternalAddressText(const std::string& address) {
    return "- External IP : " + address + "\r\n";
}

std::string AppendedLogText(const std::string& current, const std::string& message) {
    return current + text::SanitizeUtf8(message);
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
