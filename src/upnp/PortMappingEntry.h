// One row of a gateway's port-mapping table, as GetGenericPortMappingEntry
// reports it. Every field is the router's text, trimmed; callers decide
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
