// The router's outside address, asked of the service the mappings go to.

#include "upnp/RouterDevice.h"

int CRouterDevice::GetExternalIPAddress(std::string* address) {
    if (EnsureService() != 0) {
        return -1;
    }
    std::string replyBody;
    if (InvokeAction("GetExternalIPAddress", {}, &replyBody) != 0) {
        return -1;
    }
    if (!upnp::ExtractElementText(replyBody, "NewExternalIPAddress", address)) {
        failure_.step = FailureReason::Step::kStatus;
        failure_.detail = "GetExternalIPAddress: no NewExternalIPAddress in the response";
        return -1;
    }
    return 0;
}
