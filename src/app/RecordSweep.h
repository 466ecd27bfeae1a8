// Keeping the record true to the router a run found: before a run's rules,
// an entry that was asked for but not seen granted (a process killed in
// between) is confirmed or dropped, and the entries of the run's list whose
// rule is gone are closed; CloseAll closes every entry there.
//
// Only a mapping the router still holds exactly as recorded (same internal
// client, port and description) is ever removed: another machine's, or one
// changed since by hand, is left alone and no longer counted as Pontaro's.
#pragma once

#include <string>
#include <vector>

#include "app/MadeMappings.h"
#include "app/MadePinholes.h"
#include "app/OpenedRecord.h"
#include "app/PcpMapper.h"
#include "app/PortMappingRule.h"
#include "app/SessionEvents.h"
#include "app/UpnpIpv6Pinholes.h"
#include "upnp/RouterDevice.h"

// Whether `rules` still ask for the recorded entry: a rule that makes the
// same mapping (external port, protocol, internal port and description; for
// PCP the external port asked for), or for a pinhole a rule with its
// internal port and protocol. A changed internal port is a rule taken away
// and another one added.
bool RulesHold(const std::vector<PortMappingRule>& rules, const OpenedEntry& entry);

// Whether the router's row for the entry's port is the mapping recorded.
bool StillAsRecorded(const PortMappingEntry& row, const OpenedEntry& entry);

// The rule an entry was opened from, as far as closing it needs.
PortMappingRule RuleOf(const OpenedEntry& entry);

// What a run's list asks of the record.
struct SweepScope {
    const std::vector<PortMappingRule>& rules;
    std::string list;
    bool sweep = false;  // false: only settle what was asked (one-shot runs)
};

class RecordSweep {
public:
    // All outlive it.
    RecordSweep(OpenedRecord& record, const session::Receiver& report)
        : record_(record), report_(report) {}

    // UPnP mappings of `made`'s router.
    void Mappings(CRouterDevice& gateway, const MadeMappings& made, const SweepScope& scope);
    // Pinholes through the router, from this machine's address now.
    void Pinholes(UpnpIpv6Pinholes& pinholes, const MadePinholes& made, const SweepScope& scope);
    // PCP and NAT-PMP mappings for this machine's address now.
    void Pcp(PcpMapper& mapper, const MadeMappings& made, const std::string& client,
             const SweepScope& scope);

    // A listing of the router's table: the rows Pontaro made are marked, and
    // once the whole table was read, the recorded mappings it no longer
    // holds are dropped.
    void Listed(const MadeMappings& made, session::TableListed& table);

    // --close --all on the run's router: every entry there, each told.
    void CloseMappings(CRouterDevice& gateway, const MadeMappings& made);
    // Those for other addresses of this machine are left to their lifetime;
    // the number of them is the answer.
    int ClosePinholes(UpnpIpv6Pinholes& pinholes, const MadePinholes& made);
    int ClosePcp(PcpMapper& mapper, const MadeMappings& made, const std::string& client);

private:
    enum class Closed { kClosed, kGone, kFailed };
    // One recorded mapping removed if, and only if, the router holds it as
    // recorded. kGone: it does not (the entry is dropped either way).
    Closed CloseMapping(CRouterDevice& gateway, const OpenedEntry& entry, FailureReason* why);
    Closed ClosePinhole(UpnpIpv6Pinholes& pinholes, const OpenedEntry& entry, FailureReason* why);
    Closed ClosePcpMapping(PcpMapper& mapper, const OpenedEntry& entry, pcp::MapResult* r);
    void Tell(bool ruleGone, const OpenedEntry& entry, Closed closed, const FailureReason& why,
              const pcp::MapResult& r = pcp::MapResult());

    OpenedRecord& record_;
    const session::Receiver& report_;
};
