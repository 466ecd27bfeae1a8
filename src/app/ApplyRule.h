// One rule applied to the gateway, with what the router says when it refuses
// because the port is taken.
#pragma once

#include "app/PortMappingRule.h"
#include "upnp/FailureReason.h"
#include "upnp/PortMappingEntry.h"
#include "upnp/RouterDevice.h"

struct RuleResult {
    enum class Kind {
        kAdded,         // the router accepted the mapping
        kAlreadyThere,  // refused as taken, but by this machine's same port: nothing to do
        kFailed,
    };
    Kind kind = Kind::kFailed;
    FailureReason failure;     // kFailed: why the mapping was refused
    bool holderKnown = false;  // the port is taken and the router named its holder
    PortMappingEntry holder;   // kAlreadyThere, or when holderKnown

    bool Mapped() const { return kind != Kind::kFailed; }
};

// AddPortMapping; when the port is taken (718), one question to the router
// who holds it. Nobody's mapping is changed or removed.
RuleResult ApplyRule(CRouterDevice& gateway, const PortMappingRule& rule);
