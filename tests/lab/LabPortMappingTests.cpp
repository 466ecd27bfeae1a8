// AddPortMapping against miniupnpd on the lab's router: the rules must show up
// in the router's nftables ruleset, and their texts must arrive intact.
#include "LabEnv.h"

#include "upnp/RouterDevice.h"

namespace {

// Finds the lab's gateway the way a run does.
bool DiscoverLabGateway(CRouterDevice& device) {
    IpAddress address;
    std::string location;
    if (device.Discover(address, location, DiscoveryTargets()) != 0) {
        return false;
    }
    return true;
}

// The lab's other tests count the router's forwards: take ours away again.
void RemoveMapping(int externalPort, const char* protocol) {
    lab::RunHere("upnpc -d " + std::to_string(externalPort) + " " + protocol + " 2>&1");
}

}  // namespace

TEST(LabAny_PortMapping, TcpAndUdpRulesBecomeForwardsToThisHost) {
    PONTARO_REQUIRE_LAB_DAEMON();
    const lab::LabEnv& env = *lab::CurrentLab();
    CRouterDevice device;
    ASSERT_TRUE(DiscoverLabGateway(device));
    EXPECT_EQ(device.address.ToText(), env.routerIp);
    EXPECT_EQ(device.GetLocalAddress().ToText(), env.hostIp);

    ASSERT_EQ(device.AddPortMapping(24080, 8080, "TCP", "lab tcp"), 0)
        << device.LastFailure().detail << " status " << device.LastFailure().httpStatus << " "
        << device.LastFailure().upnpErrorCode;
    ASSERT_EQ(device.AddPortMapping(24000, 5000, "UDP", "lab udp"), 0)
        << device.LastFailure().detail << " status " << device.LastFailure().httpStatus << " "
        << device.LastFailure().upnpErrorCode;

    EXPECT_TRUE(lab::RouterHasMapping("TCP", 24080, env.hostIp, 8080));
    EXPECT_TRUE(lab::RouterHasMapping("UDP", 24000, env.hostIp, 5000));
    EXPECT_FALSE(lab::RouterHasMapping("UDP", 24080, env.hostIp, 8080));
    RemoveMapping(24080, "TCP");
    RemoveMapping(24000, "UDP");
}

TEST(LabAny_PortMapping, JapaneseDescriptionArrivesIntact) {
    PONTARO_REQUIRE_LAB_DAEMON();
    CRouterDevice device;
    ASSERT_TRUE(DiscoverLabGateway(device));
    const std::string description = "HTTP接続の通過";
    ASSERT_EQ(device.AddPortMapping(24081, 80, "TCP", description), 0)
        << device.LastFailure().detail;

    const lab::CommandResult listed = lab::RunHere("upnpc -l 2>&1");
    ASSERT_EQ(listed.exitCode, 0) << listed.output;
    EXPECT_NE(listed.output.find(description), std::string::npos) << listed.output;
    RemoveMapping(24081, "TCP");
}
