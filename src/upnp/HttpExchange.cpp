// One HTTP/1.0 request and its reply over a connection of its own.

#include <algorithm>
#include <memory>
#include <string_view>

#include "net/TcpSocket.h"
#include "platform/Clock.h"
#include "text/Text.h"
#include "upnp/HttpMessage.h"
#include "upnp/RouterDevice.h"
#include "upnp/Soap.h"

namespace {

// A body framed by Content-Length is what one read hands out: everything
// buffered, up to one byte short of the receive buffer.
constexpr int kMaxLengthBody = CTcpSocket::kBufferSize - 1;

// Counts down one budget on the tick.
class Budget {
public:
    explicit Budget(int ms) : start_(platform::TickCount()), ms_(ms < 0 ? 0 : ms) {}
    int Remaining() const {
        const std::uint32_t elapsed = platform::ElapsedSince(start_);
        return elapsed >= static_cast<std::uint32_t>(ms_) ? 0 : ms_ - static_cast<int>(elapsed);
    }

private:
    std::uint32_t start_;
    int ms_;
};

// Waits for more bytes, blocking on the socket's readiness. False when the
// budget is spent.
bool WaitMore(CTcpSocket& socket, const Budget& budget) {
    const int remaining = budget.Remaining();
    if (remaining <= 0) {
        return false;
    }
    socket.WaitForData(remaining);
    return true;
}

enum class BodyResult { kOk, kFailed };

// Reads the body as the headers frame it: chunked, by Content-Length, or up
// to the peer's close. Every form is bounded by the budget and the size cap.
// `why` gets a short reason on failure.
BodyResult ReadBody(CTcpSocket& socket, const HttpHeaderList& headers, int budgetMs,
                    std::string& body, std::string& why) {
    const Budget budget(budgetMs);
    std::unique_ptr<char[]> buffer(new char[CTcpSocket::kBufferSize]);
    const std::string* length = upnp::FindHeader(headers, "Content-Length");
    const bool chunked = upnp::IsChunked(headers);

    if (!chunked && length != nullptr) {
        const int announced = text::AtoiPrefix(*length);
        const int n = std::clamp(announced, 0, static_cast<int>(upnp::kHttpSizeCap));
        for (;;) {
            const bool closed = socket.IsClosed() == 1;
            const int available = socket.Available();
            if (available < 0) {
                why = "receive failed";
                return BodyResult::kFailed;
            }
            if (available >= n) {
                // Everything buffered, as much as one read hands out: at
                // least the announced bytes, perhaps more.
                const int got = socket.Read(buffer.get(), kMaxLengthBody);
                if (got < 0) {
                    why = "receive failed";
                    return BodyResult::kFailed;
                }
                body.assign(buffer.get(), static_cast<std::size_t>(got));
                return BodyResult::kOk;
            }
            if (closed) {
                why = "connection closed after " + std::to_string(available) + " of " +
                      std::to_string(n) + " body bytes";
                return BodyResult::kFailed;
            }
            if (!WaitMore(socket, budget)) {
                why = "body incomplete when the time ran out";
                return BodyResult::kFailed;
            }
        }
    }

    upnp::ChunkedDecoder decoder;
    for (;;) {
        // The closed flag is read before the last bytes are taken, so that
        // bytes that came with the close are not left behind.
        const bool closed = socket.IsClosed() == 1;
        const int got = socket.Read(buffer.get(), CTcpSocket::kBufferSize);
        if (got < 0) {
            why = "receive failed";
            return BodyResult::kFailed;
        }
        const std::string_view piece(buffer.get(), static_cast<std::size_t>(got));
        if (chunked) {
            decoder.Feed(piece, body);
            if (decoder.Failed()) {
                why = "bad chunked framing";
                return BodyResult::kFailed;
            }
            if (decoder.Done() || (closed && decoder.InTrailer())) {
                return BodyResult::kOk;
            }
            if (closed) {
                why = "connection closed inside a chunked body";
                return BodyResult::kFailed;
            }
        } else {
            body.append(
                piece.substr(0, upnp::kHttpSizeCap - std::min(body.size(), upnp::kHttpSizeCap)));
            if (closed || body.size() >= upnp::kHttpSizeCap) {
                return BodyResult::kOk;
            }
        }
        if (!WaitMore(socket, budget)) {
            why = chunked ? "chunked body incomplete when the time ran out"
                          : "peer had not closed when the time ran out";
            return BodyResult::kFailed;
        }
    }
}

}  // namespace

int CRouterDevice::HttpRequest(std::string url, std::string method,
                               const HttpHeaderList& requestHeaders, const std::string& requestBody,
                               HttpHeaderList& replyHeaders, std::string& replyBody) {
    using Step = FailureReason::Step;
    failure_.Clear();
    replyHeaders.Clear();
    replyBody.clear();
    const auto fail = [this](Step step, std::string detail) {
        failure_.step = step;
        failure_.detail = std::move(detail);
        return -1;
    };

    std::string host;
    std::string path;
    int port = 0;
    if (SplitUrl(url, host, port, path) != 0) {
        return fail(Step::kUrl, url);
    }

    // Header texts can come from the router (the SOAP action names the
    // service type of its description); a line break in one would add
    // request lines of the router's making.
    for (std::size_t i = 0; i < requestHeaders.Count(); ++i) {
        const auto& entry = requestHeaders.At(i);
        if (entry.first.find_first_of("\r\n") != std::string::npos ||
            entry.second.find_first_of("\r\n") != std::string::npos) {
            return fail(Step::kRequestSend, "line break in header " + entry.first);
        }
    }

    CTcpSocket socket;
    if (socket.Connect(host, port) != 0) {
        return fail(Step::kConnect, socket.LastErrorText());
    }
    if (socket.SendText(
            upnp::ComposeRequest(method, host, port, path, requestHeaders, requestBody)) < 0) {
        return fail(Step::kRequestSend, socket.LastErrorText());
    }

    // The header block: everything up to the blank line.
    std::unique_ptr<char[]> buffer(new char[CTcpSocket::kBufferSize]);
    std::size_t blockSize = 0;
    {
        const Budget budget(headerBudgetMs_);
        for (;;) {
            const bool closed = socket.IsClosed() == 1;
            const int got = socket.PeekBytes(buffer.get(), CTcpSocket::kBufferSize);
            if (got < 0) {
                return fail(Step::kHeaderWait, socket.LastErrorText());
            }
            const std::string_view seen(buffer.get(), static_cast<std::size_t>(got));
            const std::size_t end = seen.find("\r\n\r\n");
            if (end != std::string_view::npos) {
                blockSize = end + 4;
                break;
            }
            if (seen.size() > upnp::kHttpSizeCap) {
                return fail(Step::kHeaderWait, "header block larger than 32000 bytes");
            }
            if (closed) {
                return fail(Step::kHeaderWait, "connection closed before the header block ended");
            }
            if (!WaitMore(socket, budget)) {
                return fail(Step::kHeaderWait, "no complete header block in time");
            }
        }
    }
    if (socket.Read(buffer.get(), static_cast<int>(blockSize)) != static_cast<int>(blockSize)) {
        return fail(Step::kHeaderWait, socket.LastErrorText());
    }
    const std::string_view block(buffer.get(), blockSize);
    const std::size_t lineEnd = block.find("\r\n");
    const std::string_view statusLine = block.substr(0, lineEnd);

    int status = 0;
    std::string reason;
    if (!upnp::ParseStatusLine(statusLine, &status, &reason)) {
        return fail(Step::kStatus, "unreadable status line: " + std::string(statusLine));
    }
    HttpHeaderList headers;
    upnp::ParseHeaderLines(block.substr(lineEnd + 2), headers);

    if (status != 200) {
        failure_.httpStatus = status;
        failure_.httpStatusText = reason;
        // A SOAP fault says why in its body; the caller still gets none.
        std::string faultBody;
        std::string why;
        if (ReadBody(socket, headers, bodyBudgetMs_, faultBody, why) == BodyResult::kOk) {
            upnp::ExtractUpnpError(faultBody, &failure_.upnpErrorCode,
                                   &failure_.upnpErrorDescription);
        }
        return fail(Step::kStatus, {});
    }

    replyHeaders = headers;
    std::string why;
    if (ReadBody(socket, headers, bodyBudgetMs_, replyBody, why) != BodyResult::kOk) {
        replyBody.clear();
        failure_.httpStatus = status;
        failure_.httpStatusText = reason;
        return fail(Step::kBody, why);
    }
    return 0;
}
