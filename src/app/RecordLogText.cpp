#include "app/RecordLogText.h"

#include "app/ActivityLog.h"
#include "app/PinholeLogText.h"

namespace activity_log {

std::string RecordedStartText(const OpenedEntry& entry) {
    if (entry.kind == OpenedEntry::Kind::kPinhole) {
        return PinholeStartText(RouterText(entry.internalClient), entry.internalPort,
                                entry.protocol);
    }
    return CloseStartText(std::to_string(entry.externalPort), entry.protocol);
}

std::string RecordTroubleText(const OpenedRecord::Trouble& trouble) {
    switch (trouble.what) {
        case OpenedRecord::Trouble::What::kSetAside:
            return texts::Format(texts::Msg::kRecordSetAside, {trouble.path, trouble.aside});
        case OpenedRecord::Trouble::What::kUnreadable:
            return texts::Format(texts::Msg::kRecordUnreadable, {trouble.path});
        case OpenedRecord::Trouble::What::kNotSaved:
            return texts::Format(texts::Msg::kRecordNotSaved, {trouble.path});
    }
    return {};
}

std::string RecordedElsewhereText(const session::RecordedElsewhere& e) {
    std::string router = RouterText(e.address);
    if (!e.router.empty()) {
        router += " (" + RouterText(e.router) + ")";
    }
    return texts::Format(texts::Msg::kRecordedElsewhere, {router, std::to_string(e.entries)});
}

}  // namespace activity_log
