// One row of a gateway's port-mapping table, as GetGenericPortMappingEntry
// or GetListOfPortMappings reports it. Every field is the router's text, trimmed; callers decide
// what a text that is not a number means.
#pragma once

#include <string>

struct PortMappingEntry {
    std::string remoteHost;  // empty: any remote host
    std::string externalPort;
    std::string protocol;
    std::string internalPort;
    std::string internalClient;
    std::string enabled;  // "1" or "0" as routers send it
    std::string description;
    std::string leaseDuration;  // seconds; "0" for a permanent mapping

    // The internal port as a number; -1 when the router's text is none.
    int InternalPortNumber() const;
};

namespace upnp {

// Each field's element: as GetGenericPortMappingEntry's answer names it, and
// as GetListOfPortMappings' PortMappingList document does.
struct EntryField {
    const char* name;
    const char* listName;
    std::string PortMappingEntry::*member;
};
inline constexpr EntryField kEntryFields[] = {
    {"NewRemoteHost", "NewRemoteHost", &PortMappingEntry::remoteHost},
    {"NewExternalPort", "NewExternalPort", &PortMappingEntry::externalPort},
    {"NewProtocol", "NewProtocol", &PortMappingEntry::protocol},
    {"NewInternalPort", "NewInternalPort", &PortMappingEntry::internalPort},
    {"NewInternalClient", "NewInternalClient", &PortMappingEntry::internalClient},
    {"NewEnabled", "NewEnabled", &PortMappingEntry::enabled},
    {"NewPortMappingDescription", "NewDescription", &PortMappingEntry::description},
    {"NewLeaseDuration", "NewLeaseTime", &PortMappingEntry::leaseDuration},
};

}  // namespace upnp
