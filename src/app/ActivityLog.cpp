#include "app/ActivityLog.h"

#include <ctime>

#include "app/MappingTable.h"
#include "platform/Clock.h"
#include "text/Text.h"

namespace activity_log {

std::string GatewayText(const std::string& address, const std::string& location) {
    return texts::Format(texts::Msg::kGatewayAddress, {address, location});
}

std::string ExternalAddressText(const std::string& address) {
    return texts::Format(texts::Msg::kExternalAddress, {RouterText(address)});
}

std::string NotPublicText(const std::string& address) {
    return texts::Format(texts::Msg::kNotPublic, {RouterText(address)});
}

std::string ReasonText(const std::string& reason) {
    return "  " + reason + "\r\n";
}

std::string AlreadyThereText(const std::string& description) {
    if (description.empty()) {
        return texts::Text(texts::Msg::kAlreadyThere);
    }
    return texts::Format(texts::Msg::kAlreadyThereDescribed, {RouterText(description)});
}

std::string MovedFromOldAddressText(const std::string& oldAddress) {
    return texts::Format(texts::Msg::kMovedFromOldAddress, {RouterText(oldAddress)});
}

std::string RouterText(const std::string& raw) {
    constexpr std::size_t kMaxBytes = 256;
    // Converted before it is cut: a cut could split a two-byte character.
    const std::string s = OneLineText(raw);
    std::size_t end = s.size();
    if (end > kMaxBytes) {
        end = kMaxBytes;
        // Back to the first byte of a character.
        while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) {
            --end;
        }
    }
    return s.substr(0, end);
}

std::string RuleStartText(const std::string& externalPort, const std::string& internalPort,
                          const std::string& protocol) {
    return "■ " + externalPort + " -> " + internalPort + " [" + protocol + "] : ";
}

std::string CloseStartText(const std::string& externalPort, const std::string& protocol) {
    return "■ " + externalPort + " [" + protocol + "] : ";
}

std::string TableHeadingText(std::size_t entries) {
    return texts::Format(texts::Msg::kTableHeading, {std::to_string(entries)});
}

std::string LoggedText(const std::string& message) {
    return text::SanitizeUtf8(message);
}

int LogLineBudget::Append(const std::string& text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find("\r\n", at);
        if (end == std::string::npos) {
            open_ += text.size() - at;
            break;
        }
        lines_.push_back(open_ + end + 2 - at);
        open_ = 0;
        at = end + 2;
    }
    bytes_ += text.size();
    int drop = 0;
    // An open line is the newest; otherwise the last finished one is.
    const std::size_t keep = open_ > 0 ? 0 : 1;
    while (bytes_ > kMaxLogBytes && lines_.size() > keep) {
        bytes_ -= lines_.front();
        lines_.pop_front();
        ++drop;
    }
    return drop;
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
