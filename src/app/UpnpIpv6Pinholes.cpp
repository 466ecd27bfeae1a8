#include "app/UpnpIpv6Pinholes.h"

#include "net/Ipv6Text.h"
#include "text/Text.h"
#include "upnp/UpnpErrors.h"

using session::PinholesUnavailable;
using Why = PinholesUnavailable::Why;

namespace {

std::string UpperProtocol(const PortMappingRule& rule) {
    return text::AsciiUpper(rule.protocol);
}

}  // namespace

UpnpIpv6Pinholes::UpnpIpv6Pinholes(const CRouterDevice& gateway, MadePinholes& made)
    : found_(gateway.ipv6),
      gatewayUdn_(gateway.udn),
      made_(made),
      address_(net::FormatIPv6(gateway.ipv6.source)) {
    firewall_.location = found_.location;
    firewall_.overIpv6 = true;
    firewall_.address6 = found_.router;
    firewall_.source6 = found_.source;
}

std::optional<PinholesUnavailable> UpnpIpv6Pinholes::Prepare(bool opening) {
    switch (found_.state) {
        case Ipv6Gateway::State::kNotSearched:
        case Ipv6Gateway::State::kNoStableAddress:
            return PinholesUnavailable{Why::kNoStableAddress, {}};
        case Ipv6Gateway::State::kNoService:
            return PinholesUnavailable{Why::kNoService, {}};
        case Ipv6Gateway::State::kNoAnswer:
            return PinholesUnavailable{Why::kNoAnswer, {}};
        case Ipv6Gateway::State::kFound:
            break;
    }
    if (firewall_.ReadFirewallService() != 0) {
        return PinholesUnavailable{Why::kServiceUnreadable, firewall_.LastFailure()};
    }
    // Pinholes on another box (a second IGD on the network, or a host
    // that answers every search) would open nothing on the way in.
    if (!gatewayUdn_.empty() && !firewall_.udn.empty() && firewall_.udn != gatewayUdn_) {
        return PinholesUnavailable{Why::kOtherDevice, {}};
    }
    bool enabled = true;
    bool allowed = true;
    // A router that does not answer the question may still take pinholes;
    // each rule then tells.
    if (opening && firewall_.GetFirewallStatus(&enabled, &allowed) == 0) {
        if (!enabled) {
            return PinholesUnavailable{Why::kFirewallDisabled, {}};
        }
        if (!allowed) {
            return PinholesUnavailable{Why::kPinholesNotAllowed, {}};
        }
    }
    return std::nullopt;
}

RecordPlace UpnpIpv6Pinholes::PlaceOf(const CRouterDevice& gateway, const std::string& list) {
    return RecordPlace{OpenedEntry::Kind::kPinhole, gateway.udn,
                       net::FormatIPv6(gateway.ipv6.router), list};
}

bool UpnpIpv6Pinholes::Applies(const PortMappingRule& rule) {
    const std::string p = UpperProtocol(rule);
    return p == "TCP" || p == "UDP";
}

bool UpnpIpv6Pinholes::Add(int port, const std::string& protocol, const std::string& description,
                           FailureReason* failure) {
    made_.Asking(address_, port, protocol, description);
    std::string uniqueId;
    if (firewall_.AddPinhole(address_, port, protocol, CRouterDevice::kLongestPinholeSeconds,
                             &uniqueId) != 0) {
        *failure = firewall_.LastFailure();
        if (failure->httpStatus != 0) {
            made_.Refused(address_, port, protocol);
        }
        return false;
    }
    made_.Remember(address_, port, protocol, uniqueId, description,
                   CRouterDevice::kLongestPinholeSeconds);
    return true;
}

bool UpnpIpv6Pinholes::Open(const PortMappingRule& rule, FailureReason* failure) {
    const int port = rule.InternalPortNumber();
    const std::string protocol = UpperProtocol(rule);
    // A periodic run renews the pinhole it opened; one the router has lost
    // meanwhile (a reboot) is opened anew.
    if (const std::optional<std::string> known = made_.Find(address_, port, protocol)) {
        if (firewall_.UpdatePinhole(*known, CRouterDevice::kLongestPinholeSeconds) == 0) {
            made_.Renewed(address_, port, protocol, CRouterDevice::kLongestPinholeSeconds);
            return true;
        }
        if (firewall_.LastFailure().upnpErrorCode != upnp::error::kNoSuchPinhole) {
            *failure = firewall_.LastFailure();
            return false;
        }
        made_.Forget(address_, port, protocol);
    }
    return Add(port, protocol, rule.description, failure);
}

UpnpIpv6Pinholes::CloseOutcome UpnpIpv6Pinholes::Close(const PortMappingRule& rule,
                                                       FailureReason* failure) {
    const int port = rule.InternalPortNumber();
    const std::string protocol = UpperProtocol(rule);
    // Another process (an earlier pontaro-cli) may have opened it: the
    // router answers the same pinhole again with its number, and an
    // identical one that was not there is removed as soon as it was made.
    // A router that refuses it (606 for a port below 1024) holds none.
    if (!made_.Find(address_, port, protocol) && !Add(port, protocol, rule.description, failure)) {
        return failure->upnpErrorCode.empty() ? CloseOutcome::kFailed : CloseOutcome::kNothingThere;
    }
    const std::string id = made_.Find(address_, port, protocol).value_or(std::string());
    if (firewall_.DeletePinhole(id) != 0) {
        if (firewall_.LastFailure().upnpErrorCode == upnp::error::kNoSuchPinhole) {
            made_.Forget(address_, port, protocol);
            return CloseOutcome::kNothingThere;
        }
        *failure = firewall_.LastFailure();
        return CloseOutcome::kFailed;
    }
    made_.Forget(address_, port, protocol);
    return CloseOutcome::kClosed;
}
