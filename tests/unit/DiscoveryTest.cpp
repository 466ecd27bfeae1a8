// Discovery against scripted responders on loopback. The search goes only to
// the responders' loopback addresses: no multicast copy, no default gateways.
// The locations they answer with lead to a loopback server that describes a
// gateway at every path but those under /missing.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "platform/Socket.h"
#include "support/LoopbackListener.h"
#include "support/ScriptedHttpServer.h"
#include "upnp/RouterDevice.h"
#include "upnp/SsdpAnswer.h"
#include "upnp/SsdpSearch.h"

namespace {

const std::string kRequest(
    "M-SEARCH * HTTP/1.1\r\n"
    "HOST: 239.255.255.250:1900\r\n"
    "MAN: \"ssdp:discover\"\r\n"
    "MX: 3\r\n"
    "ST: urn:schemas-upnp-org:service:WANIPConnection:1\r\n"
    "\r\n",
    132);

std::uint32_t Ip(const char* text) {
    std::uint32_t a = 0;
    EXPECT_TRUE(platform::ParseIPv4(text, &a)) << text;
    return a;
}

ScriptedHttpServer& DescriptionServer() {
    static ScriptedHttpServer server([](const std::string& request) {
        const std::string body =
            "<?xml version=\"1.0\"?><root xmlns=\"urn:schemas-upnp-org:device-1-0\"><device>"
            "<serviceList><service><serviceType>urn:schemas-upnp-org:service:WANIPConnection:1"
            "</serviceType><serviceId>urn:upnp-org:serviceId:WANIPConn1</serviceId>"
            "<controlURL>/ctl/IPConn</controlURL></service></serviceList></device></root>";
        ScriptedHttpServer::Reply reply;
        reply.pieces.push_back(request.rfind("GET /missing", 0) == 0
                                   ? HttpReply("HTTP/1.0 404 Not Found", {"Content-Length: 0"}, "")
                                   : HttpReply("HTTP/1.0 200 OK",
                                               {"Content-Length: " + std::to_string(body.size())},
                                               body));
        return reply;
    });
    return server;
}

// http://127.0.0.1:PORT of the description server.
std::string Base() {
    return DescriptionServer().Url("");
}

std::string Answer(const std::string& locationLine) {
    return "HTTP/1.1 200 OK\r\n"
           "CACHE-CONTROL: max-age=120\r\n"
           "ST: urn:schemas-upnp-org:service:WANIPConnection:1\r\n"
           "USN: uuid:3d3cec3a-8cf0-11e0-98ee-001a6bd2d07b::urn:schemas-upnp-org:service:"
           "WANIPConnection:1\r\n"
           "EXT:\r\n"
           "SERVER: Debian/12 UPnP/1.1 MiniUPnPd/2.3.1\r\n" +
           locationLine;
}

// A UDP socket on a loopback address that waits for one search request,
// keeps it, and answers the sender with the given datagrams.
class Responder {
public:
    explicit Responder(const char* bindAddress = "127.0.0.1", std::uint16_t port = 0)
        : s_(platform::OpenUdpSocket()) {
        EXPECT_NE(s_, platform::kInvalidSocket);
        EXPECT_EQ(platform::BindUdp(s_, Ip(bindAddress), port), 0) << bindAddress << ":" << port;
        port_ = loopback::LocalPort(s_);
    }
    ~Responder() {
        if (thread_.joinable()) {
            thread_.join();
        }
        platform::CloseSocket(s_);
    }

    std::uint16_t Port() const { return port_; }

    // Waits for `requests` search datagrams (keeping them), then answers the
    // sender of the first with `answers` after `delayMs`. Gives up when
    // nothing comes for five seconds.
    void AnswerWith(std::vector<std::string> answers, unsigned delayMs = 0, int requests = 1) {
        thread_ = std::thread([this, answers = std::move(answers), delayMs, requests] {
            std::uint32_t from = 0;
            std::uint16_t fromPort = 0;
            for (int i = 0; i < requests; ++i) {
                if (platform::WaitReadable(s_, 5000) != 1) {
                    return;
                }
                char buffer[2048];
                const long n =
                    platform::ReceiveDatagram(s_, buffer, sizeof buffer, i == 0 ? &from : nullptr,
                                              i == 0 ? &fromPort : nullptr);
                if (n < 0) {
                    return;
                }
                requests_.emplace_back(buffer, static_cast<std::size_t>(n));
                fromPort_.store(fromPort);
            }
            platform::SleepMs(delayMs);
            for (const auto& a : answers) {
                platform::SendDatagram(s_, a.data(), a.size(), from, fromPort);
            }
        });
    }

    // Valid after the thread has ended (Join).
    void Join() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    const std::string& Request() const {
        static const std::string none;
        return requests_.empty() ? none : requests_.front();
    }
    const std::vector<std::string>& Requests() const { return requests_; }
    // After Join: keeps the requests that came after the answer, waiting
    // up to `ms` for each.
    void KeepLaterRequests(int ms) {
        char buffer[2048];
        while (platform::WaitReadable(s_, ms) == 1) {
            const long n = platform::ReceiveDatagram(s_, buffer, sizeof buffer, nullptr, nullptr);
            if (n < 0) {
                return;
            }
            requests_.emplace_back(buffer, static_cast<std::size_t>(n));
        }
    }
    std::uint16_t RequestSourcePort() const { return fromPort_.load(); }

private:
    platform::SocketHandle s_;
    std::uint16_t port_ = 0;
    std::thread thread_;
    std::vector<std::string> requests_;
    std::atomic<std::uint16_t> fromPort_{0};
};

DiscoveryTargets LoopbackTargets(std::vector<std::uint32_t> to, std::uint16_t port,
                                 unsigned listenMs = 3000) {
    DiscoveryTargets t;
    t.useMulticast = false;
    t.useDefaultGateways = false;
    t.extraTargets = std::move(to);
    t.port = port;
    t.bindPort = 0;
    t.listenMs = listenMs;
    // The IPv6 search would look for this machine's stable address among
    // the host's own (PortSessionTest's scripted gateway serves it on ::1).
    t.searchIpv6 = false;
    return t;
}

struct Outcome {
    int result;
    IpAddress addr;
    std::string loc;
    CRouterDevice device;
};

// Listens `listenMs`: an answer that leads to a gateway ends it sooner.
Outcome DiscoverWith(const std::vector<std::string>& answers, unsigned listenMs = 1500) {
    Responder responder;
    responder.AnswerWith(answers);
    Outcome o;
    o.result = o.device.Discover(o.addr, o.loc,
                                 LoopbackTargets({Ip("127.0.0.1")}, responder.Port(), listenMs));
    return o;
}

}  // namespace

TEST(DiscoveryRequest, DefaultTargetsAreTheSsdpGroupOnPort1900ForThreeSeconds) {
    const DiscoveryTargets t;
    EXPECT_EQ(platform::FormatIPv4(t.multicastAddress), "239.255.255.250");
    EXPECT_TRUE(t.useMulticast);
    EXPECT_TRUE(t.useDefaultGateways);
    EXPECT_EQ(t.port, 1900);
    EXPECT_EQ(t.bindPort, 1900);
    EXPECT_EQ(t.listenMs, 3000u);
    EXPECT_EQ(t.resendMs, 1000u);
    EXPECT_EQ(t.furtherSearchDelayMs, 100u);
    EXPECT_TRUE(t.extraTargets.empty());
}

TEST(DiscoveryRequest, IsThe133ByteSearchWithItsZeroByteAndComesFromTheBoundPort) {
    // A free port for the search to bind, where no other test's socket can
    // be given it between the probe and the search.
    std::uint16_t freePort = 0;
    for (int tries = 0; tries < 20 && freePort == 0; ++tries) {
        const std::uint16_t port = loopback::PortBelowEphemeral();
        const platform::SocketHandle probe = platform::OpenUdpSocket();
        if (platform::BindUdp(probe, 0, port) == 0) {
            freePort = port;
        }
        platform::CloseSocket(probe);
    }
    ASSERT_NE(freePort, 0);

    Responder responder;
    responder.AnswerWith({Answer("Location: " + Base() + "/rootDesc.xml\r\n\r\n")});
    DiscoveryTargets t = LoopbackTargets({Ip("127.0.0.1")}, responder.Port());
    t.bindPort = freePort;
    CRouterDevice device;
    IpAddress addr;
    std::string loc;
    ASSERT_EQ(device.Discover(addr, loc, t), 0);
    responder.Join();

    ASSERT_EQ(responder.Request().size(), 133u);
    EXPECT_EQ(responder.Request(), kRequest + std::string(1, '\0'));
    EXPECT_EQ(responder.RequestSourcePort(), freePort);
    EXPECT_EQ(upnp::kSsdpSearchRequestSize, 133u);
}

TEST(DiscoveryRequest, TheFirstSearchGoesEverywhereTheFurtherOnesToTheGateways) {
    // 127.0.0.2 stands for the multicast group, 127.0.0.1 for the gateway.
    // The gateway answers once it has the whole burst; what the group got
    // by then is read afterwards.
    const std::string first = kRequest + std::string(1, '\0');
    std::vector<std::string> further;
    for (const char* st : {"urn:schemas-upnp-org:device:InternetGatewayDevice:1",
                           "urn:schemas-upnp-org:device:InternetGatewayDevice:2"}) {
        std::string request = kRequest;
        request.replace(request.find("urn:"), request.find("\r\n\r\n") - request.find("urn:"), st);
        further.push_back(request);
    }
    struct Case {
        const char* name;
        bool gatewayKnown;
        int answerAfter;  // requests the gateway waits for before it answers
        std::vector<std::string> toGateway;
        std::vector<std::string> toGroup;
    };
    const std::vector<Case> cases = {
        {"a gateway that answers the first search is asked nothing more",
         true,
         1,
         {first},
         {first}},
        {"a gateway that answers only further searches",
         true,
         3,
         {first, further[0], further[1]},
         {first}},
        {"without a gateway", false, 0, {}, {first, further[0], further[1]}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Responder gateway;
        const platform::SocketHandle group = platform::OpenUdpSocket();
        if (platform::BindUdp(group, Ip("127.0.0.2"), gateway.Port()) != 0) {
            platform::CloseSocket(group);
            GTEST_SKIP() << "no second loopback address here (Wine)";
        }
        // The further searches late enough for a gateway's answer and its
        // description to come first even on a busy machine.
        DiscoveryTargets t = LoopbackTargets({}, gateway.Port(), 500);
        t.furtherSearchDelayMs = 250;
        t.resendMs = 0;
        t.useMulticast = true;
        t.multicastAddress = Ip("127.0.0.2");
        if (c.gatewayKnown) {
            t.extraTargets = {Ip("127.0.0.1")};
            gateway.AnswerWith({Answer("Location: " + Base() + "/rootDesc.xml\r\n\r\n")}, 0,
                               c.answerAfter);
        }
        CRouterDevice device;
        IpAddress addr;
        std::string loc;
        EXPECT_EQ(device.Discover(addr, loc, t), c.gatewayKnown ? 0 : -1);
        gateway.Join();
        gateway.KeepLaterRequests(static_cast<int>(t.furtherSearchDelayMs) + 100);
        EXPECT_EQ(gateway.Requests(), c.toGateway);
        std::vector<std::string> toGroup;
        char buffer[2048];
        while (toGroup.size() <= c.toGroup.size() && platform::WaitReadable(group, 0) == 1) {
            const long n =
                platform::ReceiveDatagram(group, buffer, sizeof buffer, nullptr, nullptr);
            ASSERT_GT(n, 0);
            toGroup.emplace_back(buffer, static_cast<std::size_t>(n));
        }
        EXPECT_EQ(toGroup, c.toGroup);
        platform::CloseSocket(group);
    }
}

TEST(DiscoveryRequest, IsSentAgainWhileListeningSoARouterThatMissedTheFirstAnswers) {
    // The responder stands for a router that comes up after the first
    // burst of searches: it answers only the first request of the second.
    const std::size_t burst = 1 + std::size(upnp::kSsdpFurtherSearchTargets);
    Responder late;
    late.AnswerWith({Answer("Location: http://127.0.0.1:1/rootDesc.xml\r\n\r\n")}, 0,
                    static_cast<int>(burst + 1));
    DiscoveryTargets t = LoopbackTargets({Ip("127.0.0.1")}, late.Port(), 700);
    t.resendMs = 300;
    CRouterDevice device;
    IpAddress addr;
    std::string loc;
    // The answer is heard and its description tried (nobody serves it).
    EXPECT_EQ(device.Discover(addr, loc, t), -1);
    EXPECT_EQ(device.LastFailure().step, FailureReason::Step::kNoGateway);
    EXPECT_NE(device.LastFailure().detail.find("http://127.0.0.1:1/rootDesc.xml"),
              std::string::npos);
    late.Join();
    ASSERT_GE(late.Requests().size(), burst + 1);
    EXPECT_EQ(late.Requests()[burst], kRequest + std::string(1, '\0'));
}

TEST(DiscoveryRequest, FurtherSearchesFollowEachRoundOnlyAfterTheirDelay) {
    using Due = upnp::SearchPace::Due;
    DiscoveryTargets t;  // rounds of 1000 ms, the further searches 100 ms in, 3000 ms
    upnp::SearchPace pace(t);
    struct Step {
        std::uint32_t elapsed;
        Due due;
        std::uint32_t waitMs;  // after taking it
    };
    const std::vector<Step> steps = {
        {0, Due::kNothing, 100},    {99, Due::kNothing, 1},   {100, Due::kFurther, 900},
        {100, Due::kNothing, 900},  {1000, Due::kFirst, 100}, {1099, Due::kNothing, 1},
        {1100, Due::kFurther, 900}, {2500, Due::kFirst, 0},  // a late round
        {2500, Due::kFurther, 500}, {2999, Due::kNothing, 1}, {3000, Due::kNothing, 0},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.elapsed);
        EXPECT_EQ(pace.Take(s.elapsed), s.due);
        EXPECT_EQ(pace.WaitMs(s.elapsed), s.waitMs);
    }
    EXPECT_TRUE(pace.Over(3000));
}

TEST(DiscoveryAnswer, TwoRoutersTheAnswerReadFirstWins) {
    // The responder stands for one router; a second socket, another router,
    // answers the same search from elsewhere. Which one is quicker decides.
    for (const bool responderFirst : {true, false}) {
        SCOPED_TRACE(responderFirst ? "responder first" : "other router first");
        Responder responder;
        const platform::SocketHandle other = platform::OpenUdpSocket();
        ASSERT_EQ(platform::BindUdp(other, Ip("127.0.0.1"), 0), 0);
        responder.AnswerWith({Answer("Location: " + Base() + "/responder.xml\r\n\r\n")},
                             responderFirst ? 0 : 200);
        std::thread otherRouter([&] {
            // The search's port is known once the responder has its request.
            for (int i = 0; i < 500 && responder.RequestSourcePort() == 0; ++i) {
                platform::SleepMs(2);
            }
            platform::SleepMs(responderFirst ? 200 : 0);
            const std::string a = Answer("Location: " + Base() + "/other.xml\r\n\r\n");
            platform::SendDatagram(other, a.data(), a.size(), Ip("127.0.0.1"),
                                   responder.RequestSourcePort());
        });
        CRouterDevice device;
        IpAddress addr;
        std::string loc;
        EXPECT_EQ(device.Discover(addr, loc, LoopbackTargets({Ip("127.0.0.1")}, responder.Port())),
                  0);
        otherRouter.join();
        EXPECT_EQ(loc, responderFirst ? Base() + "/responder.xml" : Base() + "/other.xml");
        EXPECT_EQ(device.location, loc);
        platform::CloseSocket(other);
    }
}

TEST(DiscoveryAnswer, CorrectAnswerFillsRecordAndOutValues) {
    const Outcome o = DiscoverWith({Answer("Location: " + Base() + "/rootDesc.xml\r\n\r\n")});
    ASSERT_EQ(o.result, 0);
    EXPECT_EQ(o.loc, Base() + "/rootDesc.xml");
    EXPECT_EQ(o.addr.ToText(), "127.0.0.1");
    EXPECT_EQ(o.device.location, o.loc);
    EXPECT_EQ(o.device.address, o.addr);
    EXPECT_EQ(o.device.LastFailure().step, FailureReason::Step::kNone);
}

TEST(DiscoveryAnswer, LocationLineIsReadLeniently) {
    struct Case {
        const char* what;
        std::string line;
    };
    const std::vector<Case> cases = {
        {"capitals", "LOCATION: " + Base() + "/rootDesc.xml\r\n\r\n"},
        {"mixed case", "location: " + Base() + "/rootDesc.xml\r\n\r\n"},
        {"no space after colon", "Location:" + Base() + "/rootDesc.xml\r\n\r\n"},
        {"spaces and tabs around the value",
         "Location: \t  " + Base() + "/rootDesc.xml \t\r\n\r\n"},
        {"last in the datagram without CR LF", "LOCATION: " + Base() + "/rootDesc.xml"},
        {"bare LF line ends", "LOCATION: " + Base() + "/rootDesc.xml\n\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome o = DiscoverWith({Answer(c.line)});
        ASSERT_EQ(o.result, 0);
        EXPECT_EQ(o.loc, Base() + "/rootDesc.xml");
        EXPECT_EQ(o.device.location, Base() + "/rootDesc.xml");
    }
}

// A router that names another host in its LOCATION or URLBase (a TP-Link
// said [::1]; any device could say 127.0.0.1): every request goes to the
// device that answered, at the port and path named, and this machine's own
// services are never contacted. 127.0.0.2 stands for the router, 127.0.0.1
// for this machine, 127.0.0.3 for another device of the network.
TEST(DiscoveryAnswer, RequestsGoToTheDeviceThatAnsweredWhateverHostTheUrlsName) {
    // Where loopback has no second address (Wine), 127.0.0.2 and 127.0.0.1
    // are one: the same port cannot be bound on both.
    Responder first("127.0.0.1");
    const platform::SocketHandle probe = platform::OpenUdpSocket();
    const bool secondAddress = platform::BindUdp(probe, Ip("127.0.0.2"), first.Port()) == 0;
    platform::CloseSocket(probe);
    if (!secondAddress) {
        GTEST_SKIP() << "no second loopback address here (Wine)";
    }
    // The router and the trap on one port, taken where no other test's
    // socket can be given it on either address.
    std::string port;
    const auto routerReply = [&port](const std::string& request) {
        const std::string body =
            request.rfind("GET", 0) == 0
                ? "<?xml version=\"1.0\"?><root><URLBase>http://127.0.0.1:" + port +
                      "/</URLBase>"
                      "<device><serviceList><service><serviceType>urn:schemas-upnp-org:service:"
                      "WANIPConnection:1</serviceType><controlURL>/ctl/IPConn</controlURL>"
                      "</service></serviceList></device></root>"
                : "<s:Envelope><s:Body><u:AddPortMappingResponse/></s:Body></s:Envelope>";
        ScriptedHttpServer::Reply reply;
        reply.pieces.push_back(
            HttpReply("HTTP/1.0 200 OK", {"Content-Length: " + std::to_string(body.size())}, body));
        return reply;
    };
    std::unique_ptr<ScriptedHttpServer> routerServer;
    std::unique_ptr<ScriptedHttpServer> trap;
    for (int tries = 0; tries < 20 && !(trap && routerServer->Listening() && trap->Listening());
         ++tries) {
        const std::uint16_t p = loopback::PortBelowEphemeral();
        port = std::to_string(p);
        routerServer = std::make_unique<ScriptedHttpServer>(routerReply, Ip("127.0.0.2"), p);
        trap = std::make_unique<ScriptedHttpServer>(
            [](const std::string&) { return ScriptedHttpServer::Reply(); }, Ip("127.0.0.1"), p);
    }
    ScriptedHttpServer& router = *routerServer;
    ScriptedHttpServer& thisMachine = *trap;
    ASSERT_TRUE(router.Listening());
    ASSERT_TRUE(thisMachine.Listening());
    for (const char* host : {"127.0.0.1", "[::1]", "localhost", "127.0.0.3"}) {
        SCOPED_TRACE(host);
        const std::size_t before = router.Requests().size();
        Responder responder("127.0.0.2");
        responder.AnswerWith({Answer(std::string("LOCATION: http://") + host + ":" + port +
                                     "/rootDesc.xml\r\n\r\n")});
        CRouterDevice device;
        IpAddress addr;
        std::string loc;
        std::string passedOver;
        device.onPassedOver = [&](const std::string&, const FailureReason& why) {
            passedOver = why.detail;
        };
        ASSERT_EQ(
            device.Discover(addr, loc, LoopbackTargets({Ip("127.0.0.2")}, responder.Port(), 1500)),
            0)
            << passedOver;
        EXPECT_EQ(addr.ToText(), "127.0.0.2");
        EXPECT_EQ(device.AddPortMapping(8080, 80, "TCP", "x"), 0);
        const std::vector<std::string> requests = router.Requests();
        std::vector<std::string> lines;
        for (std::size_t i = before; i < requests.size(); ++i) {
            lines.push_back(requests[i].substr(0, requests[i].find(" HTTP/")));
        }
        // The description read at discovery serves the mapping: one GET.
        EXPECT_EQ(lines, (std::vector<std::string>{"GET /rootDesc.xml", "POST /ctl/IPConn"}));
    }
    EXPECT_TRUE(thisMachine.Requests().empty());
}

TEST(DiscoveryAnswer, UnusableAnswersAreSkippedAndTheSearchGoesOn) {
    const std::string good = Answer("Location: " + Base() + "/good.xml\r\n\r\n");
    struct Case {
        const char* what;
        std::string bad;
    };
    const std::vector<Case> cases = {
        {"empty location", Answer("Location: \r\n\r\n")},
        {"only blanks", Answer("LOCATION: \t \r\n\r\n")},
        {"no location line", Answer("\r\n")},
        {"location after a zero byte",
         std::string("HTTP/1.1 200 OK\r\n\0", 18) + "Location: " + Base() + "/bad.xml\r\n\r\n"},
        {"location only in the status line", "Location: " + Base() + "/bad.xml\r\n\r\n"},
        {"header name merely ending in location",
         Answer("X-Location: " + Base() + "/bad.xml\r\n\r\n")},
        {"empty datagram", ""},
        // Not answers to the search, though the location leads to a gateway.
        {"an announcement",
         "NOTIFY * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nNT: upnp:rootdevice\r\n"
         "NTS: ssdp:alive\r\nLocation: " +
             Base() + "/bad.xml\r\n\r\n"},
        {"another client's search",
         "M-SEARCH * HTTP/1.1\r\nST: ssdp:all\r\nLocation: " + Base() + "/bad.xml\r\n\r\n"},
        {"an error status", "HTTP/1.1 400 Bad Request\r\nLocation: " + Base() + "/bad.xml\r\n\r\n"},
        {"a status merely starting with 200",
         "HTTP/1.1 2000 OK\r\nLocation: " + Base() + "/bad.xml\r\n\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome o = DiscoverWith({c.bad, good});
        ASSERT_EQ(o.result, 0);
        EXPECT_EQ(o.loc, Base() + "/good.xml");
    }
}

// The answer's source is read in network order: a router at .254, common in
// the field, is as much a device as one at .1.
TEST(DiscoveryAnswer, OnlyASourceADeviceCanHaveIsAsked) {
    const struct {
        const char* from;
        bool device;
    } rows[] = {
        {"192.168.1.254", true},   {"192.168.0.1", true},      {"10.0.0.138", true},
        {"223.255.255.254", true}, {"0.0.0.0", false},         {"0.1.2.3", false},
        {"224.0.0.1", false},      {"239.255.255.250", false}, {"255.255.255.255", false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(upnp::IsDeviceAddress(Ip(row.from)), row.device) << row.from;
    }
}

TEST(DiscoveryAnswer, TheFirstLocationLineDecidesEvenWhenEmpty) {
    std::string loc = "before";
    EXPECT_FALSE(upnp::FindSsdpLocation(
        "HTTP/1.1 200 OK\r\nLocation:\r\nLocation: http://x/second.xml\r\n\r\n", &loc));
    EXPECT_EQ(loc, "before");
    EXPECT_TRUE(upnp::FindSsdpLocation(
        "HTTP/1.1 200 OK\r\nLocation: http://x/first.xml\r\nLocation: http://x/second.xml\r\n",
        &loc));
    EXPECT_EQ(loc, "http://x/first.xml");
}

TEST(DiscoveryFailure, NoAnswerFailsAfterTheBudgetAndLeavesTheRecordAlone) {
    Responder silent;  // holds the port so nothing is refused, never answers
    CRouterDevice device;
    device.location = "untouched";
    IpAddress addr;
    std::string loc;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(device.Discover(addr, loc, LoopbackTargets({Ip("127.0.0.1")}, silent.Port(), 400)),
              -1);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    EXPECT_GE(ms, 390);
    EXPECT_LT(ms, 3000);
    EXPECT_EQ(device.location, "untouched");
    EXPECT_EQ(device.LastFailure().step, FailureReason::Step::kNoAnswer);
}

TEST(DiscoveryFailure, OnlyUnusableAnswersIsNoAnswer) {
    const Outcome o = DiscoverWith({Answer("Location:\r\n\r\n"), Answer("\r\n")}, 300);
    EXPECT_EQ(o.result, -1);
    EXPECT_TRUE(o.device.location.empty());
    EXPECT_EQ(o.device.LastFailure().step, FailureReason::Step::kNoAnswer);
}

TEST(DiscoveryFailure, AnswersWithoutAUsableGatewayArePassedOverOnceEach) {
    const std::string first = Base() + "/missing/first.xml";
    const std::string second = Base() + "/missing/second.xml";
    Responder responder;
    responder.AnswerWith({Answer("Location: " + first + "\r\n\r\n"),
                          Answer("Location: " + first + "\r\n\r\n"),
                          Answer("Location: " + second + "\r\n\r\n")});
    CRouterDevice device;
    std::vector<std::string> passedOver;
    device.onPassedOver = [&](const std::string& location, const FailureReason& why) {
        passedOver.push_back(location + " " + std::to_string(why.httpStatus));
    };
    IpAddress addr;
    std::string loc;
    EXPECT_EQ(device.Discover(addr, loc, LoopbackTargets({Ip("127.0.0.1")}, responder.Port(), 400)),
              -1);
    EXPECT_EQ(passedOver, (std::vector<std::string>{first + " 404", second + " 404"}));
    EXPECT_EQ(device.LastFailure().step, FailureReason::Step::kNoGateway);
    EXPECT_TRUE(device.location.empty());
    EXPECT_TRUE(device.controlUrl.empty());
}

TEST(DiscoveryFailure, RefusedSendIsReported) {
    // Port 0 is no destination: the send is refused (and would stay on
    // loopback if it were not).
    CRouterDevice device;
    IpAddress addr;
    std::string loc;
    EXPECT_EQ(device.Discover(addr, loc, LoopbackTargets({Ip("127.0.0.1")}, 0, 200)), -1);
    EXPECT_EQ(device.LastFailure().step, FailureReason::Step::kSend);
}

TEST(DiscoveryPort, HeldPortFallsBackToAnEphemeralOne) {
    const platform::SocketHandle holder = platform::OpenUdpSocket();
    ASSERT_EQ(platform::BindUdp(holder, 0, 0), 0);
    const std::uint16_t held = loopback::LocalPort(holder);

    Responder responder;
    responder.AnswerWith({Answer("LOCATION: " + Base() + "/rootDesc.xml\r\n\r\n")});
    DiscoveryTargets t = LoopbackTargets({Ip("127.0.0.1")}, responder.Port());
    t.bindPort = held;
    CRouterDevice device;
    IpAddress addr;
    std::string loc;
    EXPECT_EQ(device.Discover(addr, loc, t), 0);
    EXPECT_EQ(loc, Base() + "/rootDesc.xml");
    responder.Join();
    EXPECT_NE(responder.RequestSourcePort(), held);
    EXPECT_NE(responder.RequestSourcePort(), 0);
    platform::CloseSocket(holder);
}

TEST(DiscoveryWaitReadable, TellsPendingDataWithoutWaiting) {
    const platform::SocketHandle s = platform::OpenUdpSocket();
    ASSERT_EQ(platform::BindUdp(s, Ip("127.0.0.1"), 0), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(platform::WaitReadable(s, 0), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));

    const platform::SocketHandle sender = platform::OpenUdpSocket();
    ASSERT_EQ(platform::SendDatagram(sender, "x", 1, Ip("127.0.0.1"), loopback::LocalPort(s)), 1);
    bool readable = false;
    for (int i = 0; i < 200 && !readable; ++i) {
        readable = platform::WaitReadable(s, 0) == 1;
        if (!readable) {
            platform::SleepMs(5);
        }
    }
    EXPECT_TRUE(readable);
    platform::CloseSocket(sender);
    platform::CloseSocket(s);
}

TEST(LocalAddress, InterfaceThatRoutesToTheGatewayComesFirst) {
    CRouterDevice device;
    device.address = IpAddress(Ip("127.0.0.1"));
    EXPECT_EQ(device.GetLocalAddress().ToText(), "127.0.0.1");
}
