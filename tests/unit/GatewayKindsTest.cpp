// Routers as they are met in homes, each scripted on loopback with the
// searches it answers, its description and what its connections report. For
// each, a whole discovery and two rules: the test looks at which control URL
// of which description got AddPortMapping, with which SOAPAction.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "support/ScriptedGateway.h"
#include "upnp/RouterDevice.h"

namespace {

using Device = ScriptedGateway::Device;

const std::string kIgd1 = "urn:schemas-upnp-org:device:InternetGatewayDevice:1";
const std::string kIgd2 = "urn:schemas-upnp-org:device:InternetGatewayDevice:2";
const std::string kIp1 = "urn:schemas-upnp-org:service:WANIPConnection:1";
const std::string kIp2 = "urn:schemas-upnp-org:service:WANIPConnection:2";
const std::string kPpp1 = "urn:schemas-upnp-org:service:WANPPPConnection:1";
const std::string kDslPpp = "urn:dslforum-org:service:WANPPPConnection:1";

struct Service {
    std::string type;
    std::string control;
};

// A root device whose WANDevice holds one WANConnectionDevice per entry of
// `connections`; `p` is the prefix every element is written with.
std::string Description(const std::string& rootType,
                        const std::vector<std::vector<Service>>& connections,
                        const std::string& p = "") {
    std::string d = "<?xml version=\"1.0\"?><" + p + "root xmlns" +
                    (p.empty() ? "" : ":" + p.substr(0, p.size() - 1)) +
                    "=\"urn:schemas-upnp-org:device-1-0\"><" + p + "URLBase>BASE/</" + p +
                    "URLBase><" + p + "device><" + p + "deviceType>" + rootType + "</" + p +
                    "deviceType><" + p + "deviceList><" + p + "device><" + p +
                    "deviceType>urn:schemas-upnp-org:device:WANDevice:1</" + p + "deviceType><" +
                    p + "deviceList>";
    int id = 0;
    for (const auto& services : connections) {
        d += "<" + p + "device><" + p +
             "deviceType>urn:schemas-upnp-org:device:WANConnectionDevice:1</" + p + "deviceType><" +
             p + "serviceList>";
        for (const Service& s : services) {
            d += "<" + p + "service><" + p + "serviceType>" + s.type + "</" + p + "serviceType><" +
                 p + "serviceId>urn:upnp-org:serviceId:Conn" + std::to_string(++id) + "</" + p +
                 "serviceId><" + p + "controlURL>" + s.control + "</" + p + "controlURL></" + p +
                 "service>";
        }
        d += "</" + p + "serviceList></" + p + "device>";
    }
    return d + "</" + p + "deviceList></" + p + "device></" + p + "deviceList></" + p +
           "device></" + p + "root>";
}

std::string WpsDescription() {
    return "<?xml version=\"1.0\"?><root xmlns=\"urn:schemas-upnp-org:device-1-0\"><device>"
           "<deviceType>urn:schemas-wifialliance-org:device:WFADevice:1</deviceType>"
           "<serviceList><service><serviceType>urn:schemas-wifialliance-org:service:"
           "WFAWLANConfig:1</serviceType><controlURL>/wps_control</controlURL></service>"
           "</serviceList></device></root>";
}

// What routers put into descriptions besides the services: a TP-Link's
// friendly name with a tag in it, a bare "&", and (ZTE, Sagemcom) sheer size.
std::string WithExtras(std::string description, const std::string& extras) {
    return description.insert(description.find("<deviceList>"), extras);
}

std::string Icons(std::size_t bytes) {
    std::string icons = "<iconList>";
    while (icons.size() < bytes) {
        icons +=
            "<icon><mimetype>image/png</mimetype><width>48</width><height>48</height>"
            "<depth>24</depth><url>/icon.png</url></icon>";
    }
    return icons + "</iconList>";
}

struct Kind {
    const char* name;
    std::vector<Device> devices;
    std::map<std::string, std::string> statusByPath;  // GetStatusInfo answers
    std::vector<std::string> noise;                   // datagrams before the answers
    std::string chosenDescription;                    // path of the location taken
    std::string control;                              // path that must get AddPortMapping
    std::string type;                                 // its service type
    std::size_t statusQueries;                        // GetStatusInfo posts
};

std::vector<Kind> Kinds() {
    const std::vector<std::string> deviceSearches = {kIgd1, kIgd2};
    return {
        {"PPP only, silent to a WANIPConnection search",
         {{"/rootDesc.xml", Description(kIgd1, {{{kPpp1, "/ctl/PPP"}}}), {kIgd1, kIgd2, kPpp1}}},
         {},
         {},
         "/rootDesc.xml",
         "/ctl/PPP",
         kPpp1,
         0},
        {"PPP only with the dslforum type, answering the WANIPConnection search anyway",
         {{"/rootDesc.xml", Description(kIgd1, {{{kDslPpp, "/upnp/control/WANPPPConn1"}}}), {}}},
         {},
         {},
         "/rootDesc.xml",
         "/upnp/control/WANPPPConn1",
         kDslPpp,
         0},
        {"the router's WPS stack answers every search first",
         {{"/WFADevice.xml", WpsDescription(), {}},
          {"/rootDesc.xml", Description(kIgd1, {{{kIp1, "/ctl/IPConn"}}}), {kIp1}}},
         {},
         {},
         "/rootDesc.xml",
         "/ctl/IPConn",
         kIp1,
         0},
        {"IP and PPP in one connection device, the IP one not live",
         {{"/rootDesc.xml", Description(kIgd1, {{{kIp1, "/ctl/IP"}, {kPpp1, "/ctl/PPP"}}}), {}}},
         {{"/ctl/IP", "Disconnected"}, {"/ctl/PPP", "Connected"}},
         {},
         "/rootDesc.xml",
         "/ctl/PPP",
         kPpp1,
         2},
        {"two connection devices, the first not live",
         {{"/rootDesc.xml",
           Description(kIgd1, {{{kIp1, "/ctl/wan1"}}, {{kIp1, "/ctl/wan2"}}}),
           {}}},
         {{"/ctl/wan1", "Disconnected"}, {"/ctl/wan2", "Connected"}},
         {},
         "/rootDesc.xml",
         "/ctl/wan2",
         kIp1,
         2},
        {"several services, none says Connected: the first WANIPConnection",
         {{"/rootDesc.xml", Description(kIgd1, {{{kPpp1, "/ctl/PPP"}, {kIp1, "/ctl/IP"}}}), {}}},
         {{"/ctl/PPP", "Disconnected"}},  // the IP one answers with a fault
         {},
         "/rootDesc.xml",
         "/ctl/IP",
         kIp1,
         2},
        {"the WPS stack answers every search first, the router only its device type",
         {{"/WFADevice.xml", WpsDescription(), {}},
          {"/rootDesc.xml", Description(kIgd1, {{{kIp1, "/ctl/IPConn"}}}), deviceSearches}},
         {},
         {},
         "/rootDesc.xml",
         "/ctl/IPConn",
         kIp1,
         0},
        {"answers only searches for its device type",
         {{"/rootDesc.xml", Description(kIgd1, {{{kIp1, "/ctl/IPConn"}}}), deviceSearches}},
         {},
         {},
         "/rootDesc.xml",
         "/ctl/IPConn",
         kIp1,
         0},
        {"IGD v2 answering only searches for version 2 types",
         {{"/rootDesc.xml", Description(kIgd2, {{{kIp2, "/ctl/IPConn"}}}), {kIgd2, kIp2}}},
         {},
         {},
         "/rootDesc.xml",
         "/ctl/IPConn",
         kIp2,
         0},
        {"lines end in LF alone in every answer",
         {{"/rootDesc.xml", Description(kIgd1, {{{kIp1, "/ctl/IPConn"}}}), {}, true}},
         {},
         {},
         "/rootDesc.xml",
         "/ctl/IPConn",
         kIp1,
         0},
        {"a 200 KB description",
         {{"/rootDesc.xml",
           WithExtras(Description(kIgd1, {{{kIp1, "/ctl/IPConn"}}}), Icons(200 * 1024)),
           {}}},
         {},
         {},
         "/rootDesc.xml",
         "/ctl/IPConn",
         kIp1,
         0},
        {"not well formed where nothing is read",
         {{"/rootDesc.xml",
           WithExtras(Description(kIgd1, {{{kIp1, "/ctl/IPConn"}}}),
                      "<friendlyName>getfirm <info></friendlyName>"
                      "<manufacturer>AT&T</manufacturer>"),
           {}}},
         {},
         {},
         "/rootDesc.xml",
         "/ctl/IPConn",
         kIp1,
         0},
        {"its only service says Disconnected yet maps",
         {{"/rootDesc.xml", Description(kIgd1, {{{kIp1, "/ctl/IPConn"}}}), {}}},
         {{"/ctl/IPConn", "Disconnected"}},
         {},
         "/rootDesc.xml",
         "/ctl/IPConn",
         kIp1,
         0},
        {"announcements and other traffic first, prefixed element names",
         {{"/noise.xml", Description(kIgd1, {{{kIp1, "/ctl/noise"}}}), {"nothing"}},
          {"/rootDesc.xml", Description(kIgd1, {{{kIp1, "/ctl/IPConn"}}}, "dev:"), {}}},
         {},
         {"NOTIFY * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nNT: upnp:rootdevice\r\n"
          "NTS: ssdp:alive\r\nLOCATION: BASE/noise.xml\r\n\r\n",
          "M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nMAN: \"ssdp:discover\"\r\n"
          "ST: ssdp:all\r\nLOCATION: BASE/noise.xml\r\n\r\n",
          "HTTP/1.1 503 Service Unavailable\r\nLOCATION: BASE/noise.xml\r\n\r\n"},
         "/rootDesc.xml",
         "/ctl/IPConn",
         kIp1,
         0},
    };
}

}  // namespace

TEST(GatewayKinds, TheLiveConnectionOfTheRealGatewayGetsTheMappings) {
    for (const Kind& k : Kinds()) {
        SCOPED_TRACE(k.name);
        ScriptedGateway gateway(k.devices, k.noise);
        ASSERT_TRUE(gateway.Ready());
        gateway.ScriptConnectionStatus(k.statusByPath);
        CRouterDevice device;
        IpAddress addr;
        std::string loc;
        ASSERT_EQ(device.Discover(addr, loc, gateway.Targets(1500)), 0);
        EXPECT_EQ(loc, gateway.Url(k.chosenDescription));
        EXPECT_EQ(device.location, loc);

        ASSERT_EQ(device.AddPortMapping(8080, 80, "tcp", "one"), 0);
        ASSERT_EQ(device.AddPortMapping(8081, 81, "udp", "two"), 0);
        const std::vector<ScriptedGateway::ActionPost> maps = gateway.PostsOf("AddPortMapping");
        ASSERT_EQ(maps.size(), 2u);
        for (const auto& post : maps) {
            EXPECT_EQ(post.path, k.control);
            EXPECT_EQ(post.soapAction, "\"" + k.type + "#AddPortMapping\"");
            EXPECT_NE(post.body.find("xmlns:m=\"" + k.type + "\""), std::string::npos);
        }
        EXPECT_EQ(SoapArgument(maps[0].body, "NewProtocol"), "TCP");
        EXPECT_EQ(SoapArgument(maps[1].body, "NewProtocol"), "UDP");
        // The choice is made once, at discovery; the rules find it again.
        EXPECT_EQ(gateway.PostsOf("GetStatusInfo").size(), k.statusQueries);
        // Each description is read once: the rules use what discovery read.
        const std::vector<std::string> gets = gateway.Gets();
        EXPECT_EQ(std::count(gets.begin(), gets.end(), k.chosenDescription), 1);
        for (const std::string& path : gets) {
            EXPECT_NE(path, "/noise.xml");
            EXPECT_EQ(std::count(gets.begin(), gets.end(), path), 1) << path;
        }
    }
}
