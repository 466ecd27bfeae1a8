// HttpRequest against scripted gateways on loopback.

#include <gtest/gtest.h>

#include "platform/Clock.h"
#include "support/ScriptedHttpServer.h"
#include "upnp/RouterDevice.h"

namespace {

using Reply = ScriptedHttpServer::Reply;
using Step = FailureReason::Step;

Reply Whole(std::string bytes, bool close = true) {
    Reply r;
    r.pieces.push_back(std::move(bytes));
    r.close = close;
    return r;
}

struct Outcome {
    int result = 0;
    HttpHeaderList headers;
    std::string body;
    FailureReason failure;
    unsigned elapsedMs = 0;
};

// One GET of /d.xml; short budgets unless the test needs the real ones.
Outcome Get(ScriptedHttpServer& server, int budgetMs = 400) {
    CRouterDevice device;
    device.SetHttpBudgets(budgetMs, budgetMs);
    Outcome o;
    o.body = "stale";
    o.headers.Append("stale", "entry");
    const std::uint32_t start = platform::TickCount();
    o.result =
        device.HttpRequest(server.Url("/d.xml"), "GET", HttpHeaderList(), "", o.headers, o.body);
    o.elapsedMs = platform::TickCount() - start;
    o.failure = device.LastFailure();
    return o;
}

}  // namespace

TEST(HttpExchange, ContentLengthReplyAndTheExactRequest) {
    ScriptedHttpServer server(Whole(HttpReply("HTTP/1.0 200 OK", {"Content-Length: 5"}, "hello")));
    const Outcome o = Get(server);
    ASSERT_EQ(o.result, 0);
    ASSERT_EQ(o.headers.Count(), 1u);
    EXPECT_EQ(o.headers.At(0).first, "Content-Length");
    EXPECT_EQ(o.headers.At(0).second, "5");
    EXPECT_EQ(o.body, "hello");
    EXPECT_EQ(o.failure.step, Step::kNone);
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0], "GET /d.xml HTTP/1.0\r\nHost: 127.0.0.1:" +
                                        std::to_string(server.Port()) + "\r\n\r\n");
}

TEST(HttpExchange, PostCarriesCallerHeadersLengthAndBody) {
    ScriptedHttpServer server(Whole(HttpReply("HTTP/1.1 200 OK", {"Content-Length: 2"}, "ok")));
    CRouterDevice device;
    HttpHeaderList request;
    request.Append("SOAPAction", "\"urn:x#AddPortMapping\"");
    request.Append("X-Twice", "1");
    request.Append("X-Twice", "2");
    HttpHeaderList headers;
    std::string body;
    ASSERT_EQ(device.HttpRequest(server.Url("/ctl"), "POST", request, "<e>日本</e>", headers, body),
              0);
    EXPECT_EQ(body, "ok");
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0],
              "POST /ctl HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(server.Port()) +
                  "\r\nSOAPAction: \"urn:x#AddPortMapping\"\r\nX-Twice: "
                  "1\r\nX-Twice: 2\r\nContent-Length: 13\r\n\r\n<e>日本</e>");
}

TEST(HttpExchange, StatusLinesThatPassAndFail) {
    struct Case {
        const char* statusLine;
        int result;
        int status;
        const char* reason;
    };
    const Case cases[] = {
        {"HTTP/1.0 200 OK", 0, 0, ""},
        {"HTTP/1.1 200 OK", 0, 0, ""},
        {"HTTP/1.0 200", 0, 0, ""},
        {"HTTP/1.0 200 ", 0, 0, ""},
        {"HTTP/1.0 201 Created", -1, 201, "Created"},
        {"HTTP/1.0 404 Not Found", -1, 404, "Not Found"},
        {"HTTP/1.0 204", -1, 204, ""},
        {"HTTP/1.0 OK", -1, 0, ""},
        {"garbage", -1, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.statusLine);
        ScriptedHttpServer server(Whole(HttpReply(c.statusLine, {"Content-Length: 2"}, "ab")));
        const Outcome o = Get(server);
        ASSERT_EQ(o.result, c.result);
        if (c.result == 0) {
            EXPECT_EQ(o.body, "ab");
            continue;
        }
        EXPECT_EQ(o.body, "");
        EXPECT_EQ(o.headers.Count(), 0u);
        EXPECT_EQ(o.failure.step, Step::kStatus);
        EXPECT_EQ(o.failure.httpStatus, c.status);
        EXPECT_EQ(o.failure.httpStatusText, c.reason);
    }
}

TEST(HttpExchange, HeaderNamesInAnyCaseWithOrWithoutSpace) {
    for (const char* header : {"content-length: 5", "CONTENT-LENGTH:5", "Content-Length:\t 5 "}) {
        SCOPED_TRACE(header);
        // Held open: only the length can end the read in time.
        ScriptedHttpServer server(Whole(HttpReply("HTTP/1.0 200 OK", {header}, "12345"), false));
        const Outcome o = Get(server);
        ASSERT_EQ(o.result, 0);
        EXPECT_EQ(o.body, "12345");
    }
}

TEST(HttpExchange, FirstOfTwoLengthsDecidesEmptyValuesDropped) {
    // Three bytes announced first, ten second, five sent, then the close:
    // with the second length this would be a short body.
    ScriptedHttpServer server(Whole(HttpReply(
        "HTTP/1.0 200 OK", {"Server:", "Content-Length: 3", "Content-Length: 10"}, "12345")));
    const Outcome o = Get(server);
    ASSERT_EQ(o.result, 0);
    EXPECT_EQ(o.body, "12345");  // everything buffered, not just the three
    ASSERT_EQ(o.headers.Count(), 2u);
    EXPECT_EQ(o.headers.At(0).second, "3");
    EXPECT_EQ(o.headers.At(1).second, "10");
}

TEST(HttpExchange, ZeroNegativeOrNonNumericLengthTakesWhatIsThere) {
    for (const char* length : {"Content-Length: 0", "Content-Length: -4", "Content-Length: x"}) {
        SCOPED_TRACE(length);
        ScriptedHttpServer server(Whole(HttpReply("HTTP/1.0 200 OK", {length}, ""), false));
        const Outcome o = Get(server, 2000);
        ASSERT_EQ(o.result, 0);
        EXPECT_EQ(o.body, "");
        EXPECT_LT(o.elapsedMs, 1500u);  // at the first pass, not at the end of the budget
    }
}

TEST(HttpExchange, NoLengthReadsUntilThePeerCloses) {
    Reply r;
    r.pieces = {"HTTP/1.0 200 OK\r\nServer: x\r\n\r\n<root>", "<a/>", "</root>"};
    r.pauseMs = 50;
    ScriptedHttpServer server(r);
    const Outcome o = Get(server);
    ASSERT_EQ(o.result, 0);
    EXPECT_EQ(o.body, "<root><a/></root>");
    ASSERT_EQ(o.headers.Count(), 1u);
}

TEST(HttpExchange, NoLengthAndNoCloseFailsWhenTheBudgetEnds) {
    ScriptedHttpServer server(Whole("HTTP/1.0 200 OK\r\n\r\n<root>", false));
    const Outcome o = Get(server, 300);
    EXPECT_EQ(o.result, -1);
    EXPECT_EQ(o.body, "");
    EXPECT_EQ(o.failure.step, Step::kBody);
    EXPECT_EQ(o.headers.Count(), 0u);
    EXPECT_GE(o.elapsedMs, 280u);
}

TEST(HttpExchange, ChunkedBodiesAreDecoded) {
    Reply r;
    r.pieces = {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Length: 999\r\n\r\n4\r",
                "\n<roo\r\n", "2;x=y\r\nt>\r\n0\r\n", "\r\n"};
    r.pauseMs = 30;
    r.close = false;  // the last chunk ends the body, not the close
    ScriptedHttpServer server(r);
    const Outcome o = Get(server, 2000);
    ASSERT_EQ(o.result, 0);
    EXPECT_EQ(o.body, "<root>");
    EXPECT_LT(o.elapsedMs, 1500u);
}

TEST(HttpExchange, IncompleteOrBrokenChunkedBodiesFail) {
    {
        ScriptedHttpServer server(
            Whole("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n10\r\nshort", false));
        const Outcome o = Get(server, 300);
        EXPECT_EQ(o.result, -1);
        EXPECT_EQ(o.failure.step, Step::kBody);
        EXPECT_EQ(o.body, "");
    }
    {
        ScriptedHttpServer server(
            Whole("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n10\r\nshort"));
        EXPECT_EQ(Get(server).result, -1);  // closed inside a chunk
    }
    {
        ScriptedHttpServer server(
            Whole("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nx\r\n0\r\n\r\n"));
        EXPECT_EQ(Get(server).result, -1);
    }
}

TEST(HttpExchange, SoapFaultReasonIsKeptBodyIsNotHandedOut) {
    const std::string fault =
        "<?xml version=\"1.0\"?>\r\n<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/"
        "envelope/\"><s:Body><s:Fault><faultcode>s:Client</faultcode><faultstring>UPnPError</"
        "faultstring><detail><UPnPError xmlns=\"urn:schemas-upnp-org:control-1-0\"><errorCode>"
        "718</errorCode><errorDescription>ConflictInMappingEntry</errorDescription></UPnPError>"
        "</detail></s:Fault></s:Body></s:Envelope>\r\n";
    for (bool withLength : {true, false}) {
        SCOPED_TRACE(withLength);
        std::vector<std::string> headers = {"Content-Type: text/xml"};
        if (withLength) {
            headers.push_back("Content-Length: " + std::to_string(fault.size()));
        }
        ScriptedHttpServer server(
            Whole(HttpReply("HTTP/1.1 500 Internal Server Error", headers, fault)));
        const Outcome o = Get(server);
        EXPECT_EQ(o.result, -1);
        EXPECT_EQ(o.body, "");
        EXPECT_EQ(o.headers.Count(), 0u);
        EXPECT_EQ(o.failure.step, Step::kStatus);
        EXPECT_EQ(o.failure.httpStatus, 500);
        EXPECT_EQ(o.failure.httpStatusText, "Internal Server Error");
        EXPECT_EQ(o.failure.upnpErrorCode, "718");
        EXPECT_EQ(o.failure.upnpErrorDescription, "ConflictInMappingEntry");
    }
}

TEST(HttpExchange, SilentGatewayFailsAfterTheRealHeaderBudget) {
    ScriptedHttpServer server(Reply{{}, 0, false});
    const Outcome o = Get(server, 3000);
    EXPECT_EQ(o.result, -1);
    EXPECT_EQ(o.failure.step, Step::kHeaderWait);
    EXPECT_GE(o.elapsedMs, 2950u);
    EXPECT_LT(o.elapsedMs, 5000u);
}

TEST(HttpExchange, ShortBodyFails) {
    {
        // Still open: the body budget runs out.
        ScriptedHttpServer server(
            Whole(HttpReply("HTTP/1.0 200 OK", {"Content-Length: 10"}, "12345"), false));
        const Outcome o = Get(server, 300);
        EXPECT_EQ(o.result, -1);
        EXPECT_EQ(o.failure.step, Step::kBody);
        EXPECT_EQ(o.body, "");
        EXPECT_EQ(o.headers.Count(), 1u);  // the headers collected stay
        EXPECT_GE(o.elapsedMs, 280u);
    }
    {
        // Closed: nothing more can come, so no need to wait.
        ScriptedHttpServer server(
            Whole(HttpReply("HTTP/1.0 200 OK", {"Content-Length: 10"}, "12345")));
        const Outcome o = Get(server, 2000);
        EXPECT_EQ(o.result, -1);
        EXPECT_EQ(o.failure.step, Step::kBody);
        EXPECT_LT(o.elapsedMs, 1500u);
    }
}

TEST(HttpExchange, HeaderBlockLimitAndEarlyClose) {
    {
        ScriptedHttpServer server(
            Whole("HTTP/1.0 200 OK\r\nX-Long: " + std::string(33000, 'a'), false));
        const Outcome o = Get(server, 2000);
        EXPECT_EQ(o.result, -1);
        EXPECT_EQ(o.failure.step, Step::kHeaderWait);
        EXPECT_NE(o.failure.detail.find("32000"), std::string::npos) << o.failure.detail;
    }
    {
        ScriptedHttpServer server(Whole("HTTP/1.0 200 OK\r\nServer: x\r\n"));
        const Outcome o = Get(server, 2000);
        EXPECT_EQ(o.result, -1);
        EXPECT_EQ(o.failure.step, Step::kHeaderWait);
        EXPECT_LT(o.elapsedMs, 1500u);
    }
}

TEST(HttpExchange, BodiesAreCappedNear32000) {
    const std::string big(40000, 'b');
    {
        ScriptedHttpServer server(
            Whole(HttpReply("HTTP/1.0 200 OK", {"Content-Length: 40000"}, big)));
        const Outcome o = Get(server, 2000);
        ASSERT_EQ(o.result, 0);
        EXPECT_GE(o.body.size(), 32000u);
        EXPECT_LE(o.body.size(), 32766u);
    }
    {
        ScriptedHttpServer server(Whole(HttpReply("HTTP/1.0 200 OK", {}, big), false));
        const Outcome o = Get(server, 2000);
        ASSERT_EQ(o.result, 0);
        EXPECT_EQ(o.body.size(), 32000u);
    }
    {
        std::string chunked;
        for (int i = 0; i < 40; ++i) {
            chunked += "3E8\r\n" + std::string(1000, 'c') + "\r\n";
        }
        ScriptedHttpServer server(Whole(
            HttpReply("HTTP/1.1 200 OK", {"Transfer-Encoding: chunked"}, chunked + "0\r\n\r\n")));
        const Outcome o = Get(server, 2000);
        ASSERT_EQ(o.result, 0);
        EXPECT_EQ(o.body, std::string(32000, 'c'));
    }
}

TEST(HttpExchange, BadUrlOrNoServerFailsBeforeAnyRequest) {
    ScriptedHttpServer server(Whole(HttpReply("HTTP/1.0 200 OK", {}, "")));
    CRouterDevice device;
    HttpHeaderList headers;
    std::string body = "stale";
    EXPECT_EQ(device.HttpRequest("ftp://127.0.0.1:" + std::to_string(server.Port()) + "/", "GET",
                                 HttpHeaderList(), "", headers, body),
              -1);
    EXPECT_EQ(device.LastFailure().step, Step::kUrl);
    EXPECT_EQ(body, "");
    EXPECT_EQ(
        device.HttpRequest("http://127.0.0.1:99999/", "GET", HttpHeaderList(), "", headers, body),
        -1);
    EXPECT_EQ(device.LastFailure().step, Step::kUrl);
    server.Stop();
    EXPECT_TRUE(server.Requests().empty());

    // The stopped server's port no longer listens.
    EXPECT_EQ(device.HttpRequest(server.Url("/"), "GET", HttpHeaderList(), "", headers, body), -1);
    EXPECT_EQ(device.LastFailure().step, Step::kConnect);
}
