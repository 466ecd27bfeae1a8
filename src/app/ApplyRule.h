// One rule applied to the gateway, with what the router says when it refuses
// because the port is taken.
#pragma once

#include <optional>

#include "app/MadeMappings.h"
#include "app/PortMappingRule.h"
#include "line/Line.h"
#include "upnp/FailureReason.h"
#include "upnp/PortMappingEntry.h"
#include "upnp/RouterDevice.h"

struct RuleResult {
    enum class Kind {
        kAdded,                // the router accepted the mapping
        kAlreadyThere,         // refused as taken, but by this machine's same port: nothing to do
        kMovedFromOldAddress,  // taken by this process's mapping for an earlier address of
                               // this machine: removed, then mapped again
        kFailed,
    };
    Kind kind = Kind::kFailed;
    FailureReason failure;     // kFailed: why the mapping was refused
    bool holderKnown = false;  // the port is taken and the router named its holder
    PortMappingEntry holder;   // kAlreadyThere, kMovedFromOldAddress, or when holderKnown
    // kFailed: the holder is this process's mapping for an earlier address,
    // and the router would not remove it (`failure` says why).
    bool oldAddressKept = false;
    // kFailed: the port lies outside the line's port set, so that nobody
    // on the internet can reach it (LineCheck.h). Over UPnP the rule was not
    // sent; over PCP `port` is the one the router opened.
    std::optional<line::UnusablePort> outsideSet;

    bool Mapped() const { return kind != Kind::kFailed; }
};

// AddPortMapping; when the port is taken (718), one question to the router
// who holds it. The only mapping ever removed is one that `made` says this
// process made for this rule and an address this machine no longer has;
// each mapping the router accepts is remembered there.
RuleResult ApplyRule(CRouterDevice& gateway, const PortMappingRule& rule, MadeMappings* made);
