// Reads URLBase and the first matching service from a UPnP device description.

#include <string_view>

#include "platform/Xml.h"
#include "text/Text.h"
#include "upnp/RouterDevice.h"

namespace {

// The HTTP exchange hands out at most 32766 bytes; a longer text cannot come
// from a gateway and would only let nesting tricks cost quadratic time.
constexpr std::size_t kMaxDescription = 64 * 1024;

std::string TrimmedText(const platform::XmlDocument& doc, platform::XmlDocument::Node node) {
    return text::Trim(doc.Text(node));
}

}  // namespace

int CRouterDevice::ParseDescription(std::string description, std::string serviceFragment,
                                    ServiceInfo* info) {
    using Step = FailureReason::Step;
    failure_.Clear();
    // The text ends at its first zero byte, as a C string would.
    const std::size_t zero = description.find('\0');
    if (zero != std::string::npos) {
        description.resize(zero);
    }
    if (description.size() > kMaxDescription) {
        failure_.step = Step::kDescription;
        failure_.detail = "description larger than 64 KiB";
        return -1;
    }
    if (description.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        description.erase(0, 3);  // a UTF-8 byte order mark
    }

    platform::XmlDocument doc;
    if (!doc.Load(description)) {
        failure_.step = Step::kDescription;
        failure_.detail = "not a well-formed XML document";
        return -1;
    }

    // UPnP 1.1 dropped URLBase; without it the field stays as the caller
    // made it and the control URL is resolved against the location.
    const std::vector<platform::XmlDocument::Node> bases = doc.ElementsByName("URLBase");
    if (!bases.empty()) {
        info->URLBase = TrimmedText(doc, bases.front());
    }

    for (platform::XmlDocument::Node service : doc.ElementsByName("service")) {
        const std::vector<platform::XmlDocument::Node> children = doc.Children(service);
        bool chosen = false;
        for (platform::XmlDocument::Node child : children) {
            if (doc.Name(child) == "serviceType" &&
                TrimmedText(doc, child).find(serviceFragment) != std::string::npos) {
                chosen = true;
                break;
            }
        }
        if (!chosen) {
            continue;
        }
        // A second pass over all children: the fields may come in any order,
        // and of a repeated one the last stays.
        for (platform::XmlDocument::Node child : children) {
            const std::string name = doc.Name(child);
            std::string* field = nullptr;
            if (name == "serviceType") {
                field = &info->serviceType;
            } else if (name == "serviceId") {
                field = &info->serviceId;
            } else if (name == "SCPDURL") {
                field = &info->SCPDURL;
            } else if (name == "controlURL") {
                field = &info->controlURL;
            } else if (name == "eventSubURL") {
                field = &info->eventSubURL;
            }
            if (field != nullptr) {
                *field = TrimmedText(doc, child);
            }
        }
        return 0;
    }
    failure_.step = Step::kNoService;
    failure_.detail = "no service of type " + serviceFragment;
    return -1;
}
