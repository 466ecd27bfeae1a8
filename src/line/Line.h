// Which kind of IPoE line this machine is on, worked out from its own IPv6
// address and the router's outside address, and what that allows: on MAP-E
// only the ports of the subscriber's set reach it from the internet, on
// DS-Lite no IPv4 port at all.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "line/MapRule.h"
#include "line/PortSet.h"

namespace line {

enum class Kind : std::uint8_t { kMapE, kDsLite };

struct Line {
    Kind kind = Kind::kMapE;
    // MAP-E only: the provider, the shared IPv4 address (host order) and
    // this subscriber's ports. A DS-Lite line has no set.
    Service service = Service::kV6Plus;
    std::uint32_t ipv4 = 0;
    PortSet ports;
};

// The MAP-E line of `address` under `rule` (RFC 7597 §5.1): the EA bits
// follow the rule's prefix; the IPv4 address is the rule's IPv4 prefix
// followed by those above the PSID, the PSID is the rest. Nothing when
// the address does not begin with the prefix, or the rule cannot give a
// whole IPv4 address and a PSID that fits a port.
std::optional<Line> MapELine(const MapRule& rule, const std::array<std::uint8_t, 16>& address);

// The line of the first of `addresses` that begins with a rule's prefix
// (the longest one that it begins with).
std::optional<Line> FindMapELine(std::span<const MapRule> rules,
                                 const std::vector<std::array<std::uint8_t, 16>>& addresses);

// What the router's outside address, as it stated it, says of the line.
enum class Verdict {
    kMapE,          // it is the address the MAP-E rule gives: the set holds
    kFixedAddress,  // a rule matched, but the address is another one: a
                    // fixed-address plan over a plain tunnel, every port works
    kDsLite,        // 192.0.0.2-7 (the B4 side of DS-Lite), or none at all
                    // on a machine with a global IPv6 address and no rule
    kUnknown,       // nothing to say
};
// `mapE`: what FindMapELine gave. `hasGlobalIpv6`: this machine has a
// global IPv6 address toward the router.
Verdict Judge(const std::optional<Line>& mapE, std::string_view outside, bool hasGlobalIpv6);

// A port the line cannot carry, and the usable blocks nearest to it.
struct UnusablePort {
    Service service = Service::kV6Plus;
    std::uint16_t psid = 0;
    long port = 0;
    std::optional<PortRange> below;
    std::optional<PortRange> above;
};
// Nothing when `port` is in the line's set or the line has no set.
std::optional<UnusablePort> Unusable(const Line& line, long port);

// "106.72.63.108" (host order in).
std::string Ipv4Text(std::uint32_t address);
// "v6plus", "ipv6option", "ocn": the names scripts read (--list --json).
const char* ServiceId(Service service);

}  // namespace line
