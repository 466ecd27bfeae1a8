#include <gtest/gtest.h>

#include <cstring>

#include "net/IpAddress.h"
#include "net/Ipv6Text.h"
#include "net/StableIpv6.h"
#include "net/StartWinsock.h"
#include "platform/Gateways.h"
#include "platform/Socket.h"

TEST(IpAddress, HeldInNetworkOrderAndPrintedDotted) {
    std::uint32_t v = 0;
    ASSERT_TRUE(platform::ParseIPv4("192.168.0.1", &v));
    const IpAddress a(v);
    unsigned char bytes[4];
    const std::uint32_t held = a.Value();
    std::memcpy(bytes, &held, 4);
    EXPECT_EQ(bytes[0], 0xC0);
    EXPECT_EQ(bytes[1], 0xA8);
    EXPECT_EQ(bytes[2], 0x00);
    EXPECT_EQ(bytes[3], 0x01);
    EXPECT_EQ(a.ToText(), "192.168.0.1");

    IpAddress b;
    const unsigned char tenDotSeventySeven[4] = {10, 77, 0, 2};
    std::memcpy(&v, tenDotSeventySeven, 4);
    b.Set(v);
    EXPECT_EQ(b.ToText(), "10.77.0.2");
    EXPECT_EQ(IpAddress(0).ToText(), "0.0.0.0");
    EXPECT_EQ(IpAddress(0xFFFFFFFFu).ToText(), "255.255.255.255");
}

TEST(IpAddress, ParsingRejectsWhatIsNotAnAddress) {
    std::uint32_t v = 7;
    EXPECT_FALSE(platform::ParseIPv4("", &v));
    EXPECT_FALSE(platform::ParseIPv4("router.local", &v));
    EXPECT_FALSE(platform::ParseIPv4("1.2.3.4.5", &v));
    EXPECT_FALSE(platform::ParseIPv4("256.1.1.1", &v));
    EXPECT_EQ(v, 7u);
}

TEST(StartWinsock, SecondCallSucceedsToo) {
    EXPECT_EQ(StartWinsock(), 0);
    EXPECT_EQ(StartWinsock(), 0);
    // Started means usable: a socket can be had.
    const platform::SocketHandle s = platform::OpenUdpSocket();
    EXPECT_NE(s, platform::kInvalidSocket);
    platform::CloseSocket(s);
}

namespace {
const char kRouteHeader[] =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

std::string Gw(const std::vector<std::uint32_t>& list, std::size_t i) {
    return i < list.size() ? platform::FormatIPv4(list[i]) : "(none)";
}
}  // namespace

TEST(ProcNetRoute, FirstDefaultGatewayOfEachInterfaceInTableOrder) {
    const std::string table = std::string(kRouteHeader) +
                              // default via 10.77.0.1 on eth0, then a second default on eth0
                              "eth0\t00000000\t01004D0A\t0003\t0\t0\t0\t00000000\t0\t0\t0\n"
                              "eth0\t00000000\t FE004D0A\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
                              // on-link network route: no gateway
                              "eth0\t00004D0A\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
                              // a route to a network via a gateway is not a default route
                              "wlan0\t0000A8C0\t0101A8C0\t0003\t0\t0\t0\t0000FFFF\t0\t0\t0\n"
                              // default via 192.168.1.1 on wlan0
                              "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n";
    const auto gws = platform::ParseProcNetRoute(table, 10);
    ASSERT_EQ(gws.size(), 2u);
    EXPECT_EQ(Gw(gws, 0), "10.77.0.1");
    EXPECT_EQ(Gw(gws, 1), "192.168.1.1");

    const auto one = platform::ParseProcNetRoute(table, 1);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(Gw(one, 0), "10.77.0.1");
}

TEST(ProcNetRoute, NoDefaultRouteOrJunkGivesNothing) {
    const std::string onlyLinks = std::string(kRouteHeader) +
                                  "eth0\t00004D0A\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
                                  // a default route that is down
                                  "eth1\t00000000\t01004D0A\t0002\t0\t0\t0\t00000000\t0\t0\t0\n";
    EXPECT_TRUE(platform::ParseProcNetRoute(onlyLinks, 10).empty());
    EXPECT_TRUE(platform::ParseProcNetRoute("", 10).empty());
    EXPECT_TRUE(platform::ParseProcNetRoute(kRouteHeader, 10).empty());
    // The header line is never taken for a route, and a line cut short is skipped.
    EXPECT_TRUE(platform::ParseProcNetRoute("eth0\t00000000\t01004D0A\t0003\t0\t0\t0\t00000000\n"
                                            "eth0\t00000000\t01004D0A\t0003\n",
                                            10)
                    .empty());
    // No final line end.
    const auto last = platform::ParseProcNetRoute(
        std::string(kRouteHeader) + "eth0\t00000000\t01004D0A\t0003\t0\t0\t0\t00000000", 10);
    ASSERT_EQ(last.size(), 1u);
    EXPECT_EQ(Gw(last, 0), "10.77.0.1");
}

// IPv6 text as routers and systems write it, and the one form written back.
TEST(Ipv6Text, ParsesEveryFormAndWritesTheCanonicalOne) {
    const struct {
        const char* text;
        const char* canonical;  // nullptr: refused
        std::uint32_t scope;
    } cases[] = {
        {"2001:DB8:1::2", "2001:db8:1::2", 0},
        {"2001:db8:0:0:1:0:0:1", "2001:db8::1:0:0:1", 0},     // the first of equal runs
        {"2001:db8:0:1:1:1:1:1", "2001:db8:0:1:1:1:1:1", 0},  // one zero group stays
        {"::", "::", 0},
        {"::1", "::1", 0},
        {"fe80::1%3", "fe80::1", 3},
        {"::ffff:192.0.2.1", "::ffff:c000:201", 0},
        {"2001:db8::1:2:3:4:5:6", nullptr, 0},  // "::" stands for at least one group
        {"1:2:3:4:5:6:7::", "1:2:3:4:5:6:7:0", 0},
        {"2001:db8::1::2", nullptr, 0},
        {"2001:db8:1", nullptr, 0},
        {"12345::1", nullptr, 0},
        {"fe80::1%eth0", nullptr, 0},
        {"fe80::1%", nullptr, 0},
        {"::ffff:192.0.2.01", nullptr, 0},
        {"::ffff:256.0.2.1", nullptr, 0},
        {"[::1]", nullptr, 0},
        {"", nullptr, 0},
    };
    for (const auto& c : cases) {
        platform::Ipv6Address a;
        a.scopeId = 77;
        const bool parsed = net::ParseIPv6(c.text, &a);
        EXPECT_EQ(parsed, c.canonical != nullptr) << c.text;
        if (parsed && c.canonical != nullptr) {
            EXPECT_EQ(net::FormatIPv6(a), c.canonical) << c.text;
            EXPECT_EQ(a.scopeId, c.scope) << c.text;
        } else if (!parsed) {
            EXPECT_EQ(a.scopeId, 77u) << c.text << ": left unchanged";
        }
    }
}

// /proc/net/if_inet6 of a host with a stable, a privacy, a tentative, a
// deprecated (a prefix the provider took back), a link-local and a ULA
// address: the pinholes' address is the stable global one.
TEST(StableIpv6, PicksTheStableGlobalAddressOfTheRoutersInterface) {
    const std::string table =
        "fe80000000000000021122fffe334455 02 40 20 80     eth0\n"
        "fd000000000000000000000000000002 02 40 00 80     eth0\n"
        "20010db8000100001234123412341234 02 40 00 01     eth0\n"   // temporary
        "20010db8000100000000000000000009 02 40 00 c0     eth0\n"   // tentative
        "20010db8000200000211223344556677 02 40 00 20     eth0\n"   // deprecated
        "20010db8000100000211223344556677 02 40 00 100     eth0\n"  // mngtmpaddr: stable
        "20010db8000900000000000000000001 03 40 00 80     wlan0\n"
        "00000000000000000000000000000001 01 80 10 80       lo\n"
        "garbage\n";
    const std::vector<platform::LocalIpv6> all = platform::ParseProcNetIfInet6(table);
    ASSERT_EQ(all.size(), 8u);
    EXPECT_EQ(all[0].address.scopeId, 2u);  // link-local: scoped to its interface
    EXPECT_EQ(all[6].address.scopeId, 0u);

    const auto eth0 = net::FirstStableGlobal(all);
    ASSERT_TRUE(eth0.has_value());
    EXPECT_EQ(net::FormatIPv6(eth0->address), "2001:db8:1:0:211:2233:4455:6677");
    EXPECT_EQ(net::FormatIPv6(net::FirstStableGlobal({all[6], all[7]})->address), "2001:db8:9::1");
    EXPECT_FALSE(net::FirstStableGlobal({all[4], all[7]}).has_value());  // deprecated, loopback
    // The router's interface first; another adapter's address (a VPN) only
    // when that adapter reaches a gateway too.
    EXPECT_EQ(net::FormatIPv6(net::FirstStableGlobal(net::OnInterfaces(all, {3, 2}))->address),
              "2001:db8:9::1");
    EXPECT_EQ(net::OnInterfaces(all, {2}).size(), 6u);
    EXPECT_TRUE(net::OnInterfaces(all, {9}).empty());
    // Only a privacy and a tentative address: none.
    EXPECT_FALSE(net::FirstStableGlobal(
        platform::ParseProcNetIfInet6("20010db8000100001234123412341234 02 40 00 01 eth0\n"
                                      "20010db8000100000000000000000009 02 40 00 c0 eth0\n")));
}
