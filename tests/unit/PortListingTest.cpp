// GetListOfPortMappings' answers: the PortMappingList document inside the
// SOAP answer, in CDATA (miniupnpd 2.3.1, captured in the lab) or escaped.
#include "upnp/PortListing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Answer(const std::string& listing) {
    return "<?xml version=\"1.0\"?>\r\n<s:Envelope "
           "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>"
           "<u:GetListOfPortMappingsResponse "
           "xmlns:u=\"urn:schemas-upnp-org:service:WANIPConnection:2\"><NewPortListing>" +
           listing + "</NewPortListing></u:GetListOfPortMappingsResponse></s:Body></s:Envelope>";
}

constexpr char kList[] = "<p:PortMappingList xmlns:p=\"urn:schemas-upnp-org:gw:WANIPConnection\">";
constexpr char kMiniupnpdEntry[] =
    "<p:PortMappingEntry><p:NewRemoteHost></p:NewRemoteHost><p:NewExternalPort>8080"
    "</p:NewExternalPort><p:NewProtocol>TCP</p:NewProtocol><p:NewInternalPort>8081"
    "</p:NewInternalPort><p:NewInternalClient>10.77.0.2</p:NewInternalClient><p:NewEnabled>1"
    "</p:NewEnabled><p:NewDescription>web</p:NewDescription><p:NewLeaseTime>604795"
    "</p:NewLeaseTime></p:PortMappingEntry>";
// The same kind of entry as an escaping router writes it, its description
// "AT&T mail" escaped once more inside (or, by a careless router, not).
std::string EscapedEntry(const char* ampersand) {
    return std::string(
               "&lt;p:PortMappingEntry&gt;&lt;p:NewExternalPort&gt;25&lt;/p:NewExternalPort"
               "&gt;&lt;p:NewProtocol&gt;TCP&lt;/p:NewProtocol&gt;&lt;p:NewDescription&gt;AT") +
           ampersand + "T mail&lt;/p:NewDescription&gt;&lt;/p:PortMappingEntry&gt;";
}

}  // namespace

TEST(ReadPortListing, RoutersAnswers) {
    const std::string escapedList = "&lt;p:PortMappingList&gt;";
    const std::string escapedEnd = "&lt;/p:PortMappingList&gt;";
    struct Case {
        const char* what;
        std::string body;
        bool read;
        std::vector<std::string> entries;  // "port/protocol>internal client:port description lease"
    };
    const Case cases[] = {
        {"miniupnpd, CDATA",
         Answer(std::string("<![CDATA[") + kList + kMiniupnpdEntry + "</p:PortMappingList>]]>"),
         true,
         {"8080/TCP>10.77.0.2:8081 web 604795"}},
        {"miniupnpd, none in the range",
         Answer(std::string("<![CDATA[") + kList + "</p:PortMappingList>]]>"),
         true,
         {}},
        {"escaped, the & escaped twice",
         Answer(escapedList + EscapedEntry("&amp;amp;") + escapedEnd),
         true,
         {"25/TCP>: AT&T mail "}},
        {"escaped, the & bare inside",
         Answer(escapedList + EscapedEntry("&amp;") + escapedEnd),
         true,
         {"25/TCP>: AT&T mail "}},
        {"an HTML error page", "<html><body>500 Internal Error</body></html>", false, {}},
        {"not XML", "Internal Server Error", false, {}},
        {"cut short",
         Answer(std::string("<![CDATA[") + kList + kMiniupnpdEntry + "]]>"),
         false,
         {}},
    };
    for (const Case& c : cases) {
        std::vector<PortMappingEntry> entries(1);
        ASSERT_EQ(upnp::ReadPortListing(c.body, &entries), c.read) << c.what;
        std::vector<std::string> got;
        for (const PortMappingEntry& e : entries) {
            got.push_back(e.externalPort + "/" + e.protocol + ">" + e.internalClient + ":" +
                          e.internalPort + " " + e.description + " " + e.leaseDuration);
        }
        // Left as it was when the document could not be read.
        EXPECT_EQ(got, c.read ? c.entries : std::vector<std::string>{"/>:  "}) << c.what;
    }
}
