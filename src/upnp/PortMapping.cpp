// One rule applied to the gateway: fetch the description, find the
// WANIPConnection control URL, post AddPortMapping.

#include "upnp/RouterDevice.h"
#include "upnp/Soap.h"
#include "upnp/Url.h"

namespace {

void PrefixDetail(FailureReason& failure, const char* what) {
    failure.detail = failure.detail.empty() ? std::string(what) : what + (": " + failure.detail);
}

}  // namespace

int CRouterDevice::AddPortMapping(int externalPort, int internalPort, std::string protocol,
                                  std::string description) {
    HttpHeaderList requestHeaders;
    HttpHeaderList replyHeaders;
    std::string replyBody;

    // The description is fetched anew for every rule: a gateway may have
    // restarted with other URLs since the last one.
    if (HttpRequest(location, "GET", requestHeaders, std::string(), replyHeaders, replyBody) != 0) {
        PrefixDetail(failure_, "description GET");
        return -1;
    }
    ServiceInfo service;
    if (ParseDescription(replyBody, "WANIPConnection", &service) != 0) {
        return -1;
    }

    upnp::AddPortMappingArgs args;
    args.serviceType = service.serviceType;
    args.externalPort = externalPort;
    args.protocol = std::move(protocol);
    args.internalPort = internalPort;
    args.internalClient = GetLocalAddress().ToText();
    args.description = std::move(description);
    const std::string envelope = upnp::AddPortMappingEnvelope(args);

    requestHeaders.Append("Content-Type", "text/xml; charset=\"utf-8\"");
    requestHeaders.Append("SOAPAction", "\"" + service.serviceType + "#AddPortMapping\"");
    const std::string controlUrl = upnp::ControlUrl(service.URLBase, location, service.controlURL);
    if (HttpRequest(controlUrl, "POST", requestHeaders, envelope, replyHeaders, replyBody) != 0) {
        PrefixDetail(failure_, "AddPortMapping POST");
        return -1;
    }
    return 0;
}
