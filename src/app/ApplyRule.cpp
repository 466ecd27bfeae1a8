#include "app/ApplyRule.h"

#include "upnp/UpnpErrors.h"

namespace {

int AddMapping(CRouterDevice& gateway, const PortMappingRule& rule) {
    return gateway.AddPortMapping(rule.ExternalPortNumber(), rule.InternalPortNumber(),
                                  rule.protocol, rule.description);
}

// A refusal the router answered: the asked entry goes. Without an answer
// the router may have granted all the same; the next run asks it.
void Refused(MadeMappings* made, const PortMappingRule& rule, const std::string& client,
             const FailureReason& failure) {
    if (failure.httpStatus != 0) {
        made->Refused(rule, client);
    }
}

}  // namespace

RuleResult ApplyRule(CRouterDevice& gateway, const PortMappingRule& rule, MadeMappings* made) {
    RuleResult result;
    const std::string asked = gateway.GetLocalAddress().ToText();
    made->Asking(rule, asked);
    if (AddMapping(gateway, rule) == 0) {
        result.kind = RuleResult::Kind::kAdded;
        // The address the request named, not this machine's address now: it
        // may have changed since (a new DHCP lease during the run).
        made->Granted(rule, gateway.LastInternalClient());
        return result;
    }
    result.failure = gateway.LastFailure();
    if (result.failure.upnpErrorCode != upnp::error::kConflictInMappingEntry) {
        Refused(made, rule, asked, result.failure);
        return result;
    }
    PortMappingEntry holder;
    if (gateway.GetSpecificPortMappingEntry(rule.ExternalPortNumber(), rule.protocol, &holder) !=
        0) {
        made->Refused(rule, asked);
        return result;
    }
    result.holder = holder;
    const std::string current = gateway.GetLocalAddress().ToText();
    if (holder.internalClient == current &&
        holder.InternalPortNumber() == rule.InternalPortNumber()) {
        result.kind = RuleResult::Kind::kAlreadyThere;
        // Pontaro's own only when nothing tells it from what this rule
        // would have made; another program's description stays its own.
        if (SameDescription(holder.description, rule.description)) {
            made->Granted(rule, current);
        } else {
            made->Refused(rule, asked);
        }
        return result;
    }
    result.holderKnown = true;
    if (!made->IsOurEarlierAddress(holder, rule, current)) {
        made->Refused(rule, asked);
        return result;
    }
    // DHCP gave this machine another address; the router still forwards the
    // port to the old one, which only this process's own rule put there.
    // 714: it went meanwhile (a lease ran out); the port is free either way.
    if (gateway.DeletePortMapping(rule.ExternalPortNumber(), rule.protocol) != 0 &&
        gateway.LastFailure().upnpErrorCode != upnp::error::kNoSuchEntryInArray) {
        result.failure = gateway.LastFailure();
        result.oldAddressKept = true;
        made->Refused(rule, asked);
        return result;
    }
    if (AddMapping(gateway, rule) != 0) {
        result.failure = gateway.LastFailure();
        result.holderKnown = false;
        Refused(made, rule, asked, result.failure);
        return result;
    }
    made->Granted(rule, gateway.LastInternalClient());
    result.kind = RuleResult::Kind::kMovedFromOldAddress;
    return result;
}
