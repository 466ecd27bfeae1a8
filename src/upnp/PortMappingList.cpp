// The gateway's port-mapping table: in one answer per protocol where the
// service offers it, else one index at a time.

#include <algorithm>

#include "text/Text.h"
#include "upnp/PortListing.h"
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

// Entries in a row whose answers could not be read before the listing stops:
// a router that answers every index with an error would otherwise be asked
// to the cap.
constexpr int kMaxUnreadableInARow = 4;

// The router answered, yet not with a readable entry (another fault, a body
// that broke off or was too large): the entries after it may still be fine.
bool OnlyThisEntry(const FailureReason& failure) {
    return failure.httpStatus != 0;
}

std::string DescribeBriefly(const FailureReason& failure) {
    std::string s = "HTTP " + std::to_string(failure.httpStatus);
    if (!failure.upnpErrorCode.empty()) {
        s += ", UPnP error " + failure.upnpErrorCode;
    }
    if (!failure.detail.empty()) {
        s += ": " + failure.detail;
    }
    return s;
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
    *entry = PortMappingEntry();
    for (const upnp::EntryField& f : upnp::kEntryFields) {
        upnp::ExtractElementText(body, f.name, &(entry->*f.member));
    }
    return 0;
}

int CRouterDevice::ReadListedTable(std::vector<PortMappingEntry>* entries, bool* capped) {
    std::vector<PortMappingEntry> all;
    bool full = false;
    const std::string cap = std::to_string(kPortMappingTableCap);
    for (const char* protocol : {"TCP", "UDP"}) {
        std::string body;
        if (InvokeAction("GetListOfPortMappings",
                         {{"NewStartPort", "0"},
                          {"NewEndPort", "65535"},
                          {"NewProtocol", protocol},
                          {"NewManage", "1"},
                          {"NewNumberOfPorts", cap}},
                         &body) != 0) {
            if (failure_.upnpErrorCode == upnp::error::kPortMappingNotFound) {
                continue;  // none of this protocol
            }
            return failure_.httpStatus == 0 ? -1 : 1;
        }
        std::vector<PortMappingEntry> listed;
        if (!upnp::ReadPortListing(body, &listed)) {
            return 1;
        }
        // A protocol's answer at the cap may have left some out.
        full = full || listed.size() >= static_cast<std::size_t>(kPortMappingTableCap);
        all.insert(all.end(), listed.begin(), listed.end());
    }
    // By port, as a person looks for one; the two protocols' answers merged.
    std::stable_sort(all.begin(), all.end(),
                     [](const PortMappingEntry& a, const PortMappingEntry& b) {
                         return text::AtoiPrefix(a.externalPort) < text::AtoiPrefix(b.externalPort);
                     });
    if (all.size() > static_cast<std::size_t>(kPortMappingTableCap)) {
        all.resize(static_cast<std::size_t>(kPortMappingTableCap));
        full = true;
    }
    *entries = std::move(all);
    *capped = full;
    failure_.Clear();
    return 0;
}

int CRouterDevice::ReadPortMappingTable(std::vector<PortMappingEntry>* entries, bool* capped,
                                        std::vector<std::string>* unreadable) {
    std::vector<std::string> reasons;
    if (unreadable == nullptr) {
        unreadable = &reasons;
    }
    unreadable->clear();
    entries->clear();
    *capped = false;
    if (EnsureService() != 0) {
        return -1;
    }
    if (upnp::OffersPortListing(service.serviceType)) {
        const int listed = ReadListedTable(entries, capped);
        if (listed <= 0) {
            unreadable->resize(entries->size());
            return listed;
        }
        entries->clear();
    }
    int unreadableInARow = 0;
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
            if (!OnlyThisEntry(failure_) || ++unreadableInARow > kMaxUnreadableInARow) {
                // A run of them says nothing about entries: the router cannot list.
                const std::size_t keep =
                    entries->size() - static_cast<std::size_t>(std::max(unreadableInARow - 1, 0));
                entries->resize(keep);
                unreadable->resize(keep);
                return -1;
            }
            unreadable->resize(entries->size());
            unreadable->push_back(DescribeBriefly(failure_));
        } else {
            unreadableInARow = 0;
        }
        entries->push_back(std::move(entry));
        unreadable->resize(entries->size());
    }
}
