// One HTTP/1.0 request and its reply over a connection of its own, in three
// steps: send the request, read the header block, read the body (or, after a
// failure status, the fault it carries).

#include <algorithm>
#include <memory>
#include <string_view>

#include "net/Ipv6Text.h"
#include "net/TcpSocket.h"
#include "platform/Clock.h"
#include "text/Text.h"
#include "upnp/HttpMessage.h"
#include "upnp/RouterDevice.h"
#include "upnp/Soap.h"

namespace {

using Step = FailureReason::Step;

constexpr char kBodyTooLarge[] = "body larger than 1 MiB";

int Fail(FailureReason& failure, Step step, std::string detail) {
    failure.step = step;
    failure.detail = std::move(detail);
    return -1;
}

// What a look at the bytes received so far decided.
enum class Seen { kEnough, kBroken, kWantMore };

// Looks at the connection until `look` has enough or finds the reply broken;
// between looks it waits for more bytes while the budget lasts. `look` gets
// the peer's closed flag, read before the look takes any bytes so that bytes
// that came with the close are not left behind; once closed it must decide.
// kWantMore as the result: the time ran out.
template <typename Look>
Seen LookWithin(CTcpSocket& socket, int budgetMs, Look look) {
    const std::uint32_t start = platform::TickCount();
    const std::uint32_t budget = static_cast<std::uint32_t>(std::max(budgetMs, 0));
    for (;;) {
        const Seen seen = look(socket.IsClosed() == 1);
        if (seen != Seen::kWantMore) {
            return seen;
        }
        const std::uint32_t elapsed = platform::ElapsedSince(start);
        if (elapsed >= budget) {
            return Seen::kWantMore;
        }
        socket.WaitForData(static_cast<int>(budget - elapsed));
    }
}

// Connects to the URL's host, or to `device` when that is known, and sends
// the request. 0 or -1.
int SendRequest(CTcpSocket& socket, const std::string& url, const CRouterDevice& device,
                const std::string& method, const HttpHeaderList& headers, const std::string& body,
                FailureReason& failure) {
    std::string host;
    std::string path;
    int port = 0;
    if (CRouterDevice::SplitUrl(url, host, port, path) != 0) {
        return Fail(failure, Step::kUrl, url);
    }
    // A host in a LOCATION, URLBase or control URL is the router's word, and
    // any device on the network can say "127.0.0.1" to steer this program
    // into a service of this machine. The device that answered the search is
    // the one asked, at the port and path it named.
    if (device.overIpv6) {
        host = "[" + net::FormatIPv6(device.address6) + "]";
    } else if (device.address.Value() != 0) {
        host = device.address.ToText();
    }
    // Header texts can come from the router (the SOAP action names the
    // service type of its description); a line break in one would add
    // request lines of the router's making.
    for (std::size_t i = 0; i < headers.Count(); ++i) {
        const auto& entry = headers.At(i);
        if (entry.first.find_first_of("\r\n") != std::string::npos ||
            entry.second.find_first_of("\r\n") != std::string::npos) {
            return Fail(failure, Step::kRequestSend, "line break in header " + entry.first);
        }
    }
    const int connected = device.overIpv6
                              ? socket.ConnectIPv6(device.address6, port, device.source6)
                              : socket.Connect(host, port);
    if (connected != 0) {
        return Fail(failure, Step::kConnect, socket.LastErrorText());
    }
    if (socket.SendText(upnp::ComposeRequest(method, host, port, path, headers, body)) < 0) {
        return Fail(failure, Step::kRequestSend, socket.LastErrorText());
    }
    return 0;
}

// Takes everything up to and including the blank line into `block`. 0 or -1.
int ReadHeaderBlock(CTcpSocket& socket, int budgetMs, std::string* block, FailureReason& failure) {
    std::unique_ptr<char[]> buffer(new char[CTcpSocket::kBufferSize]);
    std::size_t blockSize = 0;
    std::string why;
    const Seen seen = LookWithin(socket, budgetMs, [&](bool closed) {
        const int got = socket.PeekBytes(buffer.get(), CTcpSocket::kBufferSize);
        if (got < 0) {
            why = socket.LastErrorText();
            return Seen::kBroken;
        }
        const std::string_view received(buffer.get(), static_cast<std::size_t>(got));
        const std::size_t end = upnp::HeaderBlockEnd(received);
        if (end != std::string_view::npos) {
            blockSize = end;
            return Seen::kEnough;
        }
        if (received.size() > upnp::kHttpHeaderCap) {
            why = "header block larger than 32000 bytes";
            return Seen::kBroken;
        }
        if (closed) {
            why = "connection closed before the header block ended";
            return Seen::kBroken;
        }
        return Seen::kWantMore;
    });
    if (seen == Seen::kWantMore) {
        why = "no complete header block in time";
    }
    if (seen != Seen::kEnough) {
        return Fail(failure, Step::kHeaderWait, why);
    }
    block->resize(blockSize);
    if (socket.Read(block->data(), static_cast<int>(blockSize)) != static_cast<int>(blockSize)) {
        return Fail(failure, Step::kHeaderWait, socket.LastErrorText());
    }
    return 0;
}

// Moves everything the connection holds to the end of `body`. False when
// the receive fails or the body would grow past the cap.
bool TakeBuffered(CTcpSocket& socket, char* buffer, std::string& body, std::string& why) {
    for (;;) {
        const int got = socket.Read(buffer, CTcpSocket::kBufferSize);
        if (got < 0 && socket.IsClosed() == 1) {
            return true;  // all taken; the caller sees the close
        }
        if (got < 0) {
            why = "receive failed";
            return false;
        }
        if (got == 0) {
            return true;
        }
        if (body.size() + static_cast<std::size_t>(got) > upnp::kHttpBodyCap) {
            why = kBodyTooLarge;
            return false;
        }
        body.append(buffer, static_cast<std::size_t>(got));
    }
}

// Reads the body as the headers frame it: chunked, by Content-Length, or up
// to the peer's close. Every form is bounded by the budget and the size cap.
// False with a short reason in `why` on failure.
bool ReadBody(CTcpSocket& socket, const HttpHeaderList& headers, int budgetMs, std::string& body,
              std::string& why) {
    std::unique_ptr<char[]> buffer(new char[CTcpSocket::kBufferSize]);
    const std::string* length = upnp::FindHeader(headers, "Content-Length");
    const bool chunked = upnp::IsChunked(headers);

    if (!chunked && length != nullptr) {
        // Saturates: a length past int's range is past the cap too.
        const int announced = text::AtoiPrefix(*length);
        if (static_cast<long long>(announced) > static_cast<long long>(upnp::kHttpBodyCap)) {
            why = std::string(kBodyTooLarge) + " (announced " + *length + " bytes)";
            return false;
        }
        const auto n = static_cast<std::size_t>(std::max(announced, 0));
        body.reserve(n);
        // At least the announced bytes: whatever came with them is kept too.
        const Seen seen = LookWithin(socket, budgetMs, [&](bool closed) {
            if (!TakeBuffered(socket, buffer.get(), body, why)) {
                return Seen::kBroken;
            }
            if (body.size() >= n) {
                return Seen::kEnough;
            }
            if (closed) {
                why = "connection closed after " + std::to_string(body.size()) + " of " +
                      std::to_string(n) + " body bytes";
                return Seen::kBroken;
            }
            return Seen::kWantMore;
        });
        if (seen == Seen::kWantMore) {
            why = "body incomplete when the time ran out";
        }
        return seen == Seen::kEnough;
    }

    upnp::ChunkedDecoder decoder;
    const Seen seen = LookWithin(socket, budgetMs, [&](bool closed) {
        if (!chunked) {
            if (!TakeBuffered(socket, buffer.get(), body, why)) {
                return Seen::kBroken;
            }
            return closed ? Seen::kEnough : Seen::kWantMore;
        }
        const int got = socket.Read(buffer.get(), CTcpSocket::kBufferSize);
        if (got < 0) {
            why = "receive failed";
            return Seen::kBroken;
        }
        decoder.Feed(std::string_view(buffer.get(), static_cast<std::size_t>(got)), body);
        if (decoder.Failed()) {
            why = "bad chunked framing";
            return Seen::kBroken;
        }
        if (decoder.Overflowed()) {
            why = kBodyTooLarge;
            return Seen::kBroken;
        }
        if (decoder.Done() || (closed && decoder.InTrailer())) {
            return Seen::kEnough;
        }
        if (closed) {
            why = "connection closed inside a chunked body";
            return Seen::kBroken;
        }
        return Seen::kWantMore;
    });
    if (seen == Seen::kWantMore) {
        why = chunked ? "chunked body incomplete when the time ran out"
                      : "peer had not closed when the time ran out";
    }
    return seen == Seen::kEnough;
}

// The status and headers of `block`, then the body on status 200; after any
// other status the fault's UPnP error, and no body. 0 or -1.
int ReadBodyOrFault(CTcpSocket& socket, std::string_view block, int budgetMs,
                    HttpHeaderList& replyHeaders, std::string& replyBody, FailureReason& failure) {
    const std::size_t lineEnd = block.find('\n');
    std::string_view statusLine = block.substr(0, lineEnd);
    if (!statusLine.empty() && statusLine.back() == '\r') {
        statusLine.remove_suffix(1);
    }
    int status = 0;
    std::string reason;
    if (!upnp::ParseStatusLine(statusLine, &status, &reason)) {
        return Fail(failure, Step::kStatus, "unreadable status line: " + std::string(statusLine));
    }
    HttpHeaderList headers;
    upnp::ParseHeaderLines(block.substr(lineEnd + 1), headers);

    std::string why;
    if (status != 200) {
        failure.httpStatus = status;
        failure.httpStatusText = reason;
        // A SOAP fault says why in its body; the caller still gets none.
        std::string faultBody;
        if (ReadBody(socket, headers, budgetMs, faultBody, why)) {
            upnp::ExtractUpnpError(faultBody, &failure.upnpErrorCode,
                                   &failure.upnpErrorDescription);
        }
        return Fail(failure, Step::kStatus, {});
    }
    replyHeaders = headers;
    if (!ReadBody(socket, headers, budgetMs, replyBody, why)) {
        replyBody.clear();
        failure.httpStatus = status;
        failure.httpStatusText = reason;
        return Fail(failure, Step::kBody, why);
    }
    return 0;
}

}  // namespace

int CRouterDevice::HttpRequest(std::string url, std::string method,
                               const HttpHeaderList& requestHeaders, const std::string& requestBody,
                               HttpHeaderList& replyHeaders, std::string& replyBody) {
    failure_.Clear();
    replyHeaders.Clear();
    replyBody.clear();
    CTcpSocket socket;
    std::string block;
    if (SendRequest(socket, url, *this, method, requestHeaders, requestBody, failure_) != 0 ||
        ReadHeaderBlock(socket, headerBudgetMs_, &block, failure_) != 0) {
        return -1;
    }
    return ReadBodyOrFault(socket, block, bodyBudgetMs_, replyHeaders, replyBody, failure_);
}
