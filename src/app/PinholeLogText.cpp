#include "app/PinholeLogText.h"

#include "app/ActivityLog.h"
#include "app/FailureText.h"
#include "upnp/UpnpErrors.h"

namespace activity_log {

namespace {

std::string OneLine(std::string line) {
    return line.substr(0, line.find("\r\n"));
}

}  // namespace

std::string PinholeStartText(const std::string& address, int port, const std::string& protocol) {
    return "■ [" + address + "]:" + std::to_string(port) + " [" + RouterText(protocol) +
           "/IPv6] : ";
}

std::string PinholesListedText(const std::vector<OpenedEntry>& pinholes) {
    std::string out = texts::Text(texts::Msg::kPinholesListed);
    if (pinholes.empty()) {
        return out + texts::Text(texts::Msg::kListedNone);
    }
    for (const OpenedEntry& p : pinholes) {
        out += "  [" + RouterText(p.internalClient) + "]:" + std::to_string(p.internalPort) + " [" +
               RouterText(p.protocol) + "/IPv6]\r\n";
    }
    return out;
}

std::string WhyNoPinholesText(const session::PinholesUnavailable& e) {
    using Why = session::PinholesUnavailable::Why;
    using texts::Msg;
    switch (e.why) {
        case Why::kNoStableAddress:
            return texts::Text(Msg::kNoStableAddress);
        case Why::kNoService:
            return texts::Text(Msg::kNoFirewallService);
        case Why::kNoAnswer:
            return texts::Text(Msg::kNoIpv6Answer);
        case Why::kServiceUnreadable:
            return texts::Format(Msg::kIpv6DescriptionUnreadable, {DescribeFailure(e.reason)});
        case Why::kOtherDevice:
            return texts::Text(Msg::kIpv6OtherDevice);
        case Why::kFirewallDisabled:
            return texts::Format(Msg::kIpv6Prefixed, {OneLine(kFirewallDisabled)});
        case Why::kPinholesNotAllowed:
            return texts::Format(Msg::kIpv6Prefixed, {OneLine(kPinholesNotAllowed)});
    }
    return {};
}

std::string ReachableOverIpv6Text(const std::string& address) {
    return texts::Format(texts::Msg::kReachableOverIpv6, {address});
}

}  // namespace activity_log

std::string DescribePinholeFailure(const FailureReason& reason, const std::string& port) {
    using texts::Msg;
    static constexpr struct {
        const char* code;
        Msg says;
    } kCodes[] = {
        {upnp::error::kActionNotAuthorized, Msg::kPinhole606},
        {upnp::error::kPinholeSpaceExhausted, Msg::kPinhole701},
        {upnp::error::kFirewallDisabled, Msg::kPinhole702},
        {upnp::error::kInboundPinholeNotAllowed, Msg::kPinhole703},
        {upnp::error::kNoSuchPinhole, Msg::kPinhole704},
        {upnp::error::kProtocolNotSupported, Msg::kPinhole705},
        {upnp::error::kInternalPortWildcardingNotAllowed, Msg::kPinhole706},
        {upnp::error::kProtocolWildcardingNotAllowed, Msg::kPinhole707},
        {upnp::error::kWildCardNotPermittedInSrcIP, Msg::kPinhole708},
        {upnp::error::kNoTrafficReceived, Msg::kPinhole709},
    };
    for (const auto& c : kCodes) {
        if (reason.upnpErrorCode == c.code) {
            const std::string note =
                texts::Format(Msg::kPinholeCodeNote, {port, reason.upnpErrorCode});
            return texts::Text(Msg::kReasonPrefix) + texts::Format(c.says, {note});
        }
    }
    return DescribeFailure(reason);
}
