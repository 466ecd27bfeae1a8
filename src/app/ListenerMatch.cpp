#include "app/ListenerMatch.h"

#include <algorithm>

#include "net/Ipv6Text.h"
#include "platform/Socket.h"

namespace {

using Bytes = std::array<std::uint8_t, 16>;

bool IsMapped(const Bytes& a) {
    return std::all_of(a.begin(), a.begin() + 10, [](std::uint8_t b) { return b == 0; }) &&
           a[10] == 0xFF && a[11] == 0xFF;
}

bool IsZero(const Bytes& a, std::size_t from) {
    return std::all_of(a.begin() + from, a.end(), [](std::uint8_t b) { return b == 0; });
}

bool IsIpv6Loopback(const Bytes& a) {
    return std::all_of(a.begin(), a.end() - 1, [](std::uint8_t b) { return b == 0; }) && a[15] == 1;
}

// Ordered: the better fit decides.
enum class Fit { kNo, kOther, kLoopback, kUsable };

// How one socket serves an IPv4 rule: bound to an IPv4 address (either
// table: the IPv6 one lists sockets bound to ::ffff:a.b.c.d), or to :: when
// such sockets take IPv4 too.
Fit ForIpv4(const platform::OpenSocket& s, const Bytes& to, bool wildcardTakesIpv4) {
    if (!IsMapped(s.address)) {
        return s.ipv6 && wildcardTakesIpv4 && IsZero(s.address, 0) ? Fit::kUsable : Fit::kNo;
    }
    if (IsZero(s.address, 12) || s.address == to) {
        return Fit::kUsable;
    }
    return s.address[12] == 127 ? Fit::kLoopback : Fit::kOther;
}

// A pinhole lets in IPv6 only: a mapped address never meets it.
Fit ForIpv6(const platform::OpenSocket& s, const Bytes& to) {
    if (!s.ipv6 || IsMapped(s.address)) {
        return Fit::kNo;
    }
    if (IsZero(s.address, 0) || s.address == to) {
        return Fit::kUsable;
    }
    return IsIpv6Loopback(s.address) ? Fit::kLoopback : Fit::kOther;
}

}  // namespace

ListenerMatch MatchListener(const std::vector<platform::OpenSocket>& sockets, bool udp,
                            std::uint16_t port, bool ipv4, const Bytes& forwardedTo,
                            bool ipv6WildcardTakesIpv4) {
    ListenerMatch best;
    Fit bestFit = Fit::kNo;
    for (std::size_t i = 0; i < sockets.size(); ++i) {
        const platform::OpenSocket& s = sockets[i];
        if (s.udp != udp || s.port != port) {
            continue;
        }
        const Fit fit =
            ipv4 ? ForIpv4(s, forwardedTo, ipv6WildcardTakesIpv4) : ForIpv6(s, forwardedTo);
        if (fit > bestFit) {
            bestFit = fit;
            best.socket = static_cast<int>(i);
        }
    }
    best.state = bestFit == Fit::kUsable     ? LocalListener::State::kListening
                 : bestFit == Fit::kLoopback ? LocalListener::State::kLoopbackOnly
                 : bestFit == Fit::kOther    ? LocalListener::State::kOtherAddress
                                             : LocalListener::State::kNone;
    return best;
}

std::string SocketAddressText(const platform::OpenSocket& s) {
    if (IsMapped(s.address)) {
        std::uint32_t v4 = 0;
        std::copy(s.address.begin() + 12, s.address.end(), reinterpret_cast<std::uint8_t*>(&v4));
        return platform::FormatIPv4(v4);
    }
    platform::Ipv6Address a;
    a.bytes = s.address;
    return net::FormatIPv6(a);
}
