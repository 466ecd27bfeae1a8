// The SSDP search requests and the reading of their answers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace upnp {

// The search request: 132 characters and a terminating zero byte, sent as
// 133 bytes to every destination (the HOST line names the multicast group
// even in the unicast copies).
inline constexpr char kSsdpSearchRequest[] =
    "M-SEARCH * HTTP/1.1\r\n"
    "HOST: 239.255.255.250:1900\r\n"
    "MAN: \"ssdp:discover\"\r\n"
    "MX: 3\r\n"
    "ST: urn:schemas-upnp-org:service:WANIPConnection:1\r\n"
    "\r\n";
inline constexpr std::size_t kSsdpSearchRequestSize = sizeof kSsdpSearchRequest;  // 133

// Searched for right after it, in this order: every gateway device answers
// a search for its device type, so these two find the routers that stay
// silent to the first search (PPP-only ones, those that answer only device
// types, IGD v2 devices that answer only version 2 searches). Service-type
// searches would find no further router, and each search a router answers
// delays its answer to the description request that follows.
inline constexpr const char* kSsdpFurtherSearchTargets[] = {
    "urn:schemas-upnp-org:device:InternetGatewayDevice:1",
    "urn:schemas-upnp-org:device:InternetGatewayDevice:2",
};

// A search request for `searchTarget`, laid out as the first one but
// without its zero byte.
std::string SsdpSearchRequest(std::string_view searchTarget);

// The IPv6 search: for the firewall control of IGD v2 gateways (the
// pinholes), to the link's SSDP group ff02::c. A device may wait up to MX
// seconds before it answers a group search, so MX is the least allowed.
inline constexpr char kSsdpIpv6FirewallTarget[] =
    "urn:schemas-upnp-org:service:WANIPv6FirewallControl:1";
std::string SsdpSearchRequest6(std::string_view searchTarget);

// Takes the location from one received datagram. Only an answer to a search
// counts: its status line is HTTP 200 (not a NOTIFY, not another client's
// M-SEARCH, not an error). The datagram's text ends at
// its first zero byte. The first header line after the status line whose name
// is Location (any letter case) is used; its value is trimmed of spaces and
// tabs and may end at the end of the datagram instead of a CR LF. Lines may
// also end in a bare LF. False when there is no such line or its value is
// empty; `location` is then unchanged.
bool FindSsdpLocation(std::string_view datagram, std::string* location);

// Whether an answer's source (network order, as received) is an address a
// device can have, so that its requests may go there: not 0.0.0.0/8 (which
// would leave the location's host in charge), not multicast or broadcast.
bool IsDeviceAddress(std::uint32_t networkOrder);

}  // namespace upnp
