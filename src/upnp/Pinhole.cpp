// The IPv6 firewall control of an IGD v2 gateway: a pinhole lets traffic
// from the internet in to one address and port of this machine. The
// service is read with ReadFirewallService first.

#include "upnp/RouterDevice.h"
#include "upnp/Soap.h"

namespace {

// The service's protocol numbers: its arguments are IP protocol numbers.
std::string ProtocolNumber(const std::string& protocol) {
    return protocol == "UDP" ? "17" : "6";
}

}  // namespace

int CRouterDevice::GetFirewallStatus(bool* firewallEnabled, bool* inboundPinholeAllowed) {
    std::string reply;
    if (InvokeAction("GetFirewallStatus", {}, &reply) != 0) {
        return -1;
    }
    std::string enabled;
    std::string allowed;
    if (!upnp::ExtractElementText(reply, "FirewallEnabled", &enabled) ||
        !upnp::ExtractElementText(reply, "InboundPinholeAllowed", &allowed)) {
        failure_.step = FailureReason::Step::kStatus;
        failure_.detail = "GetFirewallStatus: no FirewallEnabled or InboundPinholeAllowed";
        return -1;
    }
    // UPnP booleans: 1, true or yes.
    const auto truth = [](const std::string& v) { return v == "1" || v == "true" || v == "yes"; };
    *firewallEnabled = truth(enabled);
    *inboundPinholeAllowed = truth(allowed);
    return 0;
}

int CRouterDevice::AddPinhole(const std::string& internalClient, int internalPort,
                              const std::string& protocol, unsigned leaseSeconds,
                              std::string* uniqueId) {
    std::string reply;
    if (InvokeAction("AddPinhole",
                     {{"RemoteHost", ""},
                      {"RemotePort", "0"},
                      {"InternalClient", internalClient},
                      {"InternalPort", std::to_string(internalPort)},
                      {"Protocol", ProtocolNumber(protocol)},
                      {"LeaseTime", std::to_string(leaseSeconds)}},
                     &reply) != 0) {
        return -1;
    }
    if (!upnp::ExtractElementText(reply, "UniqueID", uniqueId) || uniqueId->empty()) {
        failure_.step = FailureReason::Step::kStatus;
        failure_.detail = "AddPinhole: no UniqueID in the response";
        return -1;
    }
    return 0;
}

int CRouterDevice::UpdatePinhole(const std::string& uniqueId, unsigned leaseSeconds) {
    std::string reply;
    return InvokeAction("UpdatePinhole",
                        {{"UniqueID", uniqueId}, {"NewLeaseTime", std::to_string(leaseSeconds)}},
                        &reply);
}

int CRouterDevice::DeletePinhole(const std::string& uniqueId) {
    std::string reply;
    return InvokeAction("DeletePinhole", {{"UniqueID", uniqueId}}, &reply);
}
