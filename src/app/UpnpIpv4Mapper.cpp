#include "app/UpnpIpv4Mapper.h"

#include "upnp/UpnpErrors.h"

// Asked before deleting because some routers (miniupnpd with nftables)
// answer a delete of a mapping they do not have with success.
bool UpnpIpv4Mapper::MappingAbsent(const PortMappingRule& rule) {
    PortMappingEntry holder;
    return gateway_.GetSpecificPortMappingEntry(rule.ExternalPortNumber(), rule.protocol,
                                                &holder) != 0 &&
           gateway_.LastFailure().upnpErrorCode == upnp::error::kNoSuchEntryInArray;
}

UpnpIpv4Mapper::CloseOutcome UpnpIpv4Mapper::Close(const PortMappingRule& rule,
                                                   FailureReason* failure) {
    // The service is read once for the whole command.
    if (gateway_.EnsureService() != 0) {
        *failure = gateway_.LastFailure();
        return CloseOutcome::kFailed;
    }
    CloseOutcome outcome = CloseOutcome::kNothingThere;
    if (!MappingAbsent(rule)) {
        if (gateway_.DeletePortMapping(rule.ExternalPortNumber(), rule.protocol) == 0) {
            outcome = CloseOutcome::kClosed;
        } else if (gateway_.LastFailure().upnpErrorCode != upnp::error::kNoSuchEntryInArray) {
            // (NoSuchEntryInArray: the port is closed, which is what was asked.)
            *failure = gateway_.LastFailure();
            return CloseOutcome::kFailed;
        }
    }
    made_.Forget(rule.ExternalPortNumber(), rule.protocol);
    return outcome;
}

bool UpnpIpv4Mapper::ReadTable(session::TableListed* table, FailureReason* failure) {
    if (!table_) {
        TableRead r;
        r.table.localAddress = gateway_.GetLocalAddress().ToText();
        r.read = gateway_.ReadPortMappingTable(&r.table.entries, &r.table.capped) == 0;
        r.table.complete = r.read;
        if (!r.read) {
            r.failure = gateway_.LastFailure();
        }
        table_ = std::move(r);
    }
    *table = table_->table;
    if (!table_->read) {
        *failure = table_->failure;
    }
    return table_->read;
}

bool UpnpIpv4Mapper::OutsideAddress(std::string* address) {
    return !gateway_.controlUrl.empty() && gateway_.GetExternalIPAddress(address) == 0;
}
