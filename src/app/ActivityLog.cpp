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

std::string LoggedText(const std::string& message) {
    return text::SanitizeUtf8(message);
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
