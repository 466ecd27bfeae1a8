// AddPortMapping against a scripted gateway on loopback.

#include <gtest/gtest.h>

#include <mutex>

#include "platform/Socket.h"
#include "support/LoopbackListener.h"
#include "support/ScriptedHttpServer.h"
#include "upnp/RouterDevice.h"

namespace {

using Reply = ScriptedHttpServer::Reply;

const std::string kIp1 = "urn:schemas-upnp-org:service:WANIPConnection:1";
const std::string kIp2 = "urn:schemas-upnp-org:service:WANIPConnection:2";

std::string GatewayDescription(const std::string& urlBase, const std::string& serviceType,
                               const std::string& controlUrl) {
    return "<?xml version=\"1.0\"?><root xmlns=\"urn:schemas-upnp-org:device-1-0\">" + urlBase +
           "<device><serviceList><service><serviceType>urn:schemas-upnp-org:service:"
           "Layer3Forwarding:1</serviceType><controlURL>/ctl/L3F</controlURL></service>"
           "</serviceList><deviceList><device><serviceList><service><serviceType>" +
           serviceType +
           "</serviceType><serviceId>urn:upnp-org:serviceId:WANIPConn1</serviceId>"
           "<controlURL>" +
           controlUrl +
           "</controlURL></service></serviceList></device>"
           "</deviceList></device></root>";
}

Reply Answer(const std::string& statusLine, const std::string& body) {
    Reply r;
    r.pieces.push_back(
        HttpReply(statusLine, {"Content-Length: " + std::to_string(body.size())}, body));
    return r;
}

// Serves the description on GET; answers posts with 200, or 500 for the
// post numbers listed in `refused` (1-based).
class Gateway {
public:
    explicit Gateway(std::string description, std::vector<int> refused = {},
                     std::string descriptionStatus = "HTTP/1.0 200 OK")
        : server_([this, description, refused, descriptionStatus](const std::string& request) {
              if (request.rfind("GET ", 0) == 0) {
                  return Answer(descriptionStatus, description);
              }
              ++posts_;
              for (int n : refused) {
                  if (n == posts_) {
                      return Answer("HTTP/1.0 500 Internal Server Error",
                                    "<s:Envelope><s:Body><s:Fault><detail><UPnPError>"
                                    "<errorCode>718</errorCode><errorDescription>"
                                    "ConflictInMappingEntry</errorDescription></UPnPError>"
                                    "</detail></s:Fault></s:Body></s:Envelope>");
                  }
              }
              return Answer("HTTP/1.0 200 OK",
                            "<s:Envelope><s:Body><u:AddPortMappingResponse/></s:Body>"
                            "</s:Envelope>");
          }) {}

    ScriptedHttpServer& Server() { return server_; }

    CRouterDevice Device(const std::string& descriptionPath = "/rootDesc.xml") {
        CRouterDevice d;
        d.location = server_.Url(descriptionPath);
        d.address = IpAddress(loopback::Address());
        return d;
    }

    // The request lines, in order of arrival.
    std::vector<std::string> RequestLines() {
        std::vector<std::string> lines;
        for (const std::string& r : server_.Requests()) {
            lines.push_back(r.substr(0, r.find("\r\n")));
        }
        return lines;
    }

private:
    int posts_ = 0;  // touched only on the server's thread
    ScriptedHttpServer server_;
};

std::string BodyOf(const std::string& request) {
    return request.substr(request.find("\r\n\r\n") + 4);
}

std::string HeaderBlockOf(const std::string& request) {
    return request.substr(0, request.find("\r\n\r\n") + 2);
}

}  // namespace

TEST(AddPortMapping, GetThenPostWithHeadersAndEnvelope) {
    Gateway gw(GatewayDescription("", kIp1, "/ctl/IPConn"));
    CRouterDevice device = gw.Device();
    ASSERT_EQ(device.AddPortMapping(81, 80, "TCP", "web"), 0);

    const std::vector<std::string> requests = gw.Server().Requests();
    ASSERT_EQ(requests.size(), 2u);
    const std::string hostLine = "Host: 127.0.0.1:" + std::to_string(gw.Server().Port()) + "\r\n";
    EXPECT_EQ(requests[0], "GET /rootDesc.xml HTTP/1.0\r\n" + hostLine + "\r\n");

    const std::string body = BodyOf(requests[1]);
    EXPECT_EQ(HeaderBlockOf(requests[1]),
              "POST /ctl/IPConn HTTP/1.0\r\n" + hostLine +
                  "Content-Type: text/xml; charset=\"utf-8\"\r\n"
                  "SOAPAction: \"urn:schemas-upnp-org:service:WANIPConnection:1#AddPortMapping\""
                  "\r\nContent-Length: " +
                  std::to_string(body.size()) + "\r\n");
    EXPECT_EQ(body.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?>", 0), 0u);
    EXPECT_NE(body.find("<m:AddPortMapping xmlns:m=\"" + kIp1 + "\">"), std::string::npos);
    // The five values in their places and order.
    const std::size_t p1 = body.find(">81</NewExternalPort>");
    const std::size_t p2 = body.find(">TCP</NewProtocol>");
    const std::size_t p3 = body.find(">80</NewInternalPort>");
    const std::size_t p4 = body.find(">127.0.0.1</NewInternalClient>");
    const std::size_t p5 = body.find(">web</NewPortMappingDescription>");
    ASSERT_NE(p5, std::string::npos);
    EXPECT_TRUE(p1 < p2 && p2 < p3 && p3 < p4 && p4 < p5) << body;
}

TEST(AddPortMapping, VersionTwoServiceGetsAVersionTwoRequest) {
    Gateway gw(GatewayDescription("", kIp2, "/ctl/IPConn"));
    CRouterDevice device = gw.Device();
    ASSERT_EQ(device.AddPortMapping(5000, 5000, "UDP", "v2"), 0);
    const std::vector<std::string> requests = gw.Server().Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[1].find("SOAPAction: \"" + kIp2 + "#AddPortMapping\"\r\n"),
              std::string::npos);
    EXPECT_NE(requests[1].find("xmlns:m=\"" + kIp2 + "\""), std::string::npos);
}

TEST(AddPortMapping, TextsGoOutEscapedAndInUtf8) {
    Gateway gw(GatewayDescription("", kIp1, "/ctl/IPConn"));
    CRouterDevice device = gw.Device();
    ASSERT_EQ(device.AddPortMapping(8080, 80, "tcp", "HTTP接続の通過 <a&b> \"q\" 'x'"), 0);
    const std::string body = BodyOf(gw.Server().Requests().at(1));
    EXPECT_NE(body.find(">HTTP接続の通過 &lt;a&amp;b&gt; &quot;q&quot; &apos;x&apos;"
                        "</NewPortMappingDescription>"),
              std::string::npos)
        << body;
    EXPECT_NE(body.find(">TCP</NewProtocol>"), std::string::npos);  // routers want capitals
}

TEST(AddPortMapping, ControlUrlFromUrlBaseOrLocation) {
    struct Case {
        std::string urlBase;
        std::string control;
        std::string descriptionPath;
        std::string target;
    };
    const Case cases[] = {
        {"", "ctl/IPConn", "/igd/rootDesc.xml", "/igd/ctl/IPConn"},
        {"", "/ctl/IPConn", "/igd/rootDesc.xml", "/ctl/IPConn"},
        {"", "", "/igd/rootDesc.xml", "/igd/rootDesc.xml"},
        {"<URLBase>BASE/</URLBase>", "/upnp/control/WANIPConn1", "/rootDesc.xml",
         "/upnp/control/WANIPConn1"},
        {"<URLBase>BASE/base/</URLBase>", "ctl", "/rootDesc.xml", "/base/ctl"},
        {"<URLBase>http://127.0.0.1:1/</URLBase>", "ABSOLUTE/abs/ctl", "/rootDesc.xml", "/abs/ctl"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        // The server's own address goes into the description once it listens.
        std::mutex lock;
        std::string origin;
        auto fill = [&](std::string s) {
            std::lock_guard<std::mutex> hold(lock);
            for (const char* key : {"BASE", "ABSOLUTE"}) {
                const std::size_t at = s.find(key);
                if (at != std::string::npos) {
                    s.replace(at, std::string(key).size(), origin);
                }
            }
            return s;
        };
        ScriptedHttpServer server([&](const std::string& request) {
            if (request.rfind("GET ", 0) == 0) {
                return Answer("HTTP/1.0 200 OK",
                              GatewayDescription(fill(c.urlBase), kIp1, fill(c.control)));
            }
            return Answer("HTTP/1.0 200 OK", "");
        });
        {
            std::lock_guard<std::mutex> hold(lock);
            origin = server.Url("");
        }
        CRouterDevice device;
        device.location = server.Url(c.descriptionPath);
        device.address = IpAddress(loopback::Address());
        ASSERT_EQ(device.AddPortMapping(1, 1, "TCP", "x"), 0);
        const std::vector<std::string> requests = server.Requests();
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_EQ(requests[1].substr(0, requests[1].find("\r\n")),
                  "POST " + c.target + " HTTP/1.0");
    }
}

TEST(AddPortMapping, TheDescriptionIsReadOnceEveryRuleGetsItsPost) {
    Gateway gw(GatewayDescription("", kIp1, "/ctl/IPConn"), {2});
    CRouterDevice device = gw.Device();
    EXPECT_EQ(device.AddPortMapping(1001, 1001, "TCP", "one"), 0);
    EXPECT_EQ(device.AddPortMapping(1002, 1002, "TCP", "two"), -1);
    EXPECT_EQ(device.LastFailure().step, FailureReason::Step::kStatus);
    EXPECT_EQ(device.LastFailure().httpStatus, 500);
    EXPECT_EQ(device.LastFailure().upnpErrorCode, "718");
    EXPECT_EQ(device.LastFailure().upnpErrorDescription, "ConflictInMappingEntry");
    EXPECT_EQ(device.AddPortMapping(1003, 1003, "UDP", "three"), 0);
    EXPECT_EQ(gw.RequestLines(),
              (std::vector<std::string>{"GET /rootDesc.xml HTTP/1.0", "POST /ctl/IPConn HTTP/1.0",
                                        "POST /ctl/IPConn HTTP/1.0", "POST /ctl/IPConn HTTP/1.0"}));
    const std::vector<std::string> requests = gw.Server().Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_NE(requests[1].find(">one<"), std::string::npos);
    EXPECT_NE(requests[2].find(">two<"), std::string::npos);
    EXPECT_NE(requests[3].find(">three<"), std::string::npos);
}

TEST(AddPortMapping, NoPostWhenTheDescriptionFails) {
    {
        Gateway gw(GatewayDescription("", kIp1, "/ctl/IPConn"), {}, "HTTP/1.0 404 Not Found");
        CRouterDevice device = gw.Device();
        EXPECT_EQ(device.AddPortMapping(1, 1, "TCP", "x"), -1);
        EXPECT_EQ(device.LastFailure().step, FailureReason::Step::kStatus);
        EXPECT_EQ(device.LastFailure().httpStatus, 404);
        EXPECT_EQ(gw.RequestLines(), (std::vector<std::string>{"GET /rootDesc.xml HTTP/1.0"}));
    }
    {
        Gateway gw(GatewayDescription("", "urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1",
                                      "/ctl/CIC"));
        CRouterDevice device = gw.Device();
        EXPECT_EQ(device.AddPortMapping(1, 1, "TCP", "x"), -1);
        EXPECT_EQ(device.LastFailure().step, FailureReason::Step::kNoService);
        EXPECT_EQ(device.AddPortMapping(2, 2, "TCP", "y"), -1);
        EXPECT_EQ(gw.RequestLines(), (std::vector<std::string>{"GET /rootDesc.xml HTTP/1.0",
                                                               "GET /rootDesc.xml HTTP/1.0"}));
    }
    {
        Gateway gw("<html><body><p>Error</body></html>");
        CRouterDevice device = gw.Device();
        EXPECT_EQ(device.AddPortMapping(1, 1, "TCP", "x"), -1);
        EXPECT_EQ(device.LastFailure().step, FailureReason::Step::kNoService);
        EXPECT_EQ(gw.Server().Requests().size(), 1u);
    }
}
