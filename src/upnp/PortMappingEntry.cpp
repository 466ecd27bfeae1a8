// Who holds a port: GetSpecificPortMappingEntry for one external port.

#include <string>

#include "text/Text.h"
#include "upnp/RouterDevice.h"

namespace {

int PortNumber(const std::string& text) {
    unsigned long long value = 0;
    return text.size() <= 5 && text::ParseDecimal(text, 65535, &value) ? static_cast<int>(value)
                                                                       : -1;
}

}  // namespace

int PortMappingEntry::InternalPortNumber() const {
    return PortNumber(internalPort);
}

int CRouterDevice::GetSpecificPortMappingEntry(int externalPort, const std::string& protocol,
                                               PortMappingEntry* entry) {
    if (EnsureService() != 0) {
        return -1;
    }
    std::string replyBody;
    const upnp::SoapArguments arguments = {{"NewRemoteHost", ""},
                                           {"NewExternalPort", std::to_string(externalPort)},
                                           {"NewProtocol", protocol}};
    if (InvokeAction("GetSpecificPortMappingEntry", arguments, &replyBody) != 0) {
        return -1;
    }
    PortMappingEntry found;
    found.externalPort = std::to_string(externalPort);
    found.protocol = protocol;
    if (!upnp::ExtractElementText(replyBody, "NewInternalClient", &found.internalClient) ||
        !upnp::ExtractElementText(replyBody, "NewInternalPort", &found.internalPort)) {
        failure_.step = FailureReason::Step::kStatus;
        failure_.detail = "GetSpecificPortMappingEntry: no NewInternalClient or NewInternalPort";
        return -1;
    }
    upnp::ExtractElementText(replyBody, "NewEnabled", &found.enabled);
    upnp::ExtractElementText(replyBody, "NewLeaseDuration", &found.leaseDuration);
    upnp::ExtractElementText(replyBody, "NewPortMappingDescription", &found.description);
    *entry = found;
    return 0;
}
