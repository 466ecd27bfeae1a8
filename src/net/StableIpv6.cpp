#include "net/StableIpv6.h"

#include "net/Ipv6Text.h"

namespace net {

std::optional<platform::LocalIpv6> PickStableGlobal(
    const std::vector<platform::LocalIpv6>& addresses, std::uint32_t interfaceIndex) {
    for (const platform::LocalIpv6& a : addresses) {
        if (a.interfaceIndex == interfaceIndex && a.usable && !a.temporary &&
            KindOf(a.address) == Ipv6Kind::kGlobal) {
            return a;
        }
    }
    return std::nullopt;
}

std::optional<platform::LocalIpv6> StableIpv6Toward(const std::vector<std::uint32_t>& gateways) {
    const std::vector<platform::LocalIpv6> addresses = platform::LocalIpv6Addresses();
    if (addresses.empty()) {
        return std::nullopt;
    }
    for (const std::uint32_t gateway : gateways) {
        std::uint32_t local = 0;
        if (!platform::LocalAddressTowards(gateway, &local)) {
            continue;
        }
        const std::uint32_t index = platform::InterfaceOfIPv4(local);
        if (index == 0) {
            continue;
        }
        if (std::optional<platform::LocalIpv6> found = PickStableGlobal(addresses, index)) {
            return found;
        }
    }
    return std::nullopt;
}

}  // namespace net
