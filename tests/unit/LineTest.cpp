// The line worked out from an address alone: RFC 7597 §5.1 on the providers'
// rules (the worked examples of the field notes as rows) and the edges of
// the port sets.
#include "line/Line.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "net/Ipv6Text.h"

using line::PortRange;

namespace {

std::optional<line::Line> LineOf(const char* text, const line::MapRule* only = nullptr) {
    platform::Ipv6Address a;
    EXPECT_TRUE(net::ParseIPv6(text, &a)) << text;
    return line::FindMapELine(only ? std::span(only, 1) : line::ProviderRules(), {a.bytes});
}

// RFC 7597 Appendix A, example 1: 2001:db8::/40 -> 192.0.2.0/24, EA 16, offset 6.
const line::MapRule kRfcRule{0x20010db800000000u, 40, 0xc0000200u, 24, 16, 8, 6};

// "v6plus 106.72.63.108 PSID 212, 240: 7488-7503 11584-11599 .. 64832-64847"
std::string Described(const std::optional<line::Line>& l) {
    if (!l) {
        return "none";
    }
    const std::vector<PortRange> b = l->ports.Blocks();
    const auto range = [](PortRange r) {
        return std::to_string(r.first) + "-" + std::to_string(r.last);
    };
    return std::string(line::ServiceId(l->service)) + " " + line::Ipv4Text(l->ipv4) + " PSID " +
           std::to_string(l->ports.Psid()) + ", " + std::to_string(l->ports.Count()) + ": " +
           range(b[0]) + " " + range(b[1]) + " .. " + range(b.back());
}

}  // namespace

TEST(Line, AddressGivesTheProvidersIpv4AndPortSet) {
    const struct {
        const char* address;
        const line::MapRule* rule;  // nullptr: the providers' rules
        const char* line;
    } cases[] = {
        {"240b:10:3f6c:d400::1", nullptr,
         "v6plus 106.72.63.108 PSID 212, 240: 7488-7503 11584-11599 .. 64832-64847"},
        // Another /64 of the same /56: only the first 56 bits count.
        {"240b:10:3f6c:d4ff:9a3c:11ff:fe00:1", nullptr,
         "v6plus 106.72.63.108 PSID 212, 240: 7488-7503 11584-11599 .. 64832-64847"},
        {"2400:4050:1234:5600::8", nullptr,
         "ocn 153.240.72.209 PSID 22, 1008: 1376-1391 2400-2415 .. 64864-64879"},
        {"2001:db8:12:3400::1", &kRfcRule,
         "v6plus 192.0.2.18 PSID 52, 252: 1232-1235 2256-2259 .. 64720-64723"},
        {"240b:e::1", nullptr, "none"},  // beside v6plus's 240b:10::/31
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Described(LineOf(c.address, c.rule)), c.line) << c.address;
    }
}

TEST(Line, LongestMatchingPrefixWinsInEitherOrder) {
    const line::MapRule wide{0x20010db800000000u, 32, 0x0a000000u, 8, 24, 0, 0};
    const line::MapRule inside{0x20010db812000000u, 40, 0xc0000200u, 24, 16, 8, 6};
    for (const std::vector<line::MapRule>& rules : {std::vector{wide, inside}, {inside, wide}}) {
        platform::Ipv6Address a;
        ASSERT_TRUE(net::ParseIPv6("2001:db8:1234:5600::1", &a));
        EXPECT_EQ(line::LongestRule(rules, a.bytes)->ipv6Length, 40);
        ASSERT_TRUE(net::ParseIPv6("2001:db8:ff00::1", &a));
        EXPECT_EQ(line::LongestRule(rules, a.bytes)->ipv6Length, 32);
    }
}

TEST(Line, PortsAtTheEdgesOfTheBlocks) {
    const struct {
        unsigned psid, psidLength, offset;
        std::vector<long> usable, unusable;
    } cases[] = {
        {212, 8, 4, {7488, 7503, 64847}, {7487, 7504, 8080}},  // v6plus PSID 212
        {255, 8, 4, {8191, 65535}, {4095}},                    // block 0 (4080-4095) is nobody's
        {0, 8, 4, {4096, 4111}, {4112, 0, 65536, -4096}},      // the first block begins at 2^(16-a)
        {0, 6, 6, {1024}, {1023}},
    };
    for (const auto& c : cases) {
        const line::PortSet set(static_cast<std::uint16_t>(c.psid), c.psidLength, c.offset);
        for (const long p : c.usable) {
            EXPECT_TRUE(set.Contains(p)) << "PSID " << c.psid << " port " << p;
        }
        for (const long p : c.unusable) {
            EXPECT_FALSE(set.Contains(p)) << "PSID " << c.psid << " port " << p;
        }
    }
}

TEST(Line, UnusablePortNamesTheNearestUsableBlocks) {
    const line::Line v6plus = *LineOf("240b:10:3f6c:d400::1");
    using R = std::optional<PortRange>;
    for (const auto& [port, below, above] :
         {std::tuple<long, R, R>{8080, PortRange{7488, 7503}, PortRange{11584, 11599}},
          {80, std::nullopt, PortRange{7488, 7503}},
          {65000, PortRange{64832, 64847}, std::nullopt}}) {
        const std::optional<line::UnusablePort> u = line::Unusable(v6plus, port);
        ASSERT_TRUE(u.has_value()) << port;
        EXPECT_EQ(u->below, below) << port;
        EXPECT_EQ(u->above, above) << port;
    }
    EXPECT_FALSE(line::Unusable(v6plus, 7488));
}

// The router's outside address confirms the set, names DS-Lite, or tells a
// fixed-address plan, where every port works.
TEST(Line, OutsideAddressDecidesWhatIsClaimed) {
    const std::optional<line::Line> v6plus = LineOf("240b:10:3f6c:d400::1");
    const std::optional<line::Line> none;
    using V = line::Verdict;
    struct Case {
        const std::optional<line::Line>& mapE;
        const char* outside;
        bool globalIpv6;
        V verdict;
    };
    const Case cases[] = {
        {v6plus, "106.72.63.108", true, V::kMapE},
        {v6plus, " 106.72.63.108\r\n", true, V::kMapE},
        {v6plus, "106.72.63.109", true, V::kFixedAddress},
        {none, "106.72.63.108", true, V::kUnknown},
        {none, "192.0.0.2", false, V::kDsLite},
        {none, "192.0.0.7", true, V::kDsLite},
        {none, "", true, V::kDsLite},
        {none, "", false, V::kUnknown},
        {none, "192.0.0.1", true, V::kUnknown},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(line::Judge(c.mapE, c.outside, c.globalIpv6), c.verdict)
            << (c.mapE ? "MAP-E " : "") << "'" << c.outside << "'";
    }
}
