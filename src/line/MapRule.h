// The MAP-E Basic Mapping Rules of Japanese IPoE providers (RFC 7597): which
// IPv6 prefix maps to which shared IPv4 addresses, and how a subscriber's
// prefix picks the address and its ports.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace line {

enum class Service : std::uint8_t {
    kV6Plus,      // v6プラス (JPNE)
    kIpv6Option,  // IPv6オプション (BIGLOBE)
    kOcn,         // OCNバーチャルコネクト
};

struct MapRule {
    std::uint64_t ipv6Prefix = 0;  // the first 64 bits of the rule's prefix
    std::uint8_t ipv6Length = 0;
    std::uint32_t ipv4Prefix = 0;  // host order, first octet in the top byte
    std::uint8_t ipv4Length = 0;
    std::uint8_t eaBits = 0;  // embedded address bits after the rule's prefix
    std::uint8_t psidLength = 0;
    std::uint8_t psidOffset = 0;
    Service service = Service::kV6Plus;
};

// The rules the programs carry (made from src/line/mape-rules.csv).
std::span<const MapRule> ProviderRules();

// Whether `address` (16 bytes, network order) begins with the rule's prefix.
bool Begins(const MapRule& rule, const std::array<std::uint8_t, 16>& address);

// The rule with the longest prefix that `address` (16 bytes, network
// order) begins with; nullptr when none does.
const MapRule* LongestRule(std::span<const MapRule> rules,
                           const std::array<std::uint8_t, 16>& address);

// The first 64 bits of an address, as the rules hold their prefixes.
std::uint64_t First64(const std::array<std::uint8_t, 16>& address);

}  // namespace line
