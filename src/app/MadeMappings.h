// The mappings this process made, so that a mapping left behind for an
// address this machine no longer has can be told apart from another
// machine's. Kept in memory only: after a restart nothing is known, and
// nothing is taken over.
#pragma once

#include <string>
#include <vector>

#include "app/PortMappingRule.h"
#include "upnp/PortMappingEntry.h"

struct MadeMapping {
    int externalPort = 0;
    std::string protocol;  // as sent
    std::string internalClient;
    int internalPort = 0;
    std::string description;
};

class MadeMappings {
public:
    // The router accepted `rule` for `internalClient`. The router holds one
    // mapping per external port and protocol, so that is the one kept.
    void Remember(const PortMappingRule& rule, const std::string& internalClient);

    // The port was closed: whatever holds it later is not this process's.
    void Forget(int externalPort, const std::string& protocol);

    // True when `holder`, the router's mapping of the rule's external port,
    // is one this process made for `rule` but for another address than
    // `currentClient`: every field the same except the internal client.
    bool IsOurEarlierAddress(const PortMappingEntry& holder, const PortMappingRule& rule,
                             const std::string& currentClient) const;

    const std::vector<MadeMapping>& Entries() const { return entries_; }

private:
    std::vector<MadeMapping> entries_;
};
