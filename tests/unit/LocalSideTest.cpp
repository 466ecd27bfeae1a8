// This machine's side of an opened rule: the socket tables as Linux and
// Windows give them, which socket decides, the firewall's verdict, and the
// lines the log and --json make of it.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/FirewallVerdict.h"
#include "app/ListenerMatch.h"
#include "app/LocalSideText.h"
#include "app/OpenRunJson.h"
#include "net/Ipv6Text.h"
#include "platform/ListeningSockets.h"

// Lines as a 6.x kernel printed them on x86 (python's sockets bound for
// them): the table, what is kept ("-": nothing), then the line itself.
TEST(ProcNetSockets, KeepsListeningAndUnconnectedRowsWithTheirAddresses) {
    const std::string rows = R"(
tcp  0.0.0.0 18080 139985    |   0: 00000000:46A0 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 139985 1 000000008ca09612 100 0 0 10 0
tcp  127.0.0.1 18081 139986  |   2: 0100007F:46A1 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 139986 1 00000000124c56a3 100 0 0 10 0
tcp  10.77.0.2 8080 142600   |   0: 02004D0A:1F90 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 142600 1 0000000073f00e5f 100 0 0 10 0
tcp  -                       |   1: 0100007F:E239 0100007F:A9CA 06 00000000:00000000 03:00000B64 00000000     0        0 0 3 00000000277955cb
tcp  -                       |   3: 00000000:1F90 00000000:0000 07 00000000:00000000 00:00000000 00000000     0        0 5 1 0 100 0 0 10 0
tcp  -                       |   0: 0000000:1F90 00000000:0000 0A
tcp6 :: 18082 139987         |   1: 00000000000000000000000000000000:46A2 00000000000000000000000000000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 139987 1 000000003d702322 100 0 0 10 0
tcp6 ::1 18086 139989        |   0: 00000000000000000000000001000000:46A6 00000000000000000000000000000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 139989 1 00000000a319ce0e 100 0 0 10 0
tcp6 10.77.0.2 8081 142601   |   0: 0000000000000000FFFF000002004D0A:1F91 00000000000000000000000000000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 142601 1 00000000b527bb25 100 0 0 10 0
tcp6 2001:db8:1::2 8080 142599 | 1: B80D0120000001000000000002000000:1F90 00000000000000000000000000000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 142599 1 00000000f540da38 100 0 0 10 0
udp  0.0.0.0 18083 139990    | 8018: 00000000:46A3 00000000:0000 07 00000000:00000000 00:00000000 00000000     0        0 139990 2 0000000031dab711 0
udp  -                       | 8022: 0100007F:46A7 0100007F:46A3 01 00000000:00000000 00:00000000 00000000     0        0 139992 2 00000000f65463dd 0
udp6 ::1 18084 139991        | 8019: 00000000000000000000000001000000:46A4 00000000000000000000000000000000:0000 07 00000000:00000000 00:00000000 00000000     0        0 139991 2 00000000db8240e0 0
udp6 -                       | 8019: 00000000000000000000000001000000:46A4 00000000000000000000000000000000:0000 07 00000000:000
)";
    std::istringstream in(rows);
    std::string row;
    std::string all;  // every line of the tcp table, to be read at once
    while (std::getline(in, row)) {
        if (row.empty()) {
            continue;
        }
        std::istringstream want(row.substr(0, row.find('|')));
        const std::string line = row.substr(row.find('|') + 1);
        std::string table, address;
        unsigned port = 0;
        unsigned long long inode = 0;
        want >> table >> address >> port >> inode;
        const bool udp = table[0] == 'u', ipv6 = table.back() == '6';
        // The first line holds the column names.
        const auto got = platform::ParseProcNetSockets("  sl  local_address\n" + line, udp, ipv6);
        if (address == "-") {
            EXPECT_TRUE(got.empty()) << line;
            continue;
        }
        all += table == "tcp" ? line + "\n" : "";
        ASSERT_EQ(got.size(), 1u) << line;
        EXPECT_EQ(SocketAddressText(got[0]), address) << line;
        EXPECT_EQ(got[0].port, port) << line;
        EXPECT_EQ(got[0].inode, inode) << line;
        EXPECT_TRUE(got[0].udp == udp && got[0].ipv6 == ipv6) << line;
    }
    EXPECT_EQ(platform::ParseProcNetSockets("head\n" + all, false, false).size(), 3u);
}

namespace {

// A table as GetExtended{Tcp,Udp}Table fill it: the count, then the rows of
// DWORDs (little-endian), ports in network order, addresses as bytes.
struct FakeTable {
    std::vector<std::uint8_t> bytes{0, 0, 0, 0};
    FakeTable& D(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        }
        return *this;
    }
    FakeTable& Port(std::uint16_t p) {
        return D(static_cast<std::uint32_t>(p >> 8 | (p & 0xFF) << 8));
    }
    FakeTable& Address(const char* text) {
        platform::Ipv6Address a;
        net::ParseIPv6(text, &a);
        const bool v4 = std::string(text).find("::ffff:") == 0;
        bytes.insert(bytes.end(), a.bytes.begin() + (v4 ? 12 : 0), a.bytes.end());
        return *this;
    }
    std::vector<platform::OpenSocket> Read(std::uint32_t rows, bool udp, bool ipv6, int cut = 0) {
        bytes[0] = static_cast<std::uint8_t>(rows);
        return platform::ParseOwnerPidTable(bytes.data(), bytes.size() - cut, udp, ipv6);
    }
};

}  // namespace

// Rows (DWORDs) TCP: state, address, port, remote, remote port, pid; TCP6:
// address, scope, port, remote, scope, port, state, pid; UDP: address, port,
// pid; UDP6: address, scope, port, pid.
TEST(OwnerPidTable, ReadsTheRowsWindowsGivesWithTheirOwners) {
    FakeTable tcp, tcp6, udp, udp6;
    tcp.D(2).Address("::ffff:0.0.0.0").Port(8080).D(0).D(0).D(1234);
    tcp.D(5).Address("::ffff:10.77.0.2").Port(50000).D(0).D(0).D(9);  // established
    tcp.D(2).Address("::ffff:127.0.0.1").Port(3306).D(0).D(0).D(77);
    tcp6.Address("2001:db8:1::2").D(0).Port(8443).Address("::").D(0).D(0).D(2).D(4321);
    udp.Address("::ffff:10.77.0.2").Port(0).D(556).Address("::ffff:0.0.0.0").Port(27015).D(555);
    udp6.Address("::").D(0).Port(5353).D(999);
    const auto text = [](const std::vector<platform::OpenSocket>& sockets) {
        std::string out;
        for (const platform::OpenSocket& s : sockets) {
            out += (s.udp ? "udp " : "tcp ") + SocketAddressText(s) + ":" + std::to_string(s.port) +
                   " " + std::to_string(s.pid) + ";";
        }
        return out;
    };
    EXPECT_EQ(text(tcp.Read(3, false, false)), "tcp 0.0.0.0:8080 1234;tcp 127.0.0.1:3306 77;");
    // A count beyond the rows the buffer holds reads what is there.
    EXPECT_EQ(text(tcp.Read(40, false, false, 1)), "tcp 0.0.0.0:8080 1234;");
    EXPECT_EQ(text(tcp6.Read(1, false, true)), "tcp 2001:db8:1::2:8443 4321;");
    EXPECT_EQ(text(udp.Read(2, true, false)),
              "udp 0.0.0.0:27015 555;");  // not the one without a port
    EXPECT_EQ(text(udp6.Read(1, true, true)), "udp :::5353 999;");
}

namespace {

// "tcp 0.0.0.0" or "udp6 ::1", port 8080 unless ":PORT" follows.
platform::OpenSocket Sock(const std::string& text) {
    platform::OpenSocket s;
    s.udp = text[0] == 'u';
    s.ipv6 = text[3] == '6';
    std::string address = text.substr(text.find(' ') + 1);
    const std::size_t port = address.find('/');
    s.port = port == std::string::npos
                 ? 8080
                 : static_cast<std::uint16_t>(std::stoi(address.substr(port + 1)));
    address = address.substr(0, port);
    platform::Ipv6Address a;
    net::ParseIPv6(s.ipv6 ? address : "::ffff:" + address, &a);
    s.address = a.bytes;
    return s;
}

}  // namespace

// The router forwards to 10.77.0.2; the pinhole is for 2001:db8:1::2.
TEST(ListenerMatch, TheSocketThatCanTakeWhatTheRouterForwards) {
    using S = LocalListener::State;
    struct Case {
        const char* sockets;  // "tcp 0.0.0.0, tcp 127.0.0.1/8081"
        const char* rule;     // "tcp", "udp", "tcp bindv6only" (IPv4 rules), "pinhole"
        S state;
        int socket;
    };
    const Case cases[] = {
        {"", "tcp", S::kNone, -1},
        {"tcp 0.0.0.0", "tcp", S::kListening, 0},
        {"tcp 10.77.0.2", "tcp", S::kListening, 0},
        {"tcp 127.0.0.1", "tcp", S::kLoopbackOnly, 0},
        {"tcp 127.0.1.1", "tcp", S::kLoopbackOnly, 0},
        {"tcp 192.168.5.9", "tcp", S::kOtherAddress, 0},
        {"tcp 0.0.0.0/8081", "tcp", S::kNone, -1},
        {"udp 0.0.0.0", "tcp", S::kNone, -1},
        {"udp 0.0.0.0", "udp", S::kListening, 0},
        {"tcp 127.0.0.1, tcp 192.168.5.9, tcp 0.0.0.0", "tcp", S::kListening, 2},
        {"tcp 192.168.5.9, tcp 127.0.0.1", "tcp", S::kLoopbackOnly, 1},
        {"tcp6 ::", "tcp", S::kListening, 0},
        {"tcp6 ::", "tcp bindv6only", S::kNone, -1},
        {"tcp6 ::ffff:10.77.0.2", "tcp", S::kListening, 0},
        {"tcp6 ::ffff:127.0.0.1", "tcp", S::kLoopbackOnly, 0},
        {"tcp6 ::1", "tcp", S::kNone, -1},
        {"tcp6 ::", "pinhole", S::kListening, 0},
        {"tcp6 2001:db8:1::2", "pinhole", S::kListening, 0},
        {"tcp6 ::1", "pinhole", S::kLoopbackOnly, 0},
        {"tcp 0.0.0.0", "pinhole", S::kNone, -1},
        {"tcp6 ::ffff:0.0.0.0", "pinhole", S::kNone, -1},
        {"tcp6 fd00::7", "pinhole", S::kOtherAddress, 0},
    };
    for (const Case& c : cases) {
        std::vector<platform::OpenSocket> sockets;
        std::istringstream list(c.sockets);
        for (std::string one; std::getline(list >> std::ws, one, ',');) {
            sockets.push_back(Sock(one));
        }
        const std::string rule = c.rule;
        const bool pinhole = rule == "pinhole";
        const auto to = Sock(pinhole ? "tcp6 2001:db8:1::2" : "tcp 10.77.0.2").address;
        const ListenerMatch m =
            MatchListener(sockets, rule == "udp", 8080, !pinhole, to, rule != "tcp bindv6only");
        EXPECT_EQ(m.state, c.state) << c.sockets << " / " << c.rule;
        EXPECT_EQ(m.socket, c.socket) << c.sockets << " / " << c.rule;
    }
}

TEST(FirewallVerdict, DropsWhereAProfileIsOnAndNoRuleLetsThePortIn) {
    using V = FirewallVerdict;
    constexpr long kPrivate = platform::kFirewallPrivate, kAll = 0x7FFFFFFF;
    const platform::FirewallProfile on{kPrivate, true, false, false};
    const platform::FirewallRule port8080{kPrivate, 6, "8080", "", "", "*"};
    const platform::FirewallRule forNginx{kAll, 256, "*", "c:\\NGINX\\nginx.exe", "", "*"};
    const auto with =
        [&](std::vector<platform::FirewallRule> rules,
            platform::FirewallProfile p = {platform::kFirewallPrivate, true, false, false}) {
            return platform::FirewallSnapshot{true, {p}, std::move(rules)};
        };
    const std::string nginx = "C:\\nginx\\nginx.exe";
    struct Case {
        const char* what;
        platform::FirewallSnapshot firewall;
        bool udp;
        std::string program;
        V verdict;
    };
    const Case cases[] = {
        {"not read (Linux)", {}, false, nginx, V::kUnknown},
        {"off", with({}, {kPrivate, false, false, false}), false, nginx, V::kLetsIn},
        {"on, no rule", with({}), false, nginx, V::kWouldDrop},
        {"a port rule", with({port8080}), false, nginx, V::kLetsIn},
        {"a TCP port rule, UDP asked", with({port8080}), true, nginx, V::kWouldDrop},
        {"another profile's", with({{platform::kFirewallPublic, 6, "8080", "", "", "*"}}), false,
         nginx, V::kWouldDrop},
        {"the program's, path in another case", with({forNginx}), false, nginx, V::kLetsIn},
        {"another program's", with({forNginx}), false, "C:\\x\\httpd.exe", V::kWouldDrop},
        {"a program's, program unknown", with({forNginx}), false, "", V::kWouldDrop},
        {"the local subnet only", with({{kAll, 6, "8080", "", "", "LocalSubnet"}}), false, nginx,
         V::kWouldDrop},
        {"a service's", with({{kAll, 6, "8080", "", "Spooler", "*"}}), false, nginx, V::kWouldDrop},
        {"shields up", with({port8080}, {kPrivate, true, true, false}), false, nginx,
         V::kWouldDrop},
        {"allows by default", with({}, {kPrivate, true, false, true}), false, nginx, V::kLetsIn},
        {"two profiles, the one on decides",
         {true, {{platform::kFirewallDomain, false, false, false}, on}, {}},
         false,
         nginx,
         V::kWouldDrop},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(JudgeFirewall(c.firewall, c.udp, 8080, c.program), c.verdict) << c.what;
    }
}

TEST(FirewallVerdict, LocalPortsAsWindowsWritesThem) {
    for (const auto& [ports, covered, not_covered] :
         std::vector<std::tuple<const char*, std::vector<int>, std::vector<int>>>{
             {"*", {1, 65535}, {}},
             {"", {8080}, {}},
             {"80,443", {80, 443}, {8080}},
             {"80, 8000-8100", {8000, 8050, 8100}, {7999, 8101}},
             {"RPC,8080", {8080}, {135}},
             {"8100-8000", {}, {8050}}}) {
        for (const int p : covered) {
            EXPECT_TRUE(PortsCover(ports, static_cast<std::uint16_t>(p))) << ports << " " << p;
        }
        for (const int p : not_covered) {
            EXPECT_FALSE(PortsCover(ports, static_cast<std::uint16_t>(p))) << ports << " " << p;
        }
    }
}

namespace {

session::ListenerChecked Checked(const char* protocol, bool pinhole, LocalListener::State state,
                                 const char* address = "", std::uint32_t pid = 0,
                                 const char* program = "",
                                 FirewallVerdict firewall = FirewallVerdict::kUnknown) {
    const PortMappingRule rule{"8080", "8080", protocol, "web"};
    return {rule, pinhole, pinhole ? "2001:db8:1::2" : "10.77.0.2",
            LocalListener{state, address, pid, program}, firewall};
}

}  // namespace

TEST(LocalSideText, TheNoteUnderTheRuleAndTheVerboseRecord) {
    using S = LocalListener::State;
    const std::string none =
        "を待ち受けているプログラムがありません。サーバを起動すると外から届きます。\r\n";
    const std::string unreachable = "外からは届きません。\r\n";
    const std::vector<std::tuple<session::ListenerChecked, std::string, std::string>> cases = {
        {Checked("TCP", false, S::kNone), "  ※ このPCではポート 8080 [TCP] " + none, ""},
        {Checked("udp", true, S::kNone), "  ※ このPCではポート 8080 [UDP/IPv6] " + none, ""},
        {Checked("TCP", false, S::kLoopbackOnly, "127.0.0.1", 1234, "nginx"),
         "  ※ ポート 8080 [TCP] は 127.0.0.1 だけで待ち受けています (nginx)。" + unreachable, ""},
        {Checked("TCP", false, S::kLoopbackOnly, "127.0.0.1"),
         "  ※ ポート 8080 [TCP] は 127.0.0.1 だけで待ち受けています。" + unreachable, ""},
        {Checked("TCP", false, S::kOtherAddress, "192.168.5.9", 1234, "nginx"),
         "  ※ ポート 8080 [TCP] は 192.168.5.9 だけで待ち受けています (nginx)。ルータの転送先 "
         "10.77.0.2 では待ち受けていないため、" +
             unreachable,
         ""},
        {Checked("TCP", false, S::kListening, "0.0.0.0", 1234, "nginx"), "",
         "  待ち受け: nginx (PID 1234)\r\n"},
        {Checked("TCP", false, S::kListening, "0.0.0.0"), "",
         "  待ち受け: 0.0.0.0 (プログラムはこのユーザーからは見えません)\r\n"},
        // Windows: the table names the process, which this user may not open.
        {Checked("TCP", false, S::kListening, "0.0.0.0", 4321), "",
         "  待ち受け: PID 4321 (プログラム名は見えません)\r\n"},
        {Checked("TCP", false, S::kListening, "0.0.0.0", 1234, "nginx.exe",
                 FirewallVerdict::kWouldDrop),
         "  ※ Windowsファイアウォールが有効で、ポート 8080 [TCP] (nginx.exe) "
         "への受信を許可する規則がありません。" +
             unreachable,
         "  待ち受け: nginx.exe (PID 1234)\r\n"},
        {Checked("TCP", false, S::kUnknown), "", ""},
        // A program's name is its owner's to choose: one line, whatever it holds.
        {Checked("TCP", false, S::kLoopbackOnly, "::1", 7, "a\r\nb"),
         "  ※ ポート 8080 [TCP] は ::1 だけで待ち受けています (a  b)。" + unreachable, ""},
    };
    for (const auto& [e, note, record] : cases) {
        EXPECT_EQ(activity_log::LocalSideText(e), note);
        EXPECT_EQ(activity_log::ListenerRecordText(e), record);
    }
}

TEST(OpenRunJson, EachRuleCarriesWhatListensBehindIt) {
    using S = LocalListener::State;
    const session::ListenerChecked nginx =
        Checked("TCP", false, S::kListening, "0.0.0.0", 1234, "nginx", FirewallVerdict::kLetsIn);
    PortMappingRule refused = nginx.rule;
    refused.externalPort = "25";
    OpenRunRecord run;
    for (const session::Event& e : std::vector<session::Event>{
             session::GatewayFound{"10.77.0.1", "http://10.77.0.1:5000/rootDesc.xml"},
             session::RuleStarted{session::Operation::kOpen, nginx.rule},
             session::RuleOpened{nginx.rule,
                                 [] {
                                     RuleResult r;
                                     r.kind = RuleResult::Kind::kAdded;
                                     return r;
                                 }()},
             nginx, session::PinholeOpened{nginx.rule, "2001:db8:1::2"},
             Checked("TCP", true, S::kNone),
             session::RuleStarted{session::Operation::kOpen, refused},
             session::RuleFailed{refused, RuleResult{}},
             session::OutsideAddress{"1.2.3.4", true, {}}}) {
        run(e);
    }
    const std::string json = run.Json();
    for (const char* part :
         {"\"gateway\": {\"protocol\": \"UPnP\", \"address\": \"10.77.0.1\"",
          "{\"externalPort\": 8080, \"internalPort\": 8080, \"protocol\": \"TCP\", "
          "\"description\": \"web\", \"openedPort\": 8080, \"forwardedTo\": \"10.77.0.2\", "
          "\"opened\": true, \"error\": null, \"listening\": {\"state\": \"listening\", "
          "\"address\": \"0.0.0.0\", \"program\": \"nginx\", \"pid\": 1234}, \"firewall\": "
          "\"letsIn\", \"pinhole\": {\"address\": \"2001:db8:1::2\", \"opened\": true, "
          "\"error\": null, \"listening\": {\"state\": \"none\", \"address\": null, "
          "\"program\": null, \"pid\": null}, \"firewall\": null}}",
          // The refused rule: no port, no look behind it, the reason.
          "{\"externalPort\": 25, \"internalPort\": 8080, \"protocol\": \"TCP\", \"description\": "
          "\"web\", \"openedPort\": null, \"forwardedTo\": null, \"opened\": false, \"error\": "
          "\"理由:",
          "\"listening\": null, \"firewall\": null, \"pinhole\": null}\n  ]",
          "\"externalAddress\": \"1.2.3.4\",\n  \"error\": null\n}\n"}) {
        EXPECT_NE(json.find(part), std::string::npos) << part << "\n" << json;
    }
}
