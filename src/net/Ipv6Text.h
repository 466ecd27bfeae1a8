// IPv6 addresses as text, and what kind of address one is. Plain code, the
// same on every platform, so that what a router sends is read alike
// everywhere.
#pragma once

#include <string>
#include <string_view>

#include "platform/Socket.h"

namespace net {

// The forms of RFC 4291 (with "::" and a dotted IPv4 tail), optionally
// followed by "%" and a numeric zone, which becomes the scope. False, and
// `address` unchanged, for anything else.
bool ParseIPv6(std::string_view text, platform::Ipv6Address* address);

// The one text of RFC 5952: lower-case hex, the longest run of two or more
// zero groups as "::". The scope is not part of it.
std::string FormatIPv6(const platform::Ipv6Address& address);

enum class Ipv6Kind {
    kGlobal,       // 2000::/3: reachable from the internet once a firewall lets it
    kLinkLocal,    // fe80::/10
    kUniqueLocal,  // fc00::/7, the ULA of a home network
    kOther,        // loopback, unspecified, multicast, mapped IPv4 and the rest
};
Ipv6Kind KindOf(const platform::Ipv6Address& address);

}  // namespace net
