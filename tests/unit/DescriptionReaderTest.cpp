// The description reader and the XML reader under it. The same cases run in
// the Linux build and in the Windows build (under Wine): one reader for both.

#include <gtest/gtest.h>

#include "upnp/RouterDevice.h"
#include "upnp/XmlDocument.h"

namespace {

using Step = FailureReason::Step;

std::string Service(const std::string& type, const std::string& control,
                    const std::string& extra = "") {
    return "<service><serviceType>" + type + "</serviceType><serviceId>urn:upnp-org:serviceId:" +
           type.substr(type.rfind(':') == std::string::npos ? 0 : 0, 0) + "X</serviceId>" +
           "<SCPDURL>/scpd.xml</SCPDURL><controlURL>" + control + "</controlURL>" +
           "<eventSubURL>/evt</eventSubURL>" + extra + "</service>";
}

const std::string kIp1 = "urn:schemas-upnp-org:service:WANIPConnection:1";
const std::string kIp2 = "urn:schemas-upnp-org:service:WANIPConnection:2";
const std::string kPpp = "urn:schemas-upnp-org:service:WANPPPConnection:1";
const std::string kCommon = "urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1";

// A root device with its embedded devices, as gateways nest them.
std::string Description(const std::string& urlBase, const std::string& rootServices,
                        const std::string& innerServices) {
    return "<?xml version=\"1.0\"?>\r\n<root xmlns=\"urn:schemas-upnp-org:device-1-0\">"
           "<specVersion><major>1</major><minor>0</minor></specVersion>" +
           urlBase +
           "<device><deviceType>urn:schemas-upnp-org:device:InternetGatewayDevice:1</deviceType>"
           "<friendlyName>ルーター</friendlyName><serviceList>" +
           rootServices +
           "</serviceList><deviceList><device><deviceType>urn:schemas-upnp-org:device:"
           "WANDevice:1</deviceType><deviceList><device><deviceType>urn:schemas-upnp-org:device:"
           "WANConnectionDevice:1</deviceType><serviceList>" +
           innerServices +
           "</serviceList></device></deviceList></device></deviceList></device></root>";
}

struct Case {
    const char* name;
    std::string text;
    int result;
    Step step;
    ServiceInfo expected;  // fields the reader must leave as below
};

ServiceInfo Info(std::string base, std::string type, std::string id, std::string scpd,
                 std::string control, std::string event) {
    return ServiceInfo{std::move(base), std::move(type),    std::move(id),
                       std::move(scpd), std::move(control), std::move(event)};
}

// Every case starts from a record whose fields say "preset", so that an
// untouched field shows.
const std::string P = "preset";

std::vector<Case> Cases() {
    const std::string ipService = Service(kIp1, "/ctl/IPConn");
    return {
        {"no URLBase is no failure", Description("", Service(kCommon, "/ctl/CIC"), ipService), 0,
         Step::kNone,
         Info(P, kIp1, "urn:upnp-org:serviceId:X", "/scpd.xml", "/ctl/IPConn", "/evt")},
        {"URLBase taken and trimmed",
         Description("<URLBase>\r\n  http://192.168.0.1:5000/ \t</URLBase>", "", ipService), 0,
         Step::kNone,
         Info("http://192.168.0.1:5000/", kIp1, "urn:upnp-org:serviceId:X", "/scpd.xml",
              "/ctl/IPConn", "/evt")},
        {"empty URLBase", Description("<URLBase></URLBase>", "", ipService), 0, Step::kNone,
         Info("", kIp1, "urn:upnp-org:serviceId:X", "/scpd.xml", "/ctl/IPConn", "/evt")},
        {"blank URLBase", Description("<URLBase>  \r\n </URLBase>", "", ipService), 0, Step::kNone,
         Info("", kIp1, "urn:upnp-org:serviceId:X", "/scpd.xml", "/ctl/IPConn", "/evt")},
        {"first of two URLBase",
         Description("<URLBase>http://a:1/</URLBase><URLBase>http://b:2/</URLBase>", "", ipService),
         0, Step::kNone,
         Info("http://a:1/", kIp1, "urn:upnp-org:serviceId:X", "/scpd.xml", "/ctl/IPConn", "/evt")},
        {"PPP and other letter case passed over",
         Description("", "",
                     Service(kPpp, "/ctl/PPP") +
                         Service("urn:schemas-upnp-org:service:wanipconnection:1", "/ctl/lower") +
                         ipService),
         0, Step::kNone,
         Info(P, kIp1, "urn:upnp-org:serviceId:X", "/scpd.xml", "/ctl/IPConn", "/evt")},
        {"first in document order wins, wherever it sits",
         Description("", Service(kIp2, "/ctl/root"), ipService), 0, Step::kNone,
         Info(P, kIp2, "urn:upnp-org:serviceId:X", "/scpd.xml", "/ctl/root", "/evt")},
        {"a name in other letter case is not recognised, a prefixed one is",
         Description("", "",
                     "<service xmlns:u=\"urn:x\"><serviceType>" + kIp1 +
                         "</serviceType><ControlURL>/a</ControlURL><u:controlURL>/b</u:controlURL>"
                         "</service>"),
         0, Step::kNone, Info(P, kIp1, P, P, "/b", P)},
        {"every element under a prefix",
         "<d:root xmlns:d=\"urn:schemas-upnp-org:device-1-0\"><d:URLBase>http://a:1/</d:URLBase>"
         "<d:device><d:serviceList><d:service><d:serviceType>" +
             kIp1 +
             "</d:serviceType><d:serviceId>i</d:serviceId><d:controlURL>/c</d:controlURL>"
             "</d:service></d:serviceList></d:device></d:root>",
         0, Step::kNone, Info("http://a:1/", kIp1, "i", P, "/c", P)},
        {"the later of two controlURL stays",
         Description("", "", Service(kIp1, "/first", "<controlURL>/second</controlURL>")), 0,
         Step::kNone, Info(P, kIp1, "urn:upnp-org:serviceId:X", "/scpd.xml", "/second", "/evt")},
        {"children in another order, no eventSubURL",
         Description("", "",
                     "<service><controlURL>/c</controlURL><SCPDURL>/s</SCPDURL><serviceType>" +
                         kIp1 + "</serviceType><serviceId>id</serviceId></service>"),
         0, Step::kNone, Info(P, kIp1, "id", "/s", "/c", P)},
        {"texts trimmed, entities and CDATA read, UTF-8 intact",
         Description("", "",
                     "<service><serviceType>\n  " + kIp1 +
                         "  \n</serviceType><serviceId> 日本語のサービス </serviceId>"
                         "<controlURL><![CDATA[/ctl?a=1&b=2]]></controlURL>"
                         "<SCPDURL>/s?x=1&amp;y=&lt;2&gt;</SCPDURL></service>"),
         0, Step::kNone, Info(P, kIp1, "日本語のサービス", "/s?x=1&y=<2>", "/ctl?a=1&b=2", P)},
        {"no WANIPConnection service",
         Description("<URLBase>http://a:1/</URLBase>", Service(kCommon, "/c"), Service(kPpp, "/p")),
         -1, Step::kNoService, Info("http://a:1/", P, P, P, P, P)},
        {"serviceType only deeper down does not count",
         Description("", "", "<service><x><serviceType>" + kIp1 + "</serviceType></x></service>"),
         -1, Step::kNoService, Info(P, P, P, P, P, P)},
        // Texts that routers send where nothing is read: a TP-Link friendly
        // name with a tag inside, a bare "&" (AT&T), stray end tags.
        {"not well formed where nothing is read",
         Description("<URLBase>http://a:1/</URLBase>", "",
                     "</bogus><manufacturer>AT&T &nosuch; &#0;</manufacturer>" + ipService)
             .replace(Description("", "", "").find("<friendlyName>") + 14, 0, "getfirm <info>"),
         0, Step::kNone,
         Info("http://a:1/", kIp1, "urn:upnp-org:serviceId:X", "/scpd.xml", "/ctl/IPConn", "/evt")},
        {"character references and a bare & in read texts",
         Description("", "",
                     "<service><serviceType>urn:schemas-upnp-org:service:WANIPConnection&#x3A;1"
                     "</serviceType><controlURL>/c?a=1&b=&#50;&#x33;</controlURL></service>"),
         0, Step::kNone, Info(P, kIp1, P, P, "/c?a=1&b=23", P)},
        {"an HTML error page",
         "<html><head><title>404</title></head><body><p>Not found<br></body></html>", -1,
         Step::kNoService, Info(P, P, P, P, P, P)},
        {"plain text", "Not Found", -1, Step::kDescription, Info(P, P, P, P, P, P)},
        {"empty text", "", -1, Step::kDescription, Info(P, P, P, P, P, P)},
        {"cut short", Description("", "", ipService).substr(0, 300), -1, Step::kDescription,
         Info(P, P, P, P, P, P)},
        {"text after the root element is no matter", Description("", "", ipService) + "<root/>", 0,
         Step::kNone,
         Info(P, kIp1, "urn:upnp-org:serviceId:X", "/scpd.xml", "/ctl/IPConn", "/evt")},
        {"a byte order mark is skipped", "\xEF\xBB\xBF" + Description("", "", ipService), 0,
         Step::kNone,
         Info(P, kIp1, "urn:upnp-org:serviceId:X", "/scpd.xml", "/ctl/IPConn", "/evt")},
        {"the text ends at a zero byte",
         Description("", "", ipService) + std::string(1, '\0') + "<junk", 0, Step::kNone,
         Info(P, kIp1, "urn:upnp-org:serviceId:X", "/scpd.xml", "/ctl/IPConn", "/evt")},
        {"a document type is refused",
         "<!DOCTYPE root [<!ENTITY a \"/ctl\">]>" + Description("", "", Service(kIp1, "&a;")), -1,
         Step::kDescription, Info(P, P, P, P, P, P)},
    };
}

}  // namespace

TEST(ParseDescription, CasesOnThisPlatformsXmlReader) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        CRouterDevice device;
        ServiceInfo info = Info(P, P, P, P, P, P);
        ASSERT_EQ(device.ParseDescription(c.text, "WANIPConnection", &info), c.result);
        EXPECT_EQ(device.LastFailure().step, c.step);
        EXPECT_EQ(info.URLBase, c.expected.URLBase);
        EXPECT_EQ(info.serviceType, c.expected.serviceType);
        EXPECT_EQ(info.serviceId, c.expected.serviceId);
        EXPECT_EQ(info.SCPDURL, c.expected.SCPDURL);
        EXPECT_EQ(info.controlURL, c.expected.controlURL);
        EXPECT_EQ(info.eventSubURL, c.expected.eventSubURL);
    }
}

TEST(ReadWanServices, EveryWanConnectionServiceInDocumentOrder) {
    const std::string dslPpp = "urn:dslforum-org:service:WANPPPConnection:1";
    const std::string text = Description(
        "<URLBase>http://a:1/</URLBase>",
        Service(kCommon, "/c") + Service(kIp2, "/ip2") +
            Service("urn:schemas-wifialliance-org:service:WFAWLANConfig:1", "/wps"),
        Service(kPpp, "/ppp") + Service("urn:schemas-upnp-org:service:wanipconnection:1", "/x") +
            "<u:service xmlns:u=\"urn:x\"><u:serviceType>" + dslPpp +
            "</u:serviceType><u:controlURL>/dsl</u:controlURL></u:service>" +
            // A repeated type: the one that stays decides.
            Service(kPpp, "/dropped", "<serviceType>urn:x:service:Other:1</serviceType>") +
            Service("urn:x:service:Other:1", "/late", "<serviceType>" + kIp1 + "</serviceType>"));
    CRouterDevice device;
    std::vector<ServiceInfo> services;
    ASSERT_EQ(device.ReadWanServices(text, &services), 0);
    std::vector<std::string> seen;
    for (const ServiceInfo& s : services) {
        seen.push_back(s.serviceType + " " + s.controlURL + " " + s.URLBase);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{
                        kIp2 + " /ip2 http://a:1/", kPpp + " /ppp http://a:1/",
                        dslPpp + " /dsl http://a:1/", kIp1 + " /late http://a:1/"}));

    EXPECT_EQ(device.ReadWanServices(Description("", Service(kCommon, "/c"), ""), &services), -1);
    EXPECT_EQ(device.LastFailure().step, Step::kNoService);
    EXPECT_TRUE(services.empty());
}

TEST(ParseDescription, HostileDocumentsEndWithAResult) {
    CRouterDevice device;
    ServiceInfo info;
    // Entity expansion ("billion laughs").
    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\">";
    for (int i = 1; i <= 9; ++i) {
        laughs += "<!ENTITY lol" + std::to_string(i) + " \"";
        for (int j = 0; j < 10; ++j) {
            laughs += i == 1 ? "&lol;" : "&lol" + std::to_string(i - 1) + ";";
        }
        laughs += "\">";
    }
    laughs += "]><root><service><serviceType>WANIPConnection&lol9;</serviceType></service></root>";
    EXPECT_EQ(device.ParseDescription(laughs, "WANIPConnection", &info), -1);

    // Deep nesting, within and beyond the size a gateway can deliver.
    for (int depth : {5000, 100000}) {
        std::string deep;
        for (int i = 0; i < depth; ++i) {
            deep += "<service><serviceType>";
        }
        deep += "WANIPConnection";
        for (int i = 0; i < depth; ++i) {
            deep += "</serviceType></service>";
        }
        EXPECT_EQ(device.ParseDescription(deep, "WANIPConnection", &info), -1);
    }

    // Services nested within the limit, each type holding all deeper ones
    // and a large text: every field is read up to a bounded size.
    std::string nested;
    for (int i = 0; i < 120; ++i) {
        nested += "<service><serviceType>";
    }
    nested += "WANIPConnection" + std::string(900 * 1024, 'x');
    for (int i = 0; i < 120; ++i) {
        nested += "</serviceType></service>";
    }
    std::vector<ServiceInfo> services;
    ASSERT_EQ(device.ReadWanServices(nested, &services), 0) << device.LastFailure().detail;
    EXPECT_EQ(services.size(), 120u);
    for (const ServiceInfo& s : services) {
        EXPECT_LE(s.serviceType.size(), 8192u);
    }
}

TEST(XmlDocument, ElementsChildrenNamesAndTexts) {
    upnp::XmlDocument doc;
    ASSERT_TRUE(doc.Load("<r><a>1</a><b><a>2<c>x</c>3</a></b><a/><p:a xmlns:p=\"u\">4</p:a></r>"));
    const auto as = doc.ElementsByName("a");
    ASSERT_EQ(as.size(), 3u);
    EXPECT_EQ(doc.Text(as[0]), "1");
    EXPECT_EQ(doc.Text(as[1]), "2x3");
    EXPECT_EQ(doc.Text(as[2]), "");
    const auto prefixed = doc.ElementsByName("p:a");
    ASSERT_EQ(prefixed.size(), 1u);
    EXPECT_EQ(doc.Name(prefixed[0]), "p:a");
    EXPECT_EQ(doc.Text(prefixed[0]), "4");

    const auto roots = doc.ElementsByName("r");
    ASSERT_EQ(roots.size(), 1u);
    EXPECT_EQ(doc.Text(roots[0]), "12x34");
    std::vector<std::string> names;
    for (auto child : doc.Children(roots[0])) {
        names.push_back(doc.Name(child));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "a", "p:a"}));
    EXPECT_TRUE(doc.ElementsByName("A").empty());
    EXPECT_TRUE(doc.ElementsByName("missing").empty());

    // By local name: any prefix, the letter case as written.
    const auto local = doc.ElementsByLocalName("a");
    ASSERT_EQ(local.size(), 4u);
    EXPECT_EQ(doc.Name(local[3]), "p:a");
    EXPECT_TRUE(doc.ElementsByLocalName("A").empty());
    EXPECT_TRUE(doc.ElementsByLocalName("p").empty());
}

// What the tolerant reader makes of texts that are not well formed: the text
// of the element <a>, whether the top element closed, or a refusal.
TEST(XmlDocument, TolerantReadingAndRefusals) {
    struct Row {
        const char* text;
        bool loads;
        bool complete;
        const char* a;  // text of the first <a>; nullptr: there is none
    };
    const Row rows[] = {
        {"<r><a>AT&T &amp; &lt;&#x41;&#66;&gt; &bogus; &#xD800; &#0; &#1114112;</a></r>", true,
         true, "AT&T & <AB> &bogus; &#xD800; &#0; &#1114112;"},
        {"<r><a>&#x3c;&#xe9;&#x3042;&#x1f600;</a></r>", true, true, "<éあ😀"},
        {"<r><a>1<a>2</a>3</a><b/></r>", true, true, "123"},
        {"<r><a>getfirm <info></a><b>x</b></r>", true, true, "getfirm "},
        {"<r></x><a>1 < 2 <3 <b</a></r>", true, true, "1 < 2 <3 <b"},
        {"<r><a k='v>' j=\"/>\">t</a></r>", true, true, "t"},
        {"<r><!-- <a>no</a> --><![CDATA[<a>]]><a><![CDATA[x&amp;]]>y</a></r>", true, true,
         "x&amp;y"},
        {"<?xml version=\"1.0\"?>\n<r><a>cut", true, false, "cut"},
        {"<a/><b/>", true, true, ""},
        {"", false, false, nullptr},
        {"text &amp; no element", false, false, nullptr},
        {"<r><!DOCTYPE r></r>", false, false, nullptr},
        {"<!ENTITY a \"b\"><a/>", false, false, nullptr},
    };
    upnp::XmlDocument doc;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        ASSERT_EQ(doc.Load(row.text), row.loads);
        EXPECT_EQ(doc.Refusal().empty(), row.loads);
        EXPECT_EQ(doc.Complete(), row.complete);
        const auto a = doc.ElementsByName("a");
        ASSERT_EQ(a.empty(), row.a == nullptr);
        if (row.a != nullptr) {
            EXPECT_EQ(doc.Text(a.front()), row.a);
        }
    }
    // Nesting is bounded: refused past the limit, read up to it.
    std::string deep;
    for (std::size_t i = 0; i < 100000; ++i) {
        deep += "<a>";
    }
    EXPECT_FALSE(doc.Load(deep));
    EXPECT_TRUE(doc.ElementsByName("a").empty());
    std::string fine;
    for (std::size_t i = 0; i < upnp::XmlDocument::kMaxDepth; ++i) {
        fine += "<a>x";
    }
    ASSERT_TRUE(doc.Load(fine));
    EXPECT_EQ(doc.ElementsByName("a").size(), upnp::XmlDocument::kMaxDepth);
    EXPECT_EQ(doc.Text(doc.ElementsByName("a")[0]), std::string(upnp::XmlDocument::kMaxDepth, 'x'));
}
