#include "app/ApplyRule.h"

#include "upnp/UpnpErrors.h"

namespace {

int AddMapping(CRouterDevice& gateway, const PortMappingRule& rule) {
    return gateway.AddPortMapping(rule.ExternalPortNumber(), rule.InternalPortNumber(),
                                  rule.protocol, rule.description);
}

}  // namespace

RuleResult ApplyRule(CRouterDevice& gateway, const PortMappingRule& rule, MadeMappings* made) {
    RuleResult result;
    if (AddMapping(gateway, rule) == 0) {
        result.kind = RuleResult::Kind::kAdded;
        // The address the request named, not this machine's address now: it
        // may have changed since (a new DHCP lease during the run).
        made->Remember(rule, gateway.LastInternalClient());
        return result;
    }
    result.failure = gateway.LastFailure();
    if (result.failure.upnpErrorCode != upnp::error::kConflictInMappingEntry) {
        return result;
    }
    PortMappingEntry holder;
    if (gateway.GetSpecificPortMappingEntry(rule.ExternalPortNumber(), rule.protocol, &holder) !=
        0) {
        return result;
    }
    result.holder = holder;
    const std::string current = gateway.GetLocalAddress().ToText();
    if (holder.internalClient == current &&
        holder.InternalPortNumber() == rule.InternalPortNumber()) {
        result.kind = RuleResult::Kind::kAlreadyThere;
        return result;
    }
    result.holderKnown = true;
    if (!made->IsOurEarlierAddress(holder, rule, current)) {
        return result;
    }
    // DHCP gave this machine another address; the router still forwards the
    // port to the old one, which only this process's own rule put there.
    // 714: it went meanwhile (a lease ran out); the port is free either way.
    if (gateway.DeletePortMapping(rule.ExternalPortNumber(), rule.protocol) != 0 &&
        gateway.LastFailure().upnpErrorCode != upnp::error::kNoSuchEntryInArray) {
        result.failure = gateway.LastFailure();
        result.oldAddressKept = true;
        return result;
    }
    if (AddMapping(gateway, rule) != 0) {
        result.failure = gateway.LastFailure();
        result.holderKnown = false;
        return result;
    }
    made->Remember(rule, gateway.LastInternalClient());
    result.kind = RuleResult::Kind::kMovedFromOldAddress;
    return result;
}
