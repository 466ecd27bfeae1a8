#include "upnp/PortListing.h"

#include <string>

#include "text/Text.h"
#include "upnp/Soap.h"
#include "upnp/XmlDocument.h"

namespace upnp {

namespace {

constexpr std::string_view kService = ":service:WANIPConnection:";

}  // namespace

bool OffersPortListing(std::string_view serviceType) {
    const std::size_t at = serviceType.find(kService);
    unsigned long long version = 0;
    return at != std::string_view::npos &&
           text::ParseDecimal(serviceType.substr(at + kService.size()), 999, &version) &&
           version >= 2;
}

bool ReadPortListing(std::string_view answerBody, std::vector<PortMappingEntry>* entries) {
    std::string listing;
    XmlDocument doc;
    // Complete: a table cut short would pass for the whole of it.
    if (!ExtractElementText(answerBody, "NewPortListing", &listing) || !doc.Load(listing) ||
        !doc.Complete() || doc.ElementsByLocalName("PortMappingList").empty()) {
        return false;
    }
    std::vector<PortMappingEntry> read;
    for (const XmlDocument::Node entry : doc.ElementsByLocalName("PortMappingEntry")) {
        PortMappingEntry e;
        for (const XmlDocument::Node child : doc.Children(entry)) {
            const std::string name = doc.Name(child);
            // The document's names, and the entry answer's for a router
            // that writes those.
            const std::string_view local = XmlDocument::LocalName(name);
            for (const EntryField& f : kEntryFields) {
                if (local == f.listName || local == f.name) {
                    e.*f.member = text::Trim(doc.Text(child));
                }
            }
        }
        read.push_back(std::move(e));
    }
    *entries = std::move(read);
    return true;
}

}  // namespace upnp
