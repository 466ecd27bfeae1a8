// Which WAN connection service of a gateway takes the mappings. A router may
// describe a connection it does not use (an IP one beside the live PPP one,
// or one per WAN port); such a service often answers AddPortMapping with 200
// and forwards nothing. Yet routers also exist whose only service says
// Disconnected while mappings work, so Connected is preferred, never required.

#include "upnp/RouterDevice.h"
#include "upnp/Soap.h"

std::size_t CRouterDevice::ChooseService(const std::vector<ServiceInfo>& services) {
    if (services.size() > 1) {
        for (std::size_t i = 0; i < services.size(); ++i) {
            UseService(services[i]);
            std::string reply;
            std::string status;
            if (InvokeAction("GetStatusInfo", {}, &reply) == 0 &&
                upnp::ExtractElementText(reply, "NewConnectionStatus", &status) &&
                status == "Connected") {
                failure_.Clear();
                return i;
            }
        }
        // A failed query is no failure of the read.
        failure_.Clear();
        for (std::size_t i = 0; i < services.size(); ++i) {
            if (services[i].serviceType.find("WANIPConnection") != std::string::npos) {
                UseService(services[i]);
                return i;
            }
        }
    }
    UseService(services.front());
    return 0;
}

std::size_t CRouterDevice::FindChosen(const std::vector<ServiceInfo>& services) const {
    if (!chosen_.made) {
        return services.size();
    }
    const auto same = [this](const ServiceInfo& s) {
        return s.serviceType == chosen_.serviceType && s.serviceId == chosen_.serviceId;
    };
    if (chosen_.index < services.size() && same(services[chosen_.index])) {
        return chosen_.index;
    }
    for (std::size_t i = 0; i < services.size(); ++i) {
        if (same(services[i])) {
            return i;
        }
    }
    return services.size();
}
