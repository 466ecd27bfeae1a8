// Reads URLBase and the services from a UPnP device description.

#include <string_view>

#include "text/Text.h"
#include "upnp/HttpMessage.h"
#include "upnp/RouterDevice.h"
#include "upnp/XmlDocument.h"

namespace {

using upnp::XmlDocument;

// URLs and types are short; a field's text is read up to this size, so that
// nested services whose fields hold one another cost no more than this each.
constexpr std::size_t kMaxFieldText = 8192;

std::string TrimmedText(const XmlDocument& doc, XmlDocument::Node node) {
    return text::Trim(doc.Text(node, kMaxFieldText));
}

// Element names are compared without their prefix: some gateways write
// <dev:serviceType> under a prefixed namespace.
std::string LocalNameOf(const XmlDocument& doc, XmlDocument::Node node) {
    return std::string(XmlDocument::LocalName(doc.Name(node)));
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
    if (description.size() > upnp::kHttpBodyCap) {
        failure_.step = Step::kDescription;
        failure_.detail = "description larger than 1 MiB";
        return -1;
    }

    XmlDocument doc;
    if (!doc.Load(text::DropUtf8Bom(description))) {
        failure_.step = Step::kDescription;
        failure_.detail = "not an XML document: " + doc.Refusal();
        return -1;
    }
    // A description cut short may lack the very service that was wanted.
    if (!doc.Complete()) {
        failure_.step = Step::kDescription;
        failure_.detail = "the document ends before its root element does";
        return -1;
    }

    const std::vector<XmlDocument::Node> udns = doc.ElementsByLocalName("UDN");
    udn = udns.empty() ? std::string() : TrimmedText(doc, udns.front());

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
