#include "upnp/Url.h"

#include <gtest/gtest.h>

#include "upnp/RouterDevice.h"

namespace {

struct SplitCase {
    const char* url;
    int result;
    const char* host;
    int port;
    const char* path;
};

// The path is the request target: it keeps its "/", and is "/" alone when
// the URL names none.
const SplitCase kSplitCases[] = {
    {"http://192.168.0.1:5000/gatedesc.xml", 0, "192.168.0.1", 5000, "/gatedesc.xml"},
    {"http://192.168.0.1/desc.xml", 0, "192.168.0.1", 80, "/desc.xml"},
    {"http://192.168.0.1:5000//upnp/control/WANIPConn1", 0, "192.168.0.1", 5000,
     "//upnp/control/WANIPConn1"},
    {"http://192.168.0.1:5000/", 0, "192.168.0.1", 5000, "/"},
    {"http://192.168.0.1:/x", 0, "192.168.0.1", 80, "/x"},
    {"http://192.168.0.1/a:b/c", 0, "192.168.0.1", 80, "/a:b/c"},
    {"http://192.168.0.1:5000", 0, "192.168.0.1", 5000, "/"},
    {"http://192.168.0.1", 0, "192.168.0.1", 80, "/"},
    {"HTTP://192.168.0.1/x", 0, "192.168.0.1", 80, "/x"},
    {"hTtP://router.lan:49152/rootDesc.xml", 0, "router.lan", 49152, "/rootDesc.xml"},
    {"http://192.168.0.1:1/", 0, "192.168.0.1", 1, "/"},
    {"http://192.168.0.1:65535/", 0, "192.168.0.1", 65535, "/"},
    {"http://192.168.0.1:00080/", 0, "192.168.0.1", 80, "/"},
    // The query stays in the target; the fragment never goes on the wire.
    {"http://192.168.0.1:5000/ctl?x=1&y=:2", 0, "192.168.0.1", 5000, "/ctl?x=1&y=:2"},
    {"http://192.168.0.1?x=1", 0, "192.168.0.1", 80, "/?x=1"},
    {"http://192.168.0.1/a#frag", 0, "192.168.0.1", 80, "/a"},
    {"http://192.168.0.1/説明.xml", 0, "192.168.0.1", 80, "/説明.xml"},
    // IPv6 literals in brackets; the zone is percent-encoded in the URL.
    {"http://[fe80::1%25eth0]:5000/x", 0, "fe80::1%eth0", 5000, "/x"},
    {"http://[2001:db8::1]/x", 0, "2001:db8::1", 80, "/x"},
    {"http://[::ffff:192.168.0.1]:1900", 0, "::ffff:192.168.0.1", 1900, "/"},
    {"http://[2001:db8::1/x", -1, "", 0, ""},
    {"http://[2001:db8::1]x/", -1, "", 0, ""},
    {"http://[fe80::1%eth0]/x", -1, "", 0, ""},
    {"http://[192.168.0.1]/x", -1, "", 0, ""},
    {"http://[]/x", -1, "", 0, ""},
    {"http://a[b]/x", -1, "", 0, ""},
    // Ports that are not 1 to 5 digits in 1..65535 fail the split.
    {"http://192.168.0.1:80x/x", -1, "", 0, ""},
    {"http://192.168.0.1:0/x", -1, "", 0, ""},
    {"http://192.168.0.1:65536/x", -1, "", 0, ""},
    {"http://192.168.0.1:123456/x", -1, "", 0, ""},
    {"http://192.168.0.1:-80/x", -1, "", 0, ""},
    {"http://192.168.0.1:+80/x", -1, "", 0, ""},
    {"http://192.168.0.1: 80/x", -1, "", 0, ""},
    {"http://192.168.0.1:99999999999999999999/", -1, "", 0, ""},
    // No scheme, another scheme, no host.
    {"", -1, "", 0, ""},
    {" http://192.168.0.1/x", -1, "", 0, ""},
    {"https://192.168.0.1/x", -1, "", 0, ""},
    {"ftp://192.168.0.1/x", -1, "", 0, ""},
    {"http:/192.168.0.1/x", -1, "", 0, ""},
    {"192.168.0.1:5000/x", -1, "", 0, ""},
    {"http://", -1, "", 0, ""},
    {"http:///x", -1, "", 0, ""},
    {"http://:5000/x", -1, "", 0, ""},
};

}  // namespace

TEST(SplitUrl, CasesOfTheTable) {
    for (const SplitCase& c : kSplitCases) {
        SCOPED_TRACE(c.url);
        std::string host = "unset";
        int port = -7;
        std::string path = "unset";
        ASSERT_EQ(CRouterDevice::SplitUrl(c.url, host, port, path), c.result);
        if (c.result == 0) {
            EXPECT_EQ(host, c.host);
            EXPECT_EQ(port, c.port);
            EXPECT_EQ(path, c.path);
        }
    }
}

// RFC 3986 section 5.4: every example resolved against its base.
TEST(ResolveUrlReference, NormalExamplesOfRfc3986) {
    const std::string base = "http://a/b/c/d;p?q";
    const std::pair<const char*, const char*> cases[] = {
        {"g:h", "g:h"},
        {"g", "http://a/b/c/g"},
        {"./g", "http://a/b/c/g"},
        {"g/", "http://a/b/c/g/"},
        {"/g", "http://a/g"},
        {"//g", "http://g"},
        {"?y", "http://a/b/c/d;p?y"},
        {"g?y", "http://a/b/c/g?y"},
        {"#s", "http://a/b/c/d;p?q#s"},
        {"g#s", "http://a/b/c/g#s"},
        {"g?y#s", "http://a/b/c/g?y#s"},
        {";x", "http://a/b/c/;x"},
        {"g;x", "http://a/b/c/g;x"},
        {"g;x?y#s", "http://a/b/c/g;x?y#s"},
        {"", "http://a/b/c/d;p?q"},
        {".", "http://a/b/c/"},
        {"./", "http://a/b/c/"},
        {"..", "http://a/b/"},
        {"../", "http://a/b/"},
        {"../g", "http://a/b/g"},
        {"../..", "http://a/"},
        {"../../", "http://a/"},
        {"../../g", "http://a/g"},
    };
    for (const auto& [reference, expected] : cases) {
        SCOPED_TRACE(reference);
        EXPECT_EQ(upnp::ResolveUrlReference(base, reference), expected);
    }
}

TEST(ResolveUrlReference, AbnormalExamplesOfRfc3986) {
    const std::string base = "http://a/b/c/d;p?q";
    const std::pair<const char*, const char*> cases[] = {
        {"../../../g", "http://a/g"},
        {"../../../../g", "http://a/g"},
        {"/./g", "http://a/g"},
        {"/../g", "http://a/g"},
        {"g.", "http://a/b/c/g."},
        {".g", "http://a/b/c/.g"},
        {"g..", "http://a/b/c/g.."},
        {"..g", "http://a/b/c/..g"},
        {"./../g", "http://a/b/g"},
        {"./g/.", "http://a/b/c/g/"},
        {"g/./h", "http://a/b/c/g/h"},
        {"g/../h", "http://a/b/c/h"},
        {"g;x=1/./y", "http://a/b/c/g;x=1/y"},
        {"g;x=1/../y", "http://a/b/c/y"},
        {"g?y/./x", "http://a/b/c/g?y/./x"},
        {"g?y/../x", "http://a/b/c/g?y/../x"},
        {"g#s/./x", "http://a/b/c/g#s/./x"},
        {"g#s/../x", "http://a/b/c/g#s/../x"},
        {"http:g", "http:g"},
    };
    for (const auto& [reference, expected] : cases) {
        SCOPED_TRACE(reference);
        EXPECT_EQ(upnp::ResolveUrlReference(base, reference), expected);
    }
}

TEST(ControlUrl, ResolvedAgainstUrlBaseOrElseTheLocation) {
    const std::string location = "http://192.168.0.1:5000/rootDesc.xml";
    struct Case {
        const char* urlBase;
        const char* control;
        const char* expected;
    };
    const Case cases[] = {
        // A base with and without its trailing "/" meets an absolute path.
        {"http://192.168.0.1:5000/", "/upnp/control/WANIPConn1",
         "http://192.168.0.1:5000/upnp/control/WANIPConn1"},
        {"http://192.168.0.1:5000", "/upnp/control/WANIPConn1",
         "http://192.168.0.1:5000/upnp/control/WANIPConn1"},
        // A relative path joins the base's directory (or the root without a path).
        {"http://192.168.0.1:5000", "upnp/control/WANIPConn1",
         "http://192.168.0.1:5000/upnp/control/WANIPConn1"},
        {"http://192.168.0.1:5000/igd/", "ctl/IPConn", "http://192.168.0.1:5000/igd/ctl/IPConn"},
        {"http://192.168.0.1:5000/igd/desc.xml", "../ctl/IPConn",
         "http://192.168.0.1:5000/ctl/IPConn"},
        // An absolute URL stands alone, even on another host.
        {"http://192.168.0.1:5000/", "http://192.168.0.254:2869/upnphost/control",
         "http://192.168.0.254:2869/upnphost/control"},
        // No controlURL: the base itself.
        {"http://192.168.0.1:5000/base/", "", "http://192.168.0.1:5000/base/"},
        // No URLBase: the description's location is the base.
        {"", "/ctl/IPConn", "http://192.168.0.1:5000/ctl/IPConn"},
        {"", "ctl/IPConn", "http://192.168.0.1:5000/ctl/IPConn"},
        {"", "", "http://192.168.0.1:5000/rootDesc.xml"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.urlBase) + " + " + c.control);
        const std::string url = upnp::ControlUrl(c.urlBase, location, c.control);
        EXPECT_EQ(url, c.expected);
    }

    // What the split then makes of it: one leading "/" in the target.
    std::string host;
    std::string path;
    int port = 0;
    ASSERT_EQ(CRouterDevice::SplitUrl(upnp::ControlUrl("http://192.168.0.1:5000/", location,
                                                       "/upnp/control/WANIPConn1"),
                                      host, port, path),
              0);
    EXPECT_EQ(path, "/upnp/control/WANIPConn1");
}
