// Discovery on the LAN host of a lab, with the real default targets: the SSDP
// group and the namespace's default gateway, which is the lab's router.
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "LabEnv.h"
#include "platform/Socket.h"
#include "support/ScriptedHttpServer.h"
#include "upnp/RouterDevice.h"

namespace {

std::uint32_t Ip(const std::string& text) {
    std::uint32_t a = 0;
    EXPECT_TRUE(platform::ParseIPv4(text, &a)) << text;
    return a;
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

const std::string kRequest(
    "M-SEARCH * HTTP/1.1\r\n"
    "HOST: 239.255.255.250:1900\r\n"
    "MAN: \"ssdp:discover\"\r\n"
    "MX: 3\r\n"
    "ST: urn:schemas-upnp-org:service:WANIPConnection:1\r\n"
    "\r\n\0",
    133);

// One "got ..." line of the responder.
struct Seen {
    std::string dst;
    std::string src;
    std::string hex;
};

std::vector<Seen> Received(const std::string& output) {
    std::vector<Seen> seen;
    std::istringstream in(output);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("got ", 0) != 0) {
            continue;
        }
        Seen s;
        std::istringstream fields(line.substr(4));
        std::string field;
        while (fields >> field) {
            if (field.rfind("dst=", 0) == 0) {
                s.dst = field.substr(4);
            } else if (field.rfind("src=", 0) == 0) {
                s.src = field.substr(4);
            } else if (field.rfind("hex=", 0) == 0) {
                s.hex = field.substr(4);
            }
        }
        seen.push_back(s);
    }
    return seen;
}

std::string ResponderScript() {
    return lab::CurrentLab()->scripts + "/../tests/lab/responders/ssdp_responder.py";
}

// Where the responders' router serves a gateway's description, at every path.
constexpr int kDescriptionPort = 49999;

std::string DescriptionBase() {
    return "http://" + lab::CurrentLab()->routerIp + ":" + std::to_string(kDescriptionPort);
}

// A responder on the router answering the first datagram with `answers`
// (backslash escapes as in Python); with `describe`, it serves the
// description too (one responder per router may).
bool StartResponder(lab::RouterProcess& process, const std::vector<std::string>& answers,
                    int delayMs = 0, bool describe = true) {
    // The system's interpreter starts in a tenth of the time a version
    // manager's shim takes.
    const std::string python =
        access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
    std::vector<std::string> argv = {python, ResponderScript(), lab::CurrentLab()->routerIp,
                                     "--delay-ms", std::to_string(delayMs)};
    if (describe) {
        argv.push_back("--describe-port");
        argv.push_back(std::to_string(kDescriptionPort));
    }
    for (const auto& a : answers) {
        argv.push_back("--answer");
        argv.push_back(a);
    }
    return process.Start(argv) && process.WaitForOutput("ready", 5000);
}

std::string Answer(const std::string& locationLine) {
    return "HTTP/1.1 200 OK\\r\\nCACHE-CONTROL: max-age=120\\r\\n"
           "ST: urn:schemas-upnp-org:service:WANIPConnection:1\\r\\n" +
           locationLine;
}

}  // namespace

// --- against miniupnpd -------------------------------------------------------

TEST(LabAny_Discovery, FindsTheLabRouterWithTheDefaultTargets) {
    PONTARO_REQUIRE_LAB_DAEMON();
    const lab::LabEnv& env = *lab::CurrentLab();
    CRouterDevice device;
    IpAddress addr;
    std::string loc;
    ASSERT_EQ(device.Discover(addr, loc, DiscoveryTargets()), 0);
    const std::string expected =
        "http://" + env.routerIp + ":" + std::to_string(env.httpPort) + "/rootDesc.xml";
    EXPECT_EQ(loc, expected);
    EXPECT_EQ(addr.ToText(), env.routerIp);
    EXPECT_EQ(device.location, expected);
    EXPECT_EQ(device.address.ToText(), env.routerIp);
    EXPECT_EQ(device.GetLocalAddress().ToText(), env.hostIp);
}

TEST(LabAny_Discovery, LocalAddressIsTheOneOnTheRoutersNetwork) {
    PONTARO_REQUIRE_LAB_DAEMON();
    const lab::LabEnv& env = *lab::CurrentLab();
    // A second network on this host: a veth pair with 10.99.0.2/24 on one end.
    const lab::CommandResult added = lab::RunHere(
        "ip link add side0 type veth peer name side1 && ip addr add 10.99.0.2/24 dev side0 && "
        "ip link set side0 up && ip link set side1 up");
    ASSERT_EQ(added.exitCode, 0) << added.output;

    CRouterDevice device;
    IpAddress addr;
    std::string loc;
    EXPECT_EQ(device.Discover(addr, loc, DiscoveryTargets()), 0);
    EXPECT_EQ(device.GetLocalAddress().ToText(), env.hostIp);

    // The choice follows the route to the record's address, not the order of
    // the interfaces or the resolver.
    CRouterDevice other;
    other.address = IpAddress(Ip("10.99.0.1"));
    EXPECT_EQ(other.GetLocalAddress().ToText(), "10.99.0.2");

    lab::RunHere("ip link del side0");
}

// --- against scripted responders on the router ---------------------------------

TEST(Bare_Discovery, SearchGoesToTheGroupAndTheGatewayFromPort1900) {
    PONTARO_REQUIRE_LAB();
    const lab::LabEnv& env = *lab::CurrentLab();
    lab::RouterProcess responder;
    ASSERT_TRUE(StartResponder(responder, {})) << responder.Output();

    CRouterDevice device;
    IpAddress addr;
    std::string loc;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(device.Discover(addr, loc, DiscoveryTargets()), -1);  // the responder stays silent
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    EXPECT_GE(ms, 2990);
    EXPECT_LT(ms, 6000);
    EXPECT_EQ(device.LastFailure().step, FailureReason::Step::kNoAnswer);

    // The first search goes to the multicast group, then to every default
    // gateway; the further ones, once the first has stayed unanswered for a
    // while, to the gateways only. The round starts again each second while
    // nobody answers.
    std::vector<std::pair<std::string, std::string>> expected = {{kRequest, "239.255.255.250"},
                                                                 {kRequest, env.routerIp}};
    for (const char* st : {"urn:schemas-upnp-org:device:InternetGatewayDevice:1",
                           "urn:schemas-upnp-org:device:InternetGatewayDevice:2"}) {
        expected.emplace_back(
            "M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\n"
            "MAN: \"ssdp:discover\"\r\nMX: 3\r\nST: " +
                std::string(st) + "\r\n\r\n",
            env.routerIp);
    }
    const auto burst = expected;
    for (unsigned sent = DiscoveryTargets().resendMs; sent < 3000;
         sent += DiscoveryTargets().resendMs) {
        expected.insert(expected.end(), burst.begin(), burst.end());
    }
    const std::vector<Seen> seen = Received(responder.Output());
    ASSERT_EQ(seen.size(), expected.size()) << responder.Output();
    for (std::size_t i = 0; i < seen.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(seen[i].dst, expected[i].second);
        EXPECT_EQ(seen[i].src, env.hostIp + ":1900");
        EXPECT_EQ(seen[i].hex, Hex(expected[i].first));
    }
}

TEST(Bare_Discovery, HeldPort1900FallsBackToAnEphemeralPort) {
    PONTARO_REQUIRE_LAB();
    const lab::LabEnv& env = *lab::CurrentLab();
    const platform::SocketHandle holder = platform::OpenUdpSocket();
    ASSERT_EQ(platform::BindUdp(holder, 0, 1900), 0);
    lab::RouterProcess responder;
    ASSERT_TRUE(StartResponder(responder,
                               {Answer("LOCATION: " + DescriptionBase() + "/d.xml\\r\\n\\r\\n")}))
        << responder.Output();

    CRouterDevice device;
    IpAddress addr;
    std::string loc;
    EXPECT_EQ(device.Discover(addr, loc, DiscoveryTargets()), 0);
    EXPECT_EQ(loc, DescriptionBase() + "/d.xml");
    EXPECT_EQ(addr.ToText(), env.routerIp);
    const std::vector<Seen> seen = Received(responder.Output());
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen[0].src.rfind(env.hostIp + ":", 0), 0u);
    EXPECT_NE(seen[0].src, env.hostIp + ":1900");
    platform::CloseSocket(holder);
}

TEST(Bare_Discovery, AnswersOverMulticastAreReadLeniently) {
    PONTARO_REQUIRE_LAB();
    const lab::LabEnv& env = *lab::CurrentLab();
    const std::string url = DescriptionBase() + "/rootDesc.xml";
    struct Case {
        const char* what;
        std::vector<std::string> answers;
    };
    const std::vector<Case> cases = {
        {"correct", {Answer("Location: " + url + "\\r\\n\\r\\n")}},
        {"capitals", {Answer("LOCATION: " + url + "\\r\\n\\r\\n")}},
        {"no space after the colon", {Answer("Location:" + url + "\\r\\n\\r\\n")}},
        {"spaces and tabs before the URL", {Answer("Location:  \\t " + url + "\\r\\n\\r\\n")}},
        {"no CR LF at the end", {Answer("Location: " + url)}},
        {"empty location, then a good answer",
         {Answer("Location: \\r\\n\\r\\n"), Answer("Location: " + url + "\\r\\n\\r\\n")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        lab::RouterProcess responder;
        ASSERT_TRUE(StartResponder(responder, c.answers)) << responder.Output();
        CRouterDevice device;
        IpAddress addr;
        std::string loc;
        EXPECT_EQ(device.Discover(addr, loc, DiscoveryTargets()), 0) << responder.Output();
        EXPECT_EQ(loc, url);
        EXPECT_EQ(addr.ToText(), env.routerIp);
    }
}

TEST(Bare_Discovery, TwoRoutersTheQuickerWins) {
    PONTARO_REQUIRE_LAB();
    for (const bool firstIsQuick : {true, false}) {
        SCOPED_TRACE(firstIsQuick ? "first quick" : "second quick");
        lab::RouterProcess first;
        lab::RouterProcess second;
        ASSERT_TRUE(StartResponder(
            first, {Answer("LOCATION: " + DescriptionBase() + "/first.xml\\r\\n\\r\\n")},
            firstIsQuick ? 0 : 500));
        ASSERT_TRUE(StartResponder(
            second, {Answer("LOCATION: " + DescriptionBase() + "/second.xml\\r\\n\\r\\n")},
            firstIsQuick ? 500 : 0, false));
        CRouterDevice device;
        IpAddress addr;
        std::string loc;
        EXPECT_EQ(device.Discover(addr, loc, DiscoveryTargets()), 0);
        EXPECT_EQ(loc, firstIsQuick ? DescriptionBase() + "/first.xml"
                                    : DescriptionBase() + "/second.xml");
    }
}
