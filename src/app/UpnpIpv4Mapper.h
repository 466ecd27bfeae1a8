// IPv4 port mappings over UPnP (WANIPConnection / WANPPPConnection) on the
// gateway a session's search found: today's one mapper. A mapper for IPv6
// pinholes (WANIPv6FirewallControl) or for PCP / NAT-PMP would be a sibling
// class with the same operations, asked by PortSession beside this one.
#pragma once

#include <optional>
#include <string>

#include "app/ApplyRule.h"
#include "app/MadeMappings.h"
#include "app/PortMappingRule.h"
#include "app/SessionEvents.h"
#include "upnp/FailureReason.h"
#include "upnp/RouterDevice.h"

class UpnpIpv4Mapper {
public:
    // Both outlive the mapper; `made` remembers what this process mapped.
    UpnpIpv4Mapper(CRouterDevice& gateway, MadeMappings& made) : gateway_(gateway), made_(made) {}

    RuleResult Open(const PortMappingRule& rule) { return ApplyRule(gateway_, rule, &made_); }

    enum class CloseOutcome { kClosed, kNothingThere, kFailed };
    // Removes the mapping of the rule's external port and protocol; `failure`
    // says why for kFailed.
    CloseOutcome Close(const PortMappingRule& rule, FailureReason* failure);

    // The whole table; false when a failure (in `failure`) stopped the read.
    // Read from the router once per mapper, that is once a run, whoever
    // asks (the listing, a sweep before closing): each read of a large
    // table costs the router a scan per entry (v1) or per protocol (v2).
    bool ReadTable(session::TableListed* table, FailureReason* failure);

    // The router's outside address as it stated it; false when it gave none.
    bool OutsideAddress(std::string* address);

private:
    bool MappingAbsent(const PortMappingRule& rule);

    CRouterDevice& gateway_;
    MadeMappings& made_;
    struct TableRead {
        session::TableListed table;
        FailureReason failure;
        bool read = false;
    };
    std::optional<TableRead> table_;
};
