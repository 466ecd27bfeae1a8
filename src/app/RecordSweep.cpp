#include "app/RecordSweep.h"

#include <algorithm>

#include "text/Text.h"
#include "upnp/UpnpErrors.h"

using session::RecordedClosed;
using session::RecordedCloseFailed;

bool RulesHold(const std::vector<PortMappingRule>& rules, const OpenedEntry& entry) {
    for (const PortMappingRule& r : rules) {
        if (!text::EqualsNoCase(r.protocol, entry.protocol) ||
            r.InternalPortNumber() != entry.internalPort) {
            continue;
        }
        switch (entry.kind) {
            case OpenedEntry::Kind::kPinhole:
                if (UpnpIpv6Pinholes::Applies(r)) {
                    return true;
                }
                break;
            case OpenedEntry::Kind::kMapping:
                if (r.ExternalPortNumber() == entry.externalPort &&
                    r.description == entry.description) {
                    return true;
                }
                break;
            case OpenedEntry::Kind::kPcp:
                if (r.ExternalPortNumber() == entry.requestedPort &&
                    r.description == entry.description) {
                    return true;
                }
                break;
        }
    }
    return false;
}

bool StillAsRecorded(const PortMappingEntry& row, const OpenedEntry& entry) {
    return row.internalClient == entry.internalClient &&
           row.InternalPortNumber() == entry.internalPort &&
           SameDescription(row.description, entry.description);
}

PortMappingRule RuleOf(const OpenedEntry& entry) {
    PortMappingRule rule;
    rule.externalPort = std::to_string(
        entry.kind == OpenedEntry::Kind::kPinhole ? entry.internalPort : entry.externalPort);
    rule.internalPort = std::to_string(entry.internalPort);
    rule.protocol = entry.protocol;
    rule.description = entry.description;
    return rule;
}

namespace {

bool NoSuchEntry(const CRouterDevice& gateway) {
    return gateway.LastFailure().upnpErrorCode == upnp::error::kNoSuchEntryInArray;
}

// Whatever of Pontaro's the router held on that port is gone now.
void ForgetPort(OpenedRecord& record, const OpenedEntry& closed) {
    record.Change([&](std::vector<OpenedEntry>& entries) {
        return std::erase_if(entries, [&](const OpenedEntry& e) {
                   return e.kind == closed.kind && SameRouter(e, closed) &&
                          e.externalPort == closed.externalPort &&
                          text::EqualsNoCase(e.protocol, closed.protocol);
               }) > 0;
    });
}

bool Gone(const SweepScope& scope, const OpenedEntry& e) {
    return scope.sweep && e.list == scope.list && !RulesHold(scope.rules, e);
}

}  // namespace

RecordSweep::Closed RecordSweep::CloseMapping(CRouterDevice& gateway, const OpenedEntry& entry,
                                              FailureReason* why) {
    PortMappingEntry row;
    if (gateway.GetSpecificPortMappingEntry(entry.externalPort, entry.protocol, &row) != 0) {
        if (NoSuchEntry(gateway)) {
            record_.Drop(entry);
            return Closed::kGone;
        }
        *why = gateway.LastFailure();
        return Closed::kFailed;
    }
    if (!StillAsRecorded(row, entry)) {
        record_.Drop(entry);  // another's now, or changed by hand: not Pontaro's any more
        return Closed::kGone;
    }
    if (gateway.DeletePortMapping(entry.externalPort, entry.protocol) != 0 &&
        !NoSuchEntry(gateway)) {
        *why = gateway.LastFailure();
        return Closed::kFailed;
    }
    ForgetPort(record_, entry);
    return Closed::kClosed;
}

RecordSweep::Closed RecordSweep::ClosePinhole(UpnpIpv6Pinholes& pinholes, const OpenedEntry& entry,
                                              FailureReason* why) {
    switch (pinholes.Close(RuleOf(entry), why)) {
        case UpnpIpv6Pinholes::CloseOutcome::kClosed:
            return Closed::kClosed;
        case UpnpIpv6Pinholes::CloseOutcome::kNothingThere:
            return Closed::kGone;
        case UpnpIpv6Pinholes::CloseOutcome::kFailed:
            break;
    }
    return Closed::kFailed;
}

RecordSweep::Closed RecordSweep::ClosePcpMapping(PcpMapper& mapper, const OpenedEntry& entry,
                                                 pcp::MapResult* r) {
    *r = mapper.Close(RuleOf(entry));
    return r->outcome == pcp::MapOutcome::kDone ? Closed::kClosed : Closed::kFailed;
}

void RecordSweep::Tell(bool ruleGone, const OpenedEntry& entry, Closed closed,
                       const FailureReason& why, const pcp::MapResult& r) {
    switch (closed) {
        case Closed::kClosed:
            report_(RecordedClosed{ruleGone, entry, true});
            break;
        case Closed::kGone:
            // A swept entry whose mapping went meanwhile is no news.
            if (!ruleGone) {
                report_(RecordedClosed{ruleGone, entry, false});
            }
            break;
        case Closed::kFailed:
            report_(RecordedCloseFailed{ruleGone, entry, why, r});
            break;
    }
}

void RecordSweep::Mappings(CRouterDevice& gateway, const MadeMappings& made,
                           const SweepScope& scope) {
    for (const OpenedEntry& e : made.Entries()) {
        if (Gone(scope, e)) {
            FailureReason why;
            Tell(true, e, CloseMapping(gateway, e, &why), why);
            continue;
        }
        if (e.state == OpenedEntry::State::kGranted) {
            continue;
        }
        // Asked, and never seen granted: the router says which it was.
        PortMappingEntry row;
        if (gateway.GetSpecificPortMappingEntry(e.externalPort, e.protocol, &row) == 0) {
            if (StillAsRecorded(row, e)) {
                record_.Grant(e);
            } else {
                record_.Drop(e);
            }
        } else if (NoSuchEntry(gateway)) {
            record_.Drop(e);
        }
    }
}

void RecordSweep::Pinholes(UpnpIpv6Pinholes& pinholes, const MadePinholes& made,
                           const SweepScope& scope) {
    for (const OpenedEntry& e : made.Entries()) {
        // The router lets only the address a pinhole is for close it; one
        // for an earlier address ends with its lease.
        if (e.internalClient == pinholes.Address() && Gone(scope, e)) {
            FailureReason why;
            Tell(true, e, ClosePinhole(pinholes, e, &why), why);
        }
    }
}

void RecordSweep::Pcp(PcpMapper& mapper, const MadeMappings& made, const std::string& client,
                      const SweepScope& scope) {
    for (const OpenedEntry& e : made.Entries()) {
        // The nonce is made from this machine's address: one for an
        // earlier address ends with its lifetime.
        if (e.internalClient == client && Gone(scope, e)) {
            pcp::MapResult r;
            Tell(true, e, ClosePcpMapping(mapper, e, &r), {}, r);
        }
    }
}

void RecordSweep::Listed(const MadeMappings& made, session::TableListed& table) {
    table.madeByPontaro.clear();
    for (const PortMappingEntry& row : table.entries) {
        table.madeByPontaro.push_back(made.Made(row));
    }
    if (!table.complete || table.capped) {
        return;
    }
    for (const OpenedEntry& e : made.Entries()) {
        const bool held =
            std::any_of(table.entries.begin(), table.entries.end(), [&](const auto& row) {
                unsigned long long port = 0;
                return text::ParseDecimal(row.externalPort, 65535, &port) &&
                       static_cast<int>(port) == e.externalPort &&
                       text::EqualsNoCase(row.protocol, e.protocol) && StillAsRecorded(row, e);
            });
        if (!held) {
            record_.Drop(e);
        }
    }
}

void RecordSweep::CloseMappings(CRouterDevice& gateway, const MadeMappings& made) {
    for (const OpenedEntry& e : made.Entries()) {
        FailureReason why;
        Tell(false, e, CloseMapping(gateway, e, &why), why);
    }
}

int RecordSweep::ClosePinholes(UpnpIpv6Pinholes& pinholes, const MadePinholes& made) {
    int left = 0;
    for (const OpenedEntry& e : made.Entries()) {
        if (e.internalClient != pinholes.Address()) {
            ++left;
            continue;
        }
        FailureReason why;
        Tell(false, e, ClosePinhole(pinholes, e, &why), why);
    }
    return left;
}

int RecordSweep::ClosePcp(PcpMapper& mapper, const MadeMappings& made, const std::string& client) {
    int left = 0;
    for (const OpenedEntry& e : made.Entries()) {
        if (e.internalClient != client) {
            ++left;
            continue;
        }
        pcp::MapResult r;
        Tell(false, e, ClosePcpMapping(mapper, e, &r), {}, r);
    }
    return left;
}
