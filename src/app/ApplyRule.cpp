#include "app/ApplyRule.h"

RuleResult ApplyRule(CRouterDevice& gateway, const PortMappingRule& rule) {
    RuleResult result;
    if (gateway.AddPortMapping(rule.ExternalPortNumber(), rule.InternalPortNumber(), rule.protocol,
                               rule.description) == 0) {
        result.kind = RuleResult::Kind::kAdded;
        return result;
    }
    result.failure = gateway.LastFailure();
    if (result.failure.upnpErrorCode != "718") {
        return result;
    }
    PortMappingEntry holder;
    if (gateway.GetSpecificPortMappingEntry(rule.ExternalPortNumber(), rule.protocol, &holder) !=
        0) {
        return result;
    }
    result.holder = holder;
    if (holder.internalClient == gateway.GetLocalAddress().ToText() &&
        holder.InternalPortNumber() == rule.InternalPortNumber()) {
        result.kind = RuleResult::Kind::kAlreadyThere;
    } else {
        result.holderKnown = true;
    }
    return result;
}
