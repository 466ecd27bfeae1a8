#include "app/MadeMappings.h"

void MadeMappings::Remember(const PortMappingRule& rule, const std::string& internalClient) {
    MadeMapping made{rule.ExternalPortNumber(), rule.protocol, internalClient,
                     rule.InternalPortNumber(), rule.description};
    for (MadeMapping& entry : entries_) {
        if (entry.externalPort == made.externalPort && entry.protocol == made.protocol) {
            entry = made;
            return;
        }
    }
    entries_.push_back(made);
}

void MadeMappings::Forget(int externalPort, const std::string& protocol) {
    std::erase_if(entries_, [&](const MadeMapping& entry) {
        return entry.externalPort == externalPort && entry.protocol == protocol;
    });
}

bool MadeMappings::IsOurEarlierAddress(const PortMappingEntry& holder, const PortMappingRule& rule,
                                       const std::string& currentClient) const {
    if (holder.internalClient.empty() || holder.internalClient == currentClient) {
        return false;
    }
    for (const MadeMapping& made : entries_) {
        if (made.externalPort == rule.ExternalPortNumber() && made.protocol == rule.protocol &&
            made.internalPort == rule.InternalPortNumber() &&
            made.description == rule.description && made.internalClient == holder.internalClient &&
            holder.InternalPortNumber() == made.internalPort &&
            holder.description == made.description) {
            return true;
        }
    }
    return false;
}
