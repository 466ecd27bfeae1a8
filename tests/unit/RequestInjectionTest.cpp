// Texts a router hands us (its SSDP location, the URLBase, controlURL and
// serviceType of its description) end up in our request line and headers. A
// CR or LF among them would let the router write request lines of its own,
// so they never reach the wire.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/ScriptedHttpServer.h"
#include "upnp/RouterDevice.h"

namespace {

// Serves `description` to a GET and 200 to anything else.
ScriptedHttpServer::Handler Gateway(const std::string& description) {
    return [description](const std::string& request) {
        ScriptedHttpServer::Reply r;
        const std::string body = request.rfind("GET", 0) == 0 ? description : std::string();
        r.pieces.push_back("HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                           "\r\n\r\n" + body);
        return r;
    };
}

// The POST requests the server has seen.
std::vector<std::string> Posts(const ScriptedHttpServer& server) {
    std::vector<std::string> posts;
    for (const std::string& request : server.Requests()) {
        if (request.rfind("POST", 0) == 0) {
            posts.push_back(request);
        }
    }
    return posts;
}

TEST(RequestInjection, UrlsWithControlBytesDoNotSplit) {
    const std::string urls[] = {"http://192.168.0.1:5000/a\r\nX-Injected: 1",
                                "http://192.168.0.1:5000/a\rb",
                                "http://192.168.0.1:5000/a\nb",
                                "http://192.168.0.1\r\nX: y/desc.xml",
                                std::string("http://192.168.0.1/a\0b", 22),
                                "http://192.168.0.1/a\tb",
                                "http://192.168.0.1/a\x7f"};
    for (const std::string& url : urls) {
        std::string host;
        std::string path;
        int port = 0;
        EXPECT_EQ(CRouterDevice::SplitUrl(url, host, port, path), -1) << url;
    }
}

TEST(RequestInjection, ControlUrlWithLineBreakSendsNoPost) {
    ScriptedHttpServer server(Gateway(
        "<?xml version=\"1.0\"?><root><device><serviceList><service><serviceType>"
        "urn:schemas-upnp-org:service:WANIPConnection:1</serviceType><controlURL>/ctl&#13;&#10;"
        "X-Injected: 1</controlURL></service></serviceList></device></root>"));
    ASSERT_TRUE(server.Listening());
    CRouterDevice device;
    device.location = server.Url("/desc.xml");
    EXPECT_EQ(device.AddPortMapping(8080, 8080, "TCP", "web"), -1);
    const std::vector<std::string> posts = Posts(server);
    EXPECT_TRUE(posts.empty()) << posts.front();
}

TEST(RequestInjection, ServiceTypeWithLineBreakAddsNoHeader) {
    ScriptedHttpServer server(Gateway(
        "<?xml version=\"1.0\"?><root><device><serviceList><service><serviceType>"
        "urn:schemas-upnp-org:service:WANIPConnection:1&#13;&#10;X-Injected: 1</serviceType>"
        "<controlURL>/ctl</controlURL></service></serviceList></device></root>"));
    ASSERT_TRUE(server.Listening());
    CRouterDevice device;
    device.location = server.Url("/desc.xml");
    device.AddPortMapping(8080, 8080, "TCP", "web");
    // Whether the rule fails or the type is cleaned up, no line of the
    // request's header block is the router's.
    for (const std::string& post : Posts(server)) {
        const std::string head = post.substr(0, post.find("\r\n\r\n") + 2);
        EXPECT_EQ(head.find("\r\nX-Injected"), std::string::npos) << head;
    }
}

}  // namespace
