#include "line/Line.h"

namespace line {

namespace {

std::string_view Trimmed(std::string_view s) {
    const std::string_view space = " \t\r\n";
    const std::size_t begin = s.find_first_not_of(space);
    if (begin == std::string_view::npos) {
        return {};
    }
    return s.substr(begin, s.find_last_not_of(space) - begin + 1);
}

// RFC 6333: the B4 element's addresses, 192.0.0.2 to 192.0.0.7.
bool IsB4Address(std::string_view s) {
    return s.size() == 9 && s.substr(0, 8) == "192.0.0." && s[8] >= '2' && s[8] <= '7';
}

}  // namespace

std::optional<Line> MapELine(const MapRule& rule, const std::array<std::uint8_t, 16>& address) {
    const unsigned r = rule.ipv6Length;
    const unsigned ea = rule.eaBits;
    const unsigned k = rule.psidLength;
    if (!Begins(rule, address) || r + ea > 64 || ea < k || ea - k > 32 ||
        rule.ipv4Length + (ea - k) != 32 || k + rule.psidOffset > 16) {
        return std::nullopt;
    }
    const std::uint64_t bits = (First64(address) >> (64 - r - ea)) & ((std::uint64_t{1} << ea) - 1);
    Line line;
    line.kind = Kind::kMapE;
    line.service = rule.service;
    const std::uint64_t hostBits = (std::uint64_t{1} << (ea - k)) - 1;
    line.ipv4 = static_cast<std::uint32_t>((rule.ipv4Prefix & ~hostBits) | (bits >> k));
    line.ports = PortSet(static_cast<std::uint16_t>(bits & ((1u << k) - 1)), k, rule.psidOffset);
    return line;
}

std::optional<Line> FindMapELine(std::span<const MapRule> rules,
                                 const std::vector<std::array<std::uint8_t, 16>>& addresses) {
    for (const std::array<std::uint8_t, 16>& a : addresses) {
        if (const MapRule* rule = LongestRule(rules, a)) {
            if (std::optional<Line> line = MapELine(*rule, a)) {
                return line;
            }
        }
    }
    return std::nullopt;
}

Verdict Judge(const std::optional<Line>& mapE, std::string_view outside, bool hasGlobalIpv6) {
    outside = Trimmed(outside);
    if (mapE && outside == Ipv4Text(mapE->ipv4)) {
        return Verdict::kMapE;
    }
    if (IsB4Address(outside) || (!mapE && outside.empty() && hasGlobalIpv6)) {
        return Verdict::kDsLite;
    }
    return mapE && !outside.empty() ? Verdict::kFixedAddress : Verdict::kUnknown;
}

std::optional<UnusablePort> Unusable(const Line& line, long port) {
    if (line.kind != Kind::kMapE || line.ports.Contains(port)) {
        return std::nullopt;
    }
    return UnusablePort{line.service, line.ports.Psid(), port, line.ports.BlockBelow(port),
                        line.ports.BlockAbove(port)};
}

std::string Ipv4Text(std::uint32_t address) {
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8) {
        out += std::to_string((address >> shift) & 0xFF);
        if (shift > 0) {
            out += '.';
        }
    }
    return out;
}

const char* ServiceId(Service service) {
    switch (service) {
        case Service::kV6Plus:
            return "v6plus";
        case Service::kIpv6Option:
            return "ipv6option";
        case Service::kOcn:
            return "ocn";
    }
    return "unknown";
}

}  // namespace line
