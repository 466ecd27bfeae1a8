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

// The first global address (2000::/3) on `interfaceIndex` that is fit to use
// and not a privacy address.
std::optional<platform::LocalIpv6> PickStableGlobal(
    const std::vector<platform::LocalIpv6>& addresses, std::uint32_t interfaceIndex);

// That address on the interface that reaches the first of `gateways` that
// has one.
std::optional<platform::LocalIpv6> StableIpv6Toward(const std::vector<std::uint32_t>& gateways);

}  // namespace net
