#include "net/StableIpv6.h"

#include <algorithm>

#include "net/Ipv6Text.h"

namespace net {

namespace {

bool StableGlobal(const platform::LocalIpv6& a) {
    return a.usable && !a.temporary && KindOf(a.address) == Ipv6Kind::kGlobal;
}

}  // namespace

std::optional<platform::LocalIpv6> FirstStableGlobal(
    const std::vector<platform::LocalIpv6>& addresses) {
    for (const platform::LocalIpv6& a : addresses) {
        if (StableGlobal(a)) {
            return a;
        }
    }
    return std::nullopt;
}

std::vector<platform::LocalIpv6> OnInterfaces(const std::vector<platform::LocalIpv6>& addresses,
                                              const std::vector<std::uint32_t>& interfaces) {
    std::vector<platform::LocalIpv6> on;
    for (const std::uint32_t index : interfaces) {
        for (const platform::LocalIpv6& a : addresses) {
            if (a.interfaceIndex == index) {
                on.push_back(a);
            }
        }
    }
    return on;
}

std::vector<platform::LocalIpv6> Ipv6Toward(const std::vector<std::uint32_t>& gateways) {
    const std::vector<platform::LocalIpv6> addresses = platform::LocalIpv6Addresses();
    if (addresses.empty()) {
        return {};
    }
    std::vector<std::uint32_t> interfaces;
    for (const std::uint32_t gateway : gateways) {
        std::uint32_t local = 0;
        if (!platform::LocalAddressTowards(gateway, &local)) {
            continue;
        }
        const std::uint32_t index = platform::InterfaceOfIPv4(local);
        if (index != 0 &&
            std::find(interfaces.begin(), interfaces.end(), index) == interfaces.end()) {
            interfaces.push_back(index);
        }
    }
    return OnInterfaces(addresses, interfaces);
}

}  // namespace net
