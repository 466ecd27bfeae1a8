// Whether this machine's firewall would let a forwarded packet in, from
// what could be read of it (platform/LocalFirewall.h). Plain code.
#pragma once

#include <cstdint>
#include <string>

#include "platform/LocalFirewall.h"

enum class FirewallVerdict {
    kUnknown,    // not read (Linux, or no policy object): nothing is said
    kLetsIn,     // off, allows by default, or an allow rule covers it
    kWouldDrop,  // on for a current profile and nothing there lets it in
};

// `programPath` is the listening program's image, empty when unknown (then
// only rules for any program count). A rule counts when it applies in the
// profile, is for this protocol (or any), covers the port, is for any
// program or this one, any service, and any remote address: a rule for the
// local subnet only does not let the internet in.
FirewallVerdict JudgeFirewall(const platform::FirewallSnapshot& firewall, bool udp,
                              std::uint16_t port, const std::string& programPath);

// LocalPorts: "*", or ports and ranges separated by commas ("80,8000-8100").
// Keywords ("RPC", "Teredo", ...) cover no ordinary port.
bool PortsCover(const std::string& ports, std::uint16_t port);
