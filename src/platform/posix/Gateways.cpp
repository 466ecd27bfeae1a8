#include "platform/Gateways.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace platform {

// /proc/net/route lists the routes of the calling process's namespace: a
// default route has destination and mask 0 and the RTF_GATEWAY flag. Each
// interface contributes its first default gateway, in table order.
std::vector<std::uint32_t> DefaultGateways(std::size_t limit) {
    std::vector<std::uint32_t> gateways;
    std::vector<std::string> interfaces;
    FILE* f = std::fopen("/proc/net/route", "r");
    if (f == nullptr) {
        return gateways;
    }
    char line[512];
    bool header = true;
    while (gateways.size() < limit && std::fgets(line, sizeof line, f) != nullptr) {
        if (header) {
            header = false;
            continue;
        }
        char iface[64] = {};
        unsigned destination = 0, gateway = 0, flags = 0, mask = 0;
        int refcnt = 0, use = 0, metric = 0;
        if (std::sscanf(line, "%63s %x %x %x %d %d %d %x", iface, &destination, &gateway, &flags,
                        &refcnt, &use, &metric, &mask) != 8) {
            continue;
        }
        const unsigned kRouteUp = 0x1, kRouteGateway = 0x2;
        if (destination != 0 || mask != 0 || (flags & kRouteUp) == 0 ||
            (flags & kRouteGateway) == 0 || gateway == 0) {
            continue;
        }
        bool seen = false;
        for (const auto& name : interfaces) {
            seen = seen || name == iface;
        }
        if (seen) {
            continue;
        }
        interfaces.emplace_back(iface);
        // The kernel prints the address as the host-order view of the
        // network-order value, so the number is already in network order.
        gateways.push_back(static_cast<std::uint32_t>(gateway));
    }
    std::fclose(f);
    return gateways;
}

}  // namespace platform
