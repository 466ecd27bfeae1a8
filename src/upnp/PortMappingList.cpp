// The gateway's port-mapping table, read one index at a time.

#include "upnp/RouterDevice.h"
#include "upnp/Soap.h"
#include "upnp/UpnpErrors.h"

namespace {

// The errors routers use to say that the index is past the last entry: 713
// is the standard's, 714 and 402 are what some routers send instead.
bool EndsTheTable(const std::string& upnpErrorCode) {
    return upnpErrorCode == upnp::error::kSpecifiedArrayIndexInvalid ||
           upnpErrorCode == upnp::error::kNoSuchEntryInArray ||
           upnpErrorCode == upnp::error::kInvalidArgs;
}

}  // namespace

int CRouterDevice::GetGenericPortMappingEntry(int index, PortMappingEntry* entry) {
    if (EnsureService() != 0) {
        return -1;
    }
    std::string body;
    if (InvokeAction("GetGenericPortMappingEntry", {{"NewPortMappingIndex", std::to_string(index)}},
                     &body) != 0) {
        return -1;
    }
    struct Field {
        const char* name;
        std::string PortMappingEntry::*member;
    };
    static constexpr Field kFields[] = {
        {"NewRemoteHost", &PortMappingEntry::remoteHost},
        {"NewExternalPort", &PortMappingEntry::externalPort},
        {"NewProtocol", &PortMappingEntry::protocol},
        {"NewInternalPort", &PortMappingEntry::internalPort},
        {"NewInternalClient", &PortMappingEntry::internalClient},
        {"NewEnabled", &PortMappingEntry::enabled},
        {"NewPortMappingDescription", &PortMappingEntry::description},
        {"NewLeaseDuration", &PortMappingEntry::leaseDuration},
    };
    *entry = PortMappingEntry();
    for (const Field& f : kFields) {
        upnp::ExtractElementText(body, f.name, &(entry->*f.member));
    }
    return 0;
}

int CRouterDevice::ReadPortMappingTable(std::vector<PortMappingEntry>* entries, bool* capped) {
    entries->clear();
    *capped = false;
    for (int index = 0;; ++index) {
        if (index == kPortMappingTableCap) {
            // A router that never says "no more" would keep a run going for
            // good.
            *capped = true;
            return 0;
        }
        PortMappingEntry entry;
        if (GetGenericPortMappingEntry(index, &entry) != 0) {
            if (EndsTheTable(failure_.upnpErrorCode)) {
                failure_.Clear();
                return 0;
            }
            return -1;
        }
        entries->push_back(std::move(entry));
    }
}
