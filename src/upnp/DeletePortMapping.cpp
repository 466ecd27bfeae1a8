// Removes the mapping of one external port and protocol from the gateway.

#include "upnp/RouterDevice.h"

int CRouterDevice::DeletePortMapping(int externalPort, const std::string& protocol) {
    if (EnsureService() != 0) {
        return -1;
    }
    std::string replyBody;
    return InvokeAction("DeletePortMapping",
                        {{"NewRemoteHost", ""},
                         {"NewExternalPort", std::to_string(externalPort)},
                         {"NewProtocol", protocol}},
                        &replyBody);
}
