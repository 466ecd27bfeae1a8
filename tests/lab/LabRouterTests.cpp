// Checks of the lab itself: that the router answers like a home router does, so
// that a failing discovery or mapping test points at Pontaro and not at the lab.
#include "LabEnv.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Datagram {
    std::string from;
    std::string payload;
};

int NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int>(ts.tv_sec * 1000 + ts.tv_nsec / 1000000);
}

const char kSearch[] =
    "M-SEARCH * HTTP/1.1\r\n"
    "HOST: 239.255.255.250:1900\r\n"
    "MAN: \"ssdp:discover\"\r\n"
    "MX: 2\r\n"
    "ST: urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n"
    "\r\n";

// Sends one M-SEARCH to the SSDP group and gathers every answer for listenMs, or
// until an answer from stopAtSender arrives.
std::vector<Datagram> SearchAndCollect(int listenMs, const std::string& stopAtSender = "") {
    std::vector<Datagram> answers;
    int sock = socket(AF_INET, SOCK_DGRAM, 0);
    EXPECT_GE(sock, 0) << std::strerror(errno);
    if (sock < 0)
        return answers;
    unsigned char ttl = 2;
    setsockopt(sock, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
    sockaddr_in group{};
    group.sin_family = AF_INET;
    group.sin_port = htons(1900);
    inet_pton(AF_INET, "239.255.255.250", &group.sin_addr);
    ssize_t sent = sendto(sock, kSearch, sizeof kSearch - 1, 0, reinterpret_cast<sockaddr*>(&group),
                          sizeof group);
    EXPECT_EQ(sent, static_cast<ssize_t>(sizeof kSearch - 1)) << std::strerror(errno);

    const int start = NowMs();
    for (;;) {
        int left = listenMs - (NowMs() - start);
        if (left <= 0)
            break;
        pollfd pfd{sock, POLLIN, 0};
        if (poll(&pfd, 1, left) <= 0)
            break;
        char buffer[2048];
        sockaddr_in from{};
        socklen_t fromLen = sizeof from;
        ssize_t got =
            recvfrom(sock, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
        if (got < 0)
            break;
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
        answers.push_back({text, std::string(buffer, static_cast<size_t>(got))});
        if (answers.back().from == stopAtSender)
            break;
    }
    close(sock);
    return answers;
}

// The value of the first header named `name` (any letter case), trimmed.
std::string HeaderValue(const std::string& message, const std::string& name) {
    std::istringstream in(message);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t colon = line.find(':');
        if (colon != name.size())
            continue;
        if (strncasecmp(line.c_str(), name.c_str(), name.size()) != 0)
            continue;
        size_t begin = line.find_first_not_of(" \t", colon + 1);
        return begin == std::string::npos ? "" : line.substr(begin);
    }
    return "";
}

// A plain HTTP/1.0 GET; the whole response, or "" when the connection failed.
std::string HttpGet(const std::string& ip, int port, const std::string& path) {
    int sock = socket(AF_INET, SOCK_STREAM, 0);
    if (sock < 0)
        return "";
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, ip.c_str(), &addr.sin_addr);
    std::string response;
    if (connect(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        std::string request = "GET " + path + " HTTP/1.0\r\nHost: " + ip + ":" +
                              std::to_string(port) + "\r\nConnection: close\r\n\r\n";
        if (send(sock, request.data(), request.size(), 0) == static_cast<ssize_t>(request.size())) {
            const int start = NowMs();
            char buffer[4096];
            for (;;) {
                int left = 5000 - (NowMs() - start);
                pollfd pfd{sock, POLLIN, 0};
                if (left <= 0 || poll(&pfd, 1, left) <= 0)
                    break;
                ssize_t got = recv(sock, buffer, sizeof buffer, 0);
                if (got <= 0)
                    break;
                response.append(buffer, static_cast<size_t>(got));
            }
        }
    }
    close(sock);
    return response;
}

struct Url {
    std::string host;
    int port = 80;
    std::string path;
};

bool ParseHttpUrl(const std::string& text, Url& url) {
    const std::string scheme = "http://";
    if (text.compare(0, scheme.size(), scheme) != 0)
        return false;
    size_t hostEnd = text.find_first_of(":/", scheme.size());
    if (hostEnd == std::string::npos)
        return false;
    url.host = text.substr(scheme.size(), hostEnd - scheme.size());
    size_t pathStart = text.find('/', hostEnd);
    if (text[hostEnd] == ':')
        url.port = std::atoi(text.substr(hostEnd + 1, pathStart - hostEnd - 1).c_str());
    url.path = pathStart == std::string::npos ? "/" : text.substr(pathStart);
    return !url.host.empty() && url.port > 0;
}

// The router's answer to a search, with its location; fails the test when none came.
bool FindRouterAnswer(Datagram& answer) {
    const lab::LabEnv& env = *lab::CurrentLab();
    // miniupnpd delays its answer by up to MX seconds.
    for (const Datagram& d : SearchAndCollect(3000, env.routerIp)) {
        if (d.from == env.routerIp && !HeaderValue(d.payload, "LOCATION").empty()) {
            answer = d;
            return true;
        }
    }
    return false;
}

TEST(LabAny_Router, DaemonAnswersSearchWithItsDescriptionUrl) {
    PONTARO_REQUIRE_LAB_DAEMON();
    const lab::LabEnv& env = *lab::CurrentLab();
    Datagram answer;
    ASSERT_TRUE(FindRouterAnswer(answer)) << "no SSDP answer with a LOCATION from " << env.routerIp;
    EXPECT_EQ(answer.payload.compare(0, 15, "HTTP/1.1 200 OK"), 0) << answer.payload;
    EXPECT_EQ(HeaderValue(answer.payload, "ST"),
              "urn:schemas-upnp-org:device:InternetGatewayDevice:1");
    Url url;
    ASSERT_TRUE(ParseHttpUrl(HeaderValue(answer.payload, "LOCATION"), url)) << answer.payload;
    EXPECT_EQ(url.host, env.routerIp);
    EXPECT_EQ(url.port, env.httpPort);
}

TEST(LabAny_Router, DescriptionReportsTheConfiguredIgdVersion) {
    PONTARO_REQUIRE_LAB_DAEMON();
    const lab::LabEnv& env = *lab::CurrentLab();
    Datagram answer;
    ASSERT_TRUE(FindRouterAnswer(answer));
    Url url;
    ASSERT_TRUE(ParseHttpUrl(HeaderValue(answer.payload, "LOCATION"), url));
    std::string response = HttpGet(url.host, url.port, url.path);
    // miniupnpd answers in the request's HTTP version.
    ASSERT_EQ(response.compare(0, 12, "HTTP/1.0 200"), 0) << response.substr(0, 200);
    const std::string v1 = "urn:schemas-upnp-org:device:InternetGatewayDevice:1";
    const std::string v2 = "urn:schemas-upnp-org:device:InternetGatewayDevice:2";
    if (env.igd == "v1") {
        EXPECT_NE(response.find(v1), std::string::npos);
        EXPECT_EQ(response.find(v2), std::string::npos);
        EXPECT_NE(response.find("urn:schemas-upnp-org:service:WANIPConnection:1"),
                  std::string::npos);
    } else {
        EXPECT_NE(response.find(v2), std::string::npos);
        EXPECT_NE(response.find("urn:schemas-upnp-org:service:WANIPConnection:2"),
                  std::string::npos);
    }
    EXPECT_NE(response.find("<controlURL>"), std::string::npos);
}

// upnpc (miniupnpc) is a known-good client: if its mapping does not show, the
// lab's ruleset or RouterHasMapping is at fault.
TEST(LabAny_Router, MappingMadeByReferenceClientShowsInRuleset) {
    PONTARO_REQUIRE_LAB_DAEMON();
    const lab::LabEnv& env = *lab::CurrentLab();
    EXPECT_FALSE(lab::RouterHasMapping("TCP", 18080, env.hostIp, 8080));
    // Naming the description skips upnpc's own 2 s discovery.
    const std::string upnpc =
        "upnpc -u http://" + env.routerIp + ":" + std::to_string(env.httpPort) + "/rootDesc.xml";

    lab::CommandResult tcp =
        lab::RunHere(upnpc + " -e lab-tcp -a " + env.hostIp + " 8080 18080 TCP");
    ASSERT_EQ(tcp.exitCode, 0) << tcp.output;
    lab::CommandResult udp = lab::RunHere(upnpc + " -e lab-udp -a 10.77.0.9 53 15353 udp");
    ASSERT_EQ(udp.exitCode, 0) << udp.output;

    EXPECT_TRUE(lab::RouterHasMapping("TCP", 18080, env.hostIp, 8080));
    EXPECT_TRUE(lab::RouterHasMapping("udp", 15353, "10.77.0.9", 53));
    EXPECT_FALSE(lab::RouterHasMapping("UDP", 18080, env.hostIp, 8080));
    EXPECT_FALSE(lab::RouterHasMapping("TCP", 8080, env.hostIp, 18080));
    EXPECT_FALSE(lab::RouterHasMapping("TCP", 18080, "10.77.0.9", 8080));
    EXPECT_EQ(lab::RouterMappings().size(), 2u);

    lab::CommandResult removed = lab::RunHere(upnpc + " -d 18080 TCP");
    EXPECT_EQ(removed.exitCode, 0) << removed.output;
    EXPECT_FALSE(lab::RouterHasMapping("TCP", 18080, env.hostIp, 8080));
    EXPECT_TRUE(lab::RouterHasMapping("UDP", 15353, "10.77.0.9", 53));
    lab::RunHere(upnpc + " -d 15353 UDP");
}

TEST(Bare_Lab, DefaultGatewayIsTheRouter) {
    PONTARO_REQUIRE_LAB();
    std::ifstream routes("/proc/net/route");
    std::string line;
    std::getline(routes, line);  // column titles
    std::vector<std::string> gateways;
    while (std::getline(routes, line)) {
        std::istringstream fields(line);
        std::string iface, destination, gateway;
        fields >> iface >> destination >> gateway;
        if (destination == "00000000") {
            in_addr addr{};
            addr.s_addr = static_cast<in_addr_t>(std::stoul(gateway, nullptr, 16));
            gateways.push_back(inet_ntoa(addr));
        }
    }
    ASSERT_EQ(gateways.size(), 1u);
    EXPECT_EQ(gateways[0], lab::CurrentLab()->routerIp);
}

TEST(Bare_Lab, NothingRunsOnTheRouter) {
    PONTARO_REQUIRE_LAB();
    EXPECT_FALSE(lab::LabHasDaemon());
    // Responders started by a test must not meet a daemon already bound to 1900.
    lab::CommandResult pids =
        lab::RunHere("ip netns pids " + lab::ShellQuote(lab::CurrentLab()->routerNs));
    EXPECT_EQ(pids.exitCode, 0) << pids.output;
    EXPECT_EQ(pids.output, "");
}

// A scripted responder on the router sees the multicast search and its answer
// comes back: the path every discovery test relies on.
TEST(Bare_Lab, MulticastSearchReachesResponderOnRouter) {
    PONTARO_REQUIRE_LAB();
    const lab::LabEnv& env = *lab::CurrentLab();
    const char* responder = R"PY(
import socket, struct, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("", 1900))
s.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
             struct.pack("4s4s", socket.inet_aton("239.255.255.250"), socket.inet_aton(sys.argv[1])))
print("ready", flush=True)
while True:
    data, peer = s.recvfrom(2048)
    first = data.split(b"\r\n", 1)[0]
    s.sendto(b"HTTP/1.1 200 OK\r\nLOCATION: http://" + sys.argv[1].encode() + b":49000/d.xml\r\nX-SEEN: " + first + b"\r\n\r\n", peer)
)PY";
    lab::RouterProcess process;
    ASSERT_TRUE(process.Start({"python3", "-c", responder, env.routerIp}));
    ASSERT_TRUE(process.WaitForOutput("ready", 5000)) << process.Output();

    std::vector<Datagram> answers = SearchAndCollect(1000);
    ASSERT_EQ(answers.size(), 1u) << process.Output();
    EXPECT_EQ(answers[0].from, env.routerIp);
    EXPECT_EQ(HeaderValue(answers[0].payload, "x-seen"), "M-SEARCH * HTTP/1.1");
    EXPECT_EQ(HeaderValue(answers[0].payload, "Location"),
              "http://" + env.routerIp + ":49000/d.xml");

    EXPECT_TRUE(process.Running());
    process.Stop();
    EXPECT_FALSE(process.Running());
}

}  // namespace
