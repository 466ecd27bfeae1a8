// A device description as the gateway serves it, read by the description
// reader over the tolerant XML reader.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "text/Text.h"
#include "upnp/RouterDevice.h"
#include "upnp/XmlDocument.h"

namespace {

bool Trimmed(const std::string& s) {
    return s.empty() || (!text::IsAsciiSpace(s.front()) && !text::IsAsciiSpace(s.back()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string description(reinterpret_cast<const char*>(data), size);

    CRouterDevice device;
    ServiceInfo info;
    const int result = device.ParseDescription(description, "WANIPConnection", &info);
    FUZZ_CHECK(result == 0 || result == -1);
    if (result == 0) {
        FUZZ_CHECK(device.LastFailure().step == FailureReason::Step::kNone);
        for (const std::string* field : {&info.URLBase, &info.serviceType, &info.serviceId,
                                         &info.SCPDURL, &info.controlURL, &info.eventSubURL}) {
            FUZZ_CHECK(Trimmed(*field));
        }
    } else {
        const FailureReason::Step step = device.LastFailure().step;
        FUZZ_CHECK(step == FailureReason::Step::kDescription ||
                   step == FailureReason::Step::kNoService);
        FUZZ_CHECK(info.serviceType.empty() && info.controlURL.empty());
    }

    // Every WAN connection service, each of a WAN connection type.
    std::vector<ServiceInfo> services;
    if (device.ReadWanServices(description, &services) == 0) {
        FUZZ_CHECK(!services.empty());
        for (const ServiceInfo& s : services) {
            FUZZ_CHECK(s.serviceType.find("WANIPConnection") != std::string::npos ||
                       s.serviceType.find("WANPPPConnection") != std::string::npos);
        }
    } else {
        FUZZ_CHECK(services.empty());
    }

    // The document operations themselves, on every element.
    upnp::XmlDocument doc;
    const bool loaded = doc.Load(description);
    FUZZ_CHECK(loaded == doc.Refusal().empty());
    FUZZ_CHECK(loaded || !doc.Complete());
    if (loaded) {
        for (upnp::XmlDocument::Node n : doc.ElementsByName("service")) {
            FUZZ_CHECK(doc.Name(n) == "service");
            std::string joined;
            for (upnp::XmlDocument::Node c : doc.Children(n)) {
                FUZZ_CHECK(!doc.Name(c).empty());
                joined += doc.Text(c);
            }
            // An element's text is its children's texts, in order.
            FUZZ_CHECK(doc.Text(n) == joined);
        }
    }
    return 0;
}
