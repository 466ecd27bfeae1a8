#include "app/MadeMappings.h"

#include "text/Text.h"

namespace {

// The shortest text a router is known to cut a description to.
constexpr std::size_t kShortestCut = 31;

bool InPortRange(int port) {
    return port >= 0 && port <= 65535;
}

// What the router was asked for is what the record says (the list and the
// time aside).
bool SameRequest(const OpenedEntry& a, const OpenedEntry& b) {
    return a.requestedPort == b.requestedPort && a.internalClient == b.internalClient &&
           a.internalPort == b.internalPort && a.description == b.description;
}

}  // namespace

OpenedEntry RecordPlace::Entry() const {
    OpenedEntry e;
    e.kind = kind;
    e.routerUdn = routerUdn;
    e.routerAddress = routerAddress;
    e.list = list;
    return e;
}

bool RecordPlace::Holds(const OpenedEntry& e) const {
    return e.kind == kind && SameRouter(e, Entry());
}

std::vector<OpenedEntry> RecordPlace::EntriesOf(const OpenedRecord& record) const {
    std::vector<OpenedEntry> found;
    for (const OpenedEntry& e : record.Entries()) {
        if (Holds(e)) {
            found.push_back(e);
        }
    }
    return found;
}

bool SameDescription(std::string_view router, std::string_view recorded) {
    if (router == recorded) {
        return true;
    }
    // A router that keeps fewer bytes answers the first of them, and maybe
    // bytes of no meaning after (miniupnpd 2.3.1: 64 bytes, then memory).
    std::size_t common = 0;
    while (common < router.size() && common < recorded.size() &&
           router[common] == recorded[common]) {
        ++common;
    }
    return common >= kShortestCut && common < recorded.size();
}

bool Recordable(const PortMappingRule& rule) {
    return InPortRange(rule.ExternalPortNumber()) && InPortRange(rule.InternalPortNumber());
}

OpenedEntry MadeMappings::EntryFor(const PortMappingRule& rule, const std::string& internalClient,
                                   OpenedEntry::State state) const {
    OpenedEntry e = place_.Entry();
    e.state = state;
    e.protocol = text::AsciiUpper(rule.protocol);
    e.externalPort = rule.ExternalPortNumber();
    e.requestedPort = e.externalPort;
    e.internalClient = internalClient;
    e.internalPort = rule.InternalPortNumber();
    e.description = rule.description;
    e.confirmed = record_.now();
    return e;
}

void MadeMappings::Asking(const PortMappingRule& rule, const std::string& internalClient,
                          std::uint32_t lifetime) {
    if (!Recordable(rule)) {
        return;
    }
    OpenedEntry asked = EntryFor(rule, internalClient, OpenedEntry::State::kAsked);
    asked.lifetime = lifetime;
    OpenedEntry granted = asked;
    granted.state = OpenedEntry::State::kGranted;
    for (const OpenedEntry& e : record_.Entries()) {
        if (SameSlot(e, granted) && SameRequest(e, granted)) {
            return;  // a renewal: it is on record whatever happens next
        }
    }
    record_.Put(asked);
}

void MadeMappings::Granted(const PortMappingRule& rule, const std::string& internalClient,
                           int externalPort, std::uint32_t lifetime) {
    if (!Recordable(rule)) {
        return;
    }
    OpenedEntry granted = EntryFor(rule, internalClient, OpenedEntry::State::kGranted);
    if (externalPort >= 0) {
        granted.externalPort = externalPort;
    }
    granted.lifetime = lifetime;
    OpenedEntry asked = granted;
    asked.state = OpenedEntry::State::kAsked;
    bool askedToo = false;
    const OpenedEntry* known = nullptr;
    for (const OpenedEntry& e : record_.Entries()) {
        askedToo = askedToo || SameSlot(e, asked);
        if (SameSlot(e, granted)) {
            known = &e;
        }
    }
    if (known != nullptr && !askedToo && SameRequest(*known, granted) &&
        known->externalPort == granted.externalPort && known->list == granted.list) {
        granted.otherFields = known->otherFields;
        record_.Confirm(granted);
        return;
    }
    record_.Grant(granted);
}

void MadeMappings::Refused(const PortMappingRule& rule, const std::string& internalClient) {
    const OpenedEntry asked = EntryFor(rule, internalClient, OpenedEntry::State::kAsked);
    for (const OpenedEntry& e : record_.Entries()) {
        if (SameSlot(e, asked)) {
            record_.Drop(asked);
            return;
        }
    }
}

void MadeMappings::ForgetWhere(const std::function<bool(const OpenedEntry&)>& which) {
    record_.Change([&](std::vector<OpenedEntry>& entries) {
        return std::erase_if(entries,
                             [&](const OpenedEntry& e) { return place_.Holds(e) && which(e); }) > 0;
    });
}

void MadeMappings::Forget(int externalPort, const std::string& protocol) {
    ForgetWhere([&](const OpenedEntry& e) {
        return e.externalPort == externalPort && text::EqualsNoCase(e.protocol, protocol);
    });
}

void MadeMappings::ForgetInternal(int internalPort, const std::string& protocol) {
    ForgetWhere([&](const OpenedEntry& e) {
        return e.internalPort == internalPort && text::EqualsNoCase(e.protocol, protocol);
    });
}

bool MadeMappings::IsOurEarlierAddress(const PortMappingEntry& holder, const PortMappingRule& rule,
                                       const std::string& currentClient) const {
    if (holder.internalClient.empty() || holder.internalClient == currentClient) {
        return false;
    }
    for (const OpenedEntry& made : Entries()) {
        if (made.externalPort == rule.ExternalPortNumber() &&
            text::EqualsNoCase(made.protocol, rule.protocol) &&
            made.internalPort == rule.InternalPortNumber() &&
            made.description == rule.description && made.internalClient == holder.internalClient &&
            holder.InternalPortNumber() == made.internalPort &&
            SameDescription(holder.description, made.description)) {
            return true;
        }
    }
    return false;
}

bool MadeMappings::Made(const PortMappingEntry& row) const {
    unsigned long long port = 0;
    if (!text::ParseDecimal(row.externalPort, 65535, &port)) {
        return false;
    }
    for (const OpenedEntry& made : Entries()) {
        if (made.externalPort == static_cast<int>(port) &&
            text::EqualsNoCase(made.protocol, row.protocol) &&
            made.internalClient == row.internalClient &&
            made.internalPort == row.InternalPortNumber() &&
            SameDescription(row.description, made.description)) {
            return true;
        }
    }
    return false;
}
