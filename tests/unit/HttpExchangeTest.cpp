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

TEST(HttpExchange, HeaderNamesInAnyCaseWithOrWithoutSpaceLinesEndingInLfAlone) {
    const std::string replies[] = {
        HttpReply("HTTP/1.0 200 OK", {"content-length: 5"}, "12345"),
        HttpReply("HTTP/1.0 200 OK", {"CONTENT-LENGTH:5"}, "12345"),
        HttpReply("HTTP/1.0 200 OK", {"Content-Length:\t 5 "}, "12345"),
        // Routers that end lines in LF alone, wholly or in part.
        "HTTP/1.1 200 OK\nContent-Length: 5\nServer: x\n\n12345",
        "HTTP/1.1 200 OK\r\nContent-Length: 5\n\r\n12345",
    };
    for (const std::string& reply : replies) {
        SCOPED_TRACE(reply);
        // Held open: only the length can end the read in time.
        ScriptedHttpServer server(Whole(reply, false));
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

TEST(HttpExchange, SilentGatewayFailsAtTheHeaderBudget) {
    ScriptedHttpServer server(Reply{{}, 0, false});
    const Outcome o = Get(server, 300);
    EXPECT_EQ(o.result, -1);
    EXPECT_EQ(o.failure.step, Step::kHeaderWait);
    EXPECT_GE(o.elapsedMs, 290u);
    EXPECT_LT(o.elapsedMs, 2300u);
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

// Descriptions of tens of KB and more exist; up to 1 MiB is read whole in
// every framing, anything larger is refused rather than cut.
TEST(HttpExchange, BodiesUpTo1MiBWholeLargerRefused) {
    // 1 KiB chunks, then `extra` bytes in one more.
    const auto chunked = [](std::size_t kb, std::size_t extra = 0) {
        std::string c;
        for (std::size_t i = 0; i < kb; ++i) {
            c += "400\r\n" + std::string(1024, 'c') + "\r\n";
        }
        if (extra != 0) {
            c += "1\r\n" + std::string(extra, 'c') + "\r\n";
        }
        return HttpReply("HTTP/1.1 200 OK", {"Transfer-Encoding: chunked"}, c + "0\r\n\r\n");
    };
    const std::string big(200 * 1024, 'b');
    const std::string mib(1024 * 1024, 'm');
    const std::string huge(1024 * 1024 + 1, 'h');
    const struct {
        std::string reply;
        bool close;
        std::size_t bodySize;  // 0: refused
    } rows[] = {
        {HttpReply("HTTP/1.0 200 OK", {"Content-Length: 204800"}, big), false, big.size()},
        {HttpReply("HTTP/1.0 200 OK", {"Content-Length: 1048576"}, mib), false, mib.size()},
        {HttpReply("HTTP/1.0 200 OK", {}, mib), true, mib.size()},
        {chunked(1024), true, 1024 * 1024},
        {HttpReply("HTTP/1.0 200 OK", {"Content-Length: 1048577"}, huge), true, 0},
        {HttpReply("HTTP/1.0 200 OK", {"Content-Length: 99999999999999"}, ""), true, 0},
        {HttpReply("HTTP/1.0 200 OK", {}, huge), true, 0},
        {chunked(1024, 1), true, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reply.substr(0, 80));
        ScriptedHttpServer server(Whole(row.reply, row.close));
        const Outcome o = Get(server, 2000);
        if (row.bodySize != 0) {
            ASSERT_EQ(o.result, 0) << o.failure.detail;
            EXPECT_EQ(o.body.size(), row.bodySize);
            continue;
        }
        EXPECT_EQ(o.result, -1);
        EXPECT_EQ(o.failure.step, Step::kBody);
        EXPECT_NE(o.failure.detail.find("larger than 1 MiB"), std::string::npos)
            << o.failure.detail;
        EXPECT_TRUE(o.body.empty());
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
