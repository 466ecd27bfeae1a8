// The IPv6 address that pinholes are opened for: one the internet can reach
// and that stays put. A privacy address changes during the day and the
// router's firewall would then let traffic in for an address nobody has;
// link-local and ULA addresses are not reachable from outside at all.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/Socket.h"

namespace net {

// The first of `addresses` that is global (2000::/3), fit to use and not a
// privacy address.
std::optional<platform::LocalIpv6> FirstStableGlobal(
    const std::vector<platform::LocalIpv6>& addresses);

// Those of `addresses` on `interfaces` (indexes), interface by interface.
std::vector<platform::LocalIpv6> OnInterfaces(const std::vector<platform::LocalIpv6>& addresses,
                                              const std::vector<std::uint32_t>& interfaces);

// This machine's IPv6 addresses on the interfaces that reach `gateways`,
// interface by interface in the gateways' order: what both the pinholes'
// address and the line (MAP-E) are chosen from, read once a run.
std::vector<platform::LocalIpv6> Ipv6Toward(const std::vector<std::uint32_t>& gateways);

}  // namespace net
