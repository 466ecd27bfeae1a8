// This machine's own firewall, as far as it can be read without elevation:
// Windows Defender Firewall through INetFwPolicy2 (hnetcfg.dll). Linux
// reads nothing (nftables and iptables want root): `read` stays false.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// The profile bits of NET_FW_PROFILE_TYPE2.
inline constexpr long kFirewallDomain = 0x1;
inline constexpr long kFirewallPrivate = 0x2;
inline constexpr long kFirewallPublic = 0x4;

// One of the profiles the machine's networks are in now.
struct FirewallProfile {
    long type = 0;  // one bit of the above
    bool enabled = false;
    bool blockAllInbound = false;  // "shields up": even allowed programs are kept out
    bool defaultInboundAllows = false;
};

// An inbound rule that allows (others are not kept).
struct FirewallRule {
    long profiles = 0;    // bits of the profiles it applies in
    int protocol = 256;   // 6 TCP, 17 UDP, 256 any
    std::string ports;    // LocalPorts: "*", "80,443,8000-8100", or keywords such as "RPC"
    std::string program;  // ApplicationName with its variables expanded; empty: any
    std::string service;  // ServiceName; empty or "*": any
    std::string remote;   // RemoteAddresses: "*" or a restriction ("LocalSubnet", ...)
};

struct FirewallSnapshot {
    bool read = false;  // false: nothing is known, nothing is said
    std::vector<FirewallProfile> current;
    std::vector<FirewallRule> rules;  // enabled inbound allow rules
};

FirewallSnapshot ReadLocalFirewall();

}  // namespace platform
