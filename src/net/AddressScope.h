// Whether an address a router reports as its outside address can be reached
// from the internet.
#pragma once

#include <string_view>

// True only for a dotted-decimal IPv4 address (four decimal octets, nothing
// else) outside the ranges that never route on the internet: this network,
// private, carrier-grade NAT, loopback, link-local, IETF protocol
// assignments, documentation, benchmarking, multicast and reserved. Empty
// or unreadable text is not public either.
bool IsPublicIPv4(std::string_view text);
