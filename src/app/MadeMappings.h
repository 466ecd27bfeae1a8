// The mappings Pontaro made on the router a run found, as the record
// (OpenedRecord.h) holds them: so that a mapping left behind for an address
// this machine no longer has can be told apart from another machine's, also
// after a restart, and so that what a router grants is written down before
// anything else happens.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/OpenedRecord.h"
#include "app/PortMappingRule.h"
#include "upnp/PortMappingEntry.h"

// Where a run's entries go: the router it found and the list its rules
// come from.
struct RecordPlace {
    OpenedEntry::Kind kind = OpenedEntry::Kind::kMapping;
    std::string routerUdn;
    std::string routerAddress;
    std::string list;

    // An entry of this place; also the pattern its slot is found by.
    OpenedEntry Entry() const;
    bool Holds(const OpenedEntry& e) const;  // the kind and router match
    std::vector<OpenedEntry> EntriesOf(const OpenedRecord& record) const;  // those it holds
};

class MadeMappings {
public:
    // Both outlive the view.
    MadeMappings(OpenedRecord& record, RecordPlace place)
        : record_(record), place_(std::move(place)) {}

    // Before the request for `rule` to `internalClient`: written as asked,
    // unless the record holds this very mapping already. `lifetime`: how
    // long the router would keep it (an asked entry lasts no longer).
    void Asking(const PortMappingRule& rule, const std::string& internalClient,
                std::uint32_t lifetime = 0);
    // The router holds it now; `externalPort` (PCP, NAT-PMP) when it opened
    // another port than the rule's, for `lifetime` seconds (0: for good).
    void Granted(const PortMappingRule& rule, const std::string& internalClient,
                 int externalPort = -1, std::uint32_t lifetime = 0);
    // The router answered no: the asked entry goes (a mapping granted
    // earlier for the port stays recorded).
    void Refused(const PortMappingRule& rule, const std::string& internalClient);

    // The port was closed: whatever holds it later is not Pontaro's.
    void Forget(int externalPort, const std::string& protocol);
    // PCP and NAT-PMP: the mapping of this internal port was closed.
    void ForgetInternal(int internalPort, const std::string& protocol);

    // True when `holder`, the router's mapping of the rule's external port,
    // is one Pontaro made for `rule` but for another address than
    // `currentClient`: every field the same except the internal client.
    bool IsOurEarlierAddress(const PortMappingEntry& holder, const PortMappingRule& rule,
                             const std::string& currentClient) const;
    // Whether a row of the router's table is a mapping Pontaro made there.
    bool Made(const PortMappingEntry& row) const;

    // The router's entries of this kind, as recorded.
    std::vector<OpenedEntry> Entries() const { return place_.EntriesOf(record_); }

    // The entry a request for `rule` to `internalClient` is recorded as.
    OpenedEntry EntryFor(const PortMappingRule& rule, const std::string& internalClient,
                         OpenedEntry::State state) const;

private:
    // Drops every entry of the place that `which` picks (a port closed).
    void ForgetWhere(const std::function<bool(const OpenedEntry&)>& which);

    OpenedRecord& record_;
    RecordPlace place_;
};

// Whether the description a router answers is the one recorded: the same,
// or, where the router keeps no more, its first bytes (at least 31), with
// whatever the router answers after them.
bool SameDescription(std::string_view router, std::string_view recorded);

// Whether a rule's ports can be written down at all (0-65535); a rule
// outside that is refused by every router and recorded nowhere.
bool Recordable(const PortMappingRule& rule);
