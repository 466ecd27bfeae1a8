#include "platform/Socket.h"
#include "upnp/RouterDevice.h"

// The resolver's first address for the host name is often not the LAN
// address (127.0.1.1 on Debian, a VPN or virtual adapter on Windows), so the
// interface that routes to the gateway comes first.
IpAddress CRouterDevice::GetLocalAddress() const {
    std::uint32_t local = 0;
    if (address.Value() != 0 && platform::LocalAddressTowards(address.Value(), &local)) {
        return IpAddress(local);
    }
    std::string name;
    if (platform::GetLocalHostName(&name) && platform::ResolveIPv4(name, &local)) {
        return IpAddress(local);
    }
    return IpAddress(0);
}
