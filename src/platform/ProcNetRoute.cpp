#include <cstdio>
#include <string>

#include "platform/Gateways.h"

namespace platform {

// A default route has destination and mask 0 and the up and gateway flags.
std::vector<std::uint32_t> ParseProcNetRoute(const std::string& table, std::size_t limit) {
    std::vector<std::uint32_t> gateways;
    std::vector<std::string> interfaces;
    std::size_t pos = table.find('\n');  // the first line holds the column names
    while (pos != std::string::npos && gateways.size() < limit) {
        const std::size_t begin = pos + 1;
        pos = table.find('\n', begin);
        const std::string line =
            table.substr(begin, pos == std::string::npos ? std::string::npos : pos - begin);
        char iface[64] = {};
        unsigned destination = 0, gateway = 0, flags = 0, mask = 0;
        int refcnt = 0, use = 0, metric = 0;
        if (std::sscanf(line.c_str(), "%63s %x %x %x %d %d %d %x", iface, &destination, &gateway,
                        &flags, &refcnt, &use, &metric, &mask) != 8) {
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
        // The kernel prints the network-order value read as a native number,
        // so scanning it back as a native number gives that value again.
        gateways.push_back(static_cast<std::uint32_t>(gateway));
    }
    return gateways;
}

}  // namespace platform
