// Reads URLBase and the services from a UPnP device description.

#include <string_view>

#include "platform/Xml.h"
#include "text/Text.h"
#include "upnp/RouterDevice.h"

namespace {

using platform::XmlDocument;

// The HTTP exchange hands out at most 32766 bytes; a longer text cannot come
// from a gateway and would only let nesting tricks cost quadratic time.
constexpr std::size_t kMaxDescription = 64 * 1024;

std::string TrimmedText(const XmlDocument& doc, XmlDocument::Node node) {
    return text::Trim(doc.Text(node));
}

// Element names are compared without their prefix: some gateways write
// <dev:serviceType> under a prefixed namespace.
std::string LocalNameOf(const XmlDocument& doc, XmlDocument::Node node) {
    return XmlDocument::LocalName(doc.Name(node));
}

bool TypeMatches(const std::string& type, const std::vector<std::string>& fragments) {
    for (const std::string& f : fragments) {
        if (type.find(f) != std::string::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace

int CRouterDevice::ReadServices(std::string description, const std::vector<std::string>& fragments,
                                bool firstOnly, ServiceInfo* fields,
                                std::vector<ServiceInfo>* found) {
    using Step = FailureReason::Step;
    failure_.Clear();
    // The text ends at its first zero byte, as a C string would.
    description.resize(text::CutAtZero(description).size());
    if (description.size() > kMaxDescription) {
        failure_.step = Step::kDescription;
        failure_.detail = "description larger than 64 KiB";
        return -1;
    }
    description = std::string(text::DropUtf8Bom(description));

    XmlDocument doc;
    if (!doc.Load(description)) {
        failure_.step = Step::kDescription;
        failure_.detail = "not a well-formed XML document";
        return -1;
    }

    // UPnP 1.1 dropped URLBase; without it the field stays as the caller
    // made it and the control URL is resolved against the location.
    const std::vector<XmlDocument::Node> bases = doc.ElementsByLocalName("URLBase");
    if (!bases.empty()) {
        fields->URLBase = TrimmedText(doc, bases.front());
    }

    for (XmlDocument::Node service : doc.ElementsByLocalName("service")) {
        // The fields may come in any order, and of a repeated one the last
        // stays; the service is judged by the type that stays.
        ServiceInfo info = *fields;
        for (XmlDocument::Node child : doc.Children(service)) {
            const std::string name = LocalNameOf(doc, child);
            std::string* field = nullptr;
            if (name == "serviceType") {
                field = &info.serviceType;
            } else if (name == "serviceId") {
                field = &info.serviceId;
            } else if (name == "SCPDURL") {
                field = &info.SCPDURL;
            } else if (name == "controlURL") {
                field = &info.controlURL;
            } else if (name == "eventSubURL") {
                field = &info.eventSubURL;
            }
            if (field != nullptr) {
                *field = TrimmedText(doc, child);
            }
        }
        if (!TypeMatches(info.serviceType, fragments)) {
            continue;
        }
        found->push_back(std::move(info));
        if (firstOnly) {
            break;
        }
    }
    if (found->empty()) {
        failure_.step = Step::kNoService;
        failure_.detail = "no service of type " + fragments.front();
        for (std::size_t i = 1; i < fragments.size(); ++i) {
            failure_.detail += " or " + fragments[i];
        }
        return -1;
    }
    return 0;
}

int CRouterDevice::ParseDescription(std::string description, std::string serviceFragment,
                                    ServiceInfo* info) {
    std::vector<ServiceInfo> found;
    if (ReadServices(std::move(description), {serviceFragment}, true, info, &found) != 0) {
        return -1;
    }
    *info = found.front();
    return 0;
}

int CRouterDevice::ReadWanServices(std::string description, std::vector<ServiceInfo>* services) {
    ServiceInfo fields;
    services->clear();
    return ReadServices(std::move(description), {"WANIPConnection", "WANPPPConnection"}, false,
                        &fields, services);
}
