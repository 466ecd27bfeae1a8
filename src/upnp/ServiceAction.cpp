// The two steps every action takes: find the WAN connection service in the
// gateway's description, then post the action to its control URL.

#include "upnp/RouterDevice.h"
#include "upnp/Url.h"

namespace {

constexpr char kIpv6FirewallService[] = "WANIPv6FirewallControl:1";

void PrefixDetail(FailureReason& failure, const std::string& what) {
    failure.detail = failure.detail.empty() ? what : what + ": " + failure.detail;
}

}  // namespace

int CRouterDevice::GetDescription(std::string* body) {
    HttpHeaderList requestHeaders;
    HttpHeaderList replyHeaders;
    if (HttpRequest(location, "GET", requestHeaders, std::string(), replyHeaders, *body) != 0) {
        PrefixDetail(failure_, "description GET");
        return -1;
    }
    return 0;
}

int CRouterDevice::ReadService() {
    std::string replyBody;
    if (GetDescription(&replyBody) != 0) {
        return -1;
    }
    ServiceInfo firewall;
    offersIpv6Firewall = ParseDescription(replyBody, kIpv6FirewallService, &firewall) == 0;
    std::vector<ServiceInfo> services;
    if (ReadWanServices(replyBody, &services) != 0) {
        return -1;
    }
    const std::size_t again = FindChosen(services);
    if (again < services.size()) {
        UseService(services[again]);
        return 0;
    }
    // First read, or the gateway now describes other services.
    const std::size_t pick = ChooseService(services);
    chosen_.made = true;
    chosen_.index = pick;
    chosen_.serviceType = services[pick].serviceType;
    chosen_.serviceId = services[pick].serviceId;
    UseService(services[pick]);
    return 0;
}

int CRouterDevice::ReadFirewallService() {
    std::string replyBody;
    if (GetDescription(&replyBody) != 0) {
        return -1;
    }
    ServiceInfo firewall;
    if (ParseDescription(replyBody, kIpv6FirewallService, &firewall) != 0) {
        return -1;
    }
    UseService(firewall);
    return 0;
}

void CRouterDevice::UseService(const ServiceInfo& s) {
    service = s;
    controlUrl = upnp::ControlUrl(service.URLBase, location, service.controlURL);
}

int CRouterDevice::PostAction(const std::string& action, const std::string& envelope,
                              std::string* replyBody) {
    HttpHeaderList requestHeaders;
    HttpHeaderList replyHeaders;
    requestHeaders.Append("Content-Type", "text/xml; charset=\"utf-8\"");
    requestHeaders.Append("SOAPAction", "\"" + service.serviceType + "#" + action + "\"");
    if (HttpRequest(controlUrl, "POST", requestHeaders, envelope, replyHeaders, *replyBody) != 0) {
        PrefixDetail(failure_, action + " POST");
        return -1;
    }
    return 0;
}

int CRouterDevice::InvokeAction(const std::string& action, const upnp::SoapArguments& arguments,
                                std::string* replyBody) {
    return PostAction(action, upnp::ActionEnvelope(service.serviceType, action, arguments),
                      replyBody);
}
