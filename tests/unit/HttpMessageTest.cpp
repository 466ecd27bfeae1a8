#include "upnp/HttpMessage.h"

#include <gtest/gtest.h>

#include "upnp/Soap.h"

using namespace upnp;

TEST(ComposeRequest, HostThenCallerHeadersThenLengthThenBody) {
    HttpHeaderList none;
    EXPECT_EQ(ComposeRequest("GET", "192.168.0.1", 5000, "/gatedesc.xml", none, ""),
              "GET /gatedesc.xml HTTP/1.0\r\nHost: 192.168.0.1:5000\r\n\r\n");
    // Port 80 is the default and is left out.
    EXPECT_EQ(ComposeRequest("GET", "router", 80, "/", none, ""),
              "GET / HTTP/1.0\r\nHost: router\r\n\r\n");
    // An IPv6 literal in brackets, without its zone.
    EXPECT_EQ(ComposeRequest("GET", "fe80::1%eth0", 5000, "/", none, ""),
              "GET / HTTP/1.0\r\nHost: [fe80::1]:5000\r\n\r\n");

    HttpHeaderList soap;
    soap.Append("Content-Type", "text/xml");
    soap.Append("SOAPAction", "\"a#b\"");
    EXPECT_EQ(ComposeRequest("POST", "10.0.0.1", 2869, "/ctl", soap, "<x/>"),
              "POST /ctl HTTP/1.0\r\nHost: 10.0.0.1:2869\r\nContent-Type: text/xml\r\n"
              "SOAPAction: \"a#b\"\r\nContent-Length: 4\r\n\r\n<x/>");
}

TEST(ComposeRequest, CallerHostAndLengthAreNotDoubled) {
    HttpHeaderList own;
    own.Append("host", "example:1");
    own.Append("CONTENT-LENGTH", "2");
    EXPECT_EQ(ComposeRequest("POST", "10.0.0.1", 2869, "/", own, "ab"),
              "POST / HTTP/1.0\r\nhost: example:1\r\nCONTENT-LENGTH: 2\r\n\r\nab");
}

TEST(ParseStatusLine, CodeMustBeThreeDigitsAndReasonIsOptional) {
    struct Case {
        const char* line;
        bool ok;
        int status;
        const char* reason;
    };
    const Case cases[] = {
        {"HTTP/1.0 200 OK", true, 200, "OK"},
        {"HTTP/1.1 200 OK", true, 200, "OK"},
        {"HTTP/1.0 200", true, 200, ""},
        {"HTTP/1.0 200 ", true, 200, ""},
        {"HTTP/1.0 404 Not Found", true, 404, "Not Found"},
        {"HTTP/1.1 500 Internal Server Error", true, 500, "Internal Server Error"},
        {"HTTP/1.0 2000 OK", false, 0, ""},
        {"HTTP/1.0 20 OK", false, 0, ""},
        {"HTTP/1.0 2x0 OK", false, 0, ""},
        {"HTTP/1.0  200 OK", false, 0, ""},
        {"HTTP/1.0", false, 0, ""},
        {" 200 OK", false, 0, ""},
        {"", false, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        int status = -1;
        std::string reason = "unset";
        ASSERT_EQ(ParseStatusLine(c.line, &status, &reason), c.ok);
        if (c.ok) {
            EXPECT_EQ(status, c.status);
            EXPECT_EQ(reason, c.reason);
        }
    }
}

TEST(ParseHeaderLines, NamesAsSentValuesTrimmedEmptyAndBrokenLinesSkipped) {
    HttpHeaderList h;
    ParseHeaderLines(
        "Content-Length: 5\r\ncontent-length:7\r\nServer:\r\nServer:   \r\nX-A:\t a b \t\r\n"
        "no colon here\r\n: no name\r\n folded: line\r\nEXT:\r\nLocation: http://h:1/x\r\n\r\n",
        h);
    ASSERT_EQ(h.Count(), 4u);
    EXPECT_EQ(h.At(0), (std::pair<std::string, std::string>("Content-Length", "5")));
    EXPECT_EQ(h.At(1), (std::pair<std::string, std::string>("content-length", "7")));
    EXPECT_EQ(h.At(2), (std::pair<std::string, std::string>("X-A", "a b")));
    EXPECT_EQ(h.At(3), (std::pair<std::string, std::string>("Location", "http://h:1/x")));
    ASSERT_NE(FindHeader(h, "CONTENT-LENGTH"), nullptr);
    EXPECT_EQ(*FindHeader(h, "CONTENT-LENGTH"), "5");  // the first one decides
    EXPECT_EQ(FindHeader(h, "Transfer-Encoding"), nullptr);
}

TEST(IsChunked, LastCodingDecides) {
    HttpHeaderList a;
    a.Append("transfer-encoding", "Chunked");
    EXPECT_TRUE(IsChunked(a));
    HttpHeaderList b;
    b.Append("Transfer-Encoding", "gzip, chunked");
    EXPECT_TRUE(IsChunked(b));
    HttpHeaderList c;
    c.Append("Transfer-Encoding", "chunked, gzip");
    EXPECT_FALSE(IsChunked(c));
    EXPECT_FALSE(IsChunked(HttpHeaderList()));
}

namespace {

// Feeds the text in pieces of `step` bytes.
std::string Decode(ChunkedDecoder& d, const std::string& wire, std::size_t step) {
    std::string out;
    for (std::size_t i = 0; i < wire.size(); i += step) {
        d.Feed(std::string_view(wire).substr(i, step), out);
    }
    return out;
}

}  // namespace

TEST(ChunkedDecoder, DecodesWhateverThePieces) {
    const std::string wire =
        "5\r\nhello\r\n1;name=value\r\n \r\nA \r\n0123456789\r\n0\r\nX-Trailer: 1\r\n\r\n";
    for (std::size_t step : {1u, 2u, 3u, 7u, 1000u}) {
        SCOPED_TRACE(step);
        ChunkedDecoder d;
        EXPECT_EQ(Decode(d, wire, step), "hello 0123456789");
        EXPECT_TRUE(d.Done());
        EXPECT_FALSE(d.Failed());
    }
}

TEST(ChunkedDecoder, IncompleteBodiesAreNotDone) {
    ChunkedDecoder d;
    EXPECT_EQ(Decode(d, "5\r\nhel", 1), "hel");
    EXPECT_FALSE(d.Done());
    EXPECT_FALSE(d.InTrailer());

    ChunkedDecoder last;
    Decode(last, "2\r\nab\r\n0\r\n", 4);
    EXPECT_FALSE(last.Done());
    EXPECT_TRUE(last.InTrailer());  // only the trailer's end is missing
}

TEST(ChunkedDecoder, BadFramingFails) {
    for (const char* wire :
         {"x\r\n", "5\r\nhelloX\r\n", ";ext\r\n", "5 5\r\n", "1234567890123456\r\n", "-1\r\n"}) {
        SCOPED_TRACE(wire);
        ChunkedDecoder d;
        Decode(d, wire, 1);
        EXPECT_TRUE(d.Failed());
    }
    ChunkedDecoder longLine;
    Decode(longLine, std::string(5000, '0'), 100);
    EXPECT_TRUE(longLine.Failed());
}

TEST(ChunkedDecoder, StopsAtTheCap) {
    ChunkedDecoder d(10);
    std::string out;
    d.Feed("8\r\n12345678\r\n8\r\nabcdefgh\r\n8\r\nnever", out);
    EXPECT_TRUE(d.Done());
    EXPECT_EQ(out, "12345678ab");
}

TEST(EscapeXml, TheFiveSpecialCharacters) {
    EXPECT_EQ(EscapeXml("a&b<c>d\"e'f"), "a&amp;b&lt;c&gt;d&quot;e&apos;f");
    EXPECT_EQ(EscapeXml("HTTP接続の通過"), "HTTP接続の通過");
    EXPECT_EQ(EscapeXml(""), "");
}

TEST(AddPortMappingEnvelope, TheTemplateWithTheServiceNamespace) {
    AddPortMappingArgs a;
    a.serviceType = "urn:schemas-upnp-org:service:WANIPConnection:1";
    a.externalPort = 81;
    a.protocol = "TCP";
    a.internalPort = 80;
    a.internalClient = "192.168.0.2";
    a.description = "web";
    const std::string e = AddPortMappingEnvelope(a);
    // The classic one-line template is 1095 bytes with its ten conversion
    // characters and a declaration without encoding; ours names UTF-8.
    const std::size_t values = 2 + 3 + 2 + 11 + 3;
    EXPECT_EQ(e.size(), 1095 - 10 + values + std::string(" encoding=\"utf-8\"").size());
    EXPECT_EQ(e.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?><SOAP-ENV:Envelope "
                      "xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
                      "SOAP-ENV:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">"
                      "<SOAP-ENV:Body><m:AddPortMapping "
                      "xmlns:m=\"urn:schemas-upnp-org:service:WANIPConnection:1\">"
                      "<NewRemoteHost xmlns:dt=\"urn:schemas-microsoft-com:datatypes\" "
                      "dt:dt=\"string\"></NewRemoteHost>",
                      0),
              0u);
    EXPECT_NE(e.find("dt:dt=\"ui2\">81</NewExternalPort>"), std::string::npos);
    EXPECT_NE(e.find("dt:dt=\"string\">TCP</NewProtocol>"), std::string::npos);
    EXPECT_NE(e.find("dt:dt=\"ui2\">80</NewInternalPort>"), std::string::npos);
    EXPECT_NE(e.find("dt:dt=\"string\">192.168.0.2</NewInternalClient>"), std::string::npos);
    EXPECT_NE(e.find("dt:dt=\"boolean\">1</NewEnabled>"), std::string::npos);
    EXPECT_NE(e.find("dt:dt=\"string\">web</NewPortMappingDescription>"), std::string::npos);
    EXPECT_NE(e.find("dt:dt=\"ui4\">0</NewLeaseDuration></m:AddPortMapping></SOAP-ENV:Body>"
                     "</SOAP-ENV:Envelope>"),
              std::string::npos);
    EXPECT_EQ(e.find('\n'), std::string::npos);
    // The arguments in the order of the action.
    EXPECT_LT(e.find("NewExternalPort"), e.find("NewProtocol"));
    EXPECT_LT(e.find("NewProtocol"), e.find("NewInternalPort"));
    EXPECT_LT(e.find("NewInternalPort"), e.find("NewInternalClient"));
    EXPECT_LT(e.find("NewInternalClient"), e.find("NewPortMappingDescription"));
}

TEST(AddPortMappingEnvelope, TextsEscapedPortsAsTheyAre) {
    AddPortMappingArgs a;
    a.serviceType = "urn:schemas-upnp-org:service:WANIPConnection:2";
    a.externalPort = -1;
    a.protocol = "udp";
    a.internalPort = 70000;
    a.internalClient = "0.0.0.0";
    a.description = "</NewPortMappingDescription><NewEnabled>0</NewEnabled>&'\"";
    const std::string e = AddPortMappingEnvelope(a);
    EXPECT_NE(e.find("xmlns:m=\"urn:schemas-upnp-org:service:WANIPConnection:2\""),
              std::string::npos);
    EXPECT_NE(e.find(">-1</NewExternalPort>"), std::string::npos);
    EXPECT_NE(e.find(">udp</NewProtocol>"), std::string::npos);
    EXPECT_NE(e.find(">70000</NewInternalPort>"), std::string::npos);
    EXPECT_NE(e.find(">&lt;/NewPortMappingDescription&gt;&lt;NewEnabled&gt;0&lt;/NewEnabled&gt;"
                     "&amp;&apos;&quot;</NewPortMappingDescription>"),
              std::string::npos);
    EXPECT_EQ(e.find("<NewEnabled>0"), std::string::npos);
}

TEST(ExtractUpnpError, FromFaultsWithAndWithoutPrefixes) {
    std::string code;
    std::string description;
    ASSERT_TRUE(ExtractUpnpError(
        "<?xml version=\"1.0\"?><s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/"
        "envelope/\"><s:Body><s:Fault><faultcode>s:Client</faultcode><faultstring>UPnPError"
        "</faultstring><detail><UPnPError xmlns=\"urn:schemas-upnp-org:control-1-0\">"
        "<errorCode>718</errorCode><errorDescription>ConflictInMappingEntry</errorDescription>"
        "</UPnPError></detail></s:Fault></s:Body></s:Envelope>",
        &code, &description));
    EXPECT_EQ(code, "718");
    EXPECT_EQ(description, "ConflictInMappingEntry");

    ASSERT_TRUE(ExtractUpnpError(
        "<u:errorCode> 402 </u:errorCode><u:errorDescriptionX>no</u:errorDescriptionX>"
        "<u:errorDescription>Invalid &amp; &lt;args&gt;</u:errorDescription>",
        &code, &description));
    EXPECT_EQ(code, "402");
    EXPECT_EQ(description, "Invalid & <args>");

    ASSERT_TRUE(ExtractUpnpError("<errorCode>501</errorCode>", &code, &description));
    EXPECT_EQ(code, "501");
    EXPECT_EQ(description, "");

    EXPECT_FALSE(ExtractUpnpError("<html>Internal Server Error</html>", &code, &description));
    EXPECT_FALSE(ExtractUpnpError("<errorCode", &code, &description));
    EXPECT_FALSE(ExtractUpnpError("", &code, &description));
}
