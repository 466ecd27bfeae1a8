#include "line/MapRule.h"

namespace line {

namespace {

constexpr MapRule kProviderRules[] = {
#include "line/ProviderRules.inc"
};

}  // namespace

bool Begins(const MapRule& rule, const std::array<std::uint8_t, 16>& address) {
    if (rule.ipv6Length == 0 || rule.ipv6Length > 64) {
        return false;
    }
    const unsigned drop = 64u - rule.ipv6Length;
    return (First64(address) >> drop) == (rule.ipv6Prefix >> drop);
}

std::span<const MapRule> ProviderRules() {
    return kProviderRules;
}

std::uint64_t First64(const std::array<std::uint8_t, 16>& address) {
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) {
        v = (v << 8) | address[static_cast<std::size_t>(i)];
    }
    return v;
}

const MapRule* LongestRule(std::span<const MapRule> rules,
                           const std::array<std::uint8_t, 16>& address) {
    const MapRule* best = nullptr;
    for (const MapRule& rule : rules) {
        if (Begins(rule, address) && (best == nullptr || rule.ipv6Length > best->ipv6Length)) {
            best = &rule;
        }
    }
    return best;
}

}  // namespace line
