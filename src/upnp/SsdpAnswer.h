// Reading the answer to an SSDP search.
#pragma once

#include <cstddef>
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

// Takes the location from one received datagram. The datagram's text ends at
// its first zero byte. The first header line after the status line whose name
// is Location (any letter case) is used; its value is trimmed of spaces and
// tabs and may end at the end of the datagram instead of a CR LF. Lines may
// also end in a bare LF. False when there is no such line or its value is
// empty; `location` is then unchanged.
bool FindSsdpLocation(std::string_view datagram, std::string* location);

}  // namespace upnp
