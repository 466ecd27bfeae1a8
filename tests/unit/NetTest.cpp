#include <gtest/gtest.h>

#include <cstring>

#include "net/IpAddress.h"
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
