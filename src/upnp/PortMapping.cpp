// One rule applied to the gateway: post AddPortMapping to the service found
// at discovery (read from the description when there is none yet).

#include "text/Text.h"
#include "upnp/RouterDevice.h"
#include "upnp/Soap.h"
#include "upnp/UpnpErrors.h"

int CRouterDevice::AddPortMapping(int externalPort, int internalPort, std::string protocol,
                                  std::string description) {
    // The service found at discovery serves every rule of the run; reading
    // the description again would cost each rule a request the router is
    // slow to serve right after a search.
    if (controlUrl.empty() && ReadService() != 0) {
        return -1;
    }
    upnp::AddPortMappingArgs args;
    args.serviceType = service.serviceType;
    args.externalPort = externalPort;
    // Some routers refuse "tcp", and others take anything but "UDP" for TCP.
    args.protocol = text::AsciiUpper(std::move(protocol));
    args.internalPort = internalPort;
    args.internalClient = GetLocalAddress().ToText();
    lastInternalClient_ = args.internalClient;
    args.description = std::move(description);
    std::string replyBody;
    if (PostAction("AddPortMapping", upnp::AddPortMappingEnvelope(args), &replyBody) == 0) {
        return 0;
    }
    // Some routers refuse a permanent mapping as an invalid argument: a week
    // is the longest they grant. The periodic run renews it.
    if (failure_.upnpErrorCode != upnp::error::kInvalidArgs) {
        return -1;
    }
    args.leaseSeconds = kLongestLeaseSeconds;
    return PostAction("AddPortMapping", upnp::AddPortMappingEnvelope(args), &replyBody);
}
