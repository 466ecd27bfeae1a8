// The HTTP/1.0 wire format as the gateway exchange writes and reads it. Pure
// functions over bytes, kept apart from the socket so that they can be tested
// and fuzzed on their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "upnp/HttpHeaderList.h"

namespace upnp {

// A reply's header block is limited to this many bytes; its body (a device
// description or a SOAP answer) to kHttpBodyCap. Gateways send descriptions
// of tens of KB; a body past the cap is refused, not cut.
inline constexpr std::size_t kHttpHeaderCap = 32000;
inline constexpr std::size_t kHttpBodyCap = 1024 * 1024;

// The size of the header block at the start of `received`: up to and
// including the blank line. Lines may end in CR LF or in a bare LF, as
// routers send them. npos while the blank line has not come.
std::size_t HeaderBlockEnd(std::string_view received);

// The request: the request line, "Host" (with ":port" unless 80), the caller's
// headers in order, "Content-Length" when the body is not empty, the blank
// line and the body. Host and Content-Length are left to the caller when its
// list already names them.
std::string ComposeRequest(const std::string& method, const std::string& host, int port,
                           const std::string& path, const HttpHeaderList& headers,
                           const std::string& body);

// "HTTP/x.y 200 OK" or "HTTP/x.y 200": the version is not examined, the code
// must be three digits, the reason phrase may be missing or empty.
bool ParseStatusLine(std::string_view line, int* status, std::string* reason);

// The header lines of a block (after the status line, CR LF or LF each, the
// blank line optional). A line without ":" or with an empty value is skipped; names
// are kept as sent, values lose surrounding white space.
void ParseHeaderLines(std::string_view lines, HttpHeaderList& out);

// The value of the first header of this name (any letter case), or nullptr.
const std::string* FindHeader(const HttpHeaderList& headers, std::string_view name);

// True when the reply's last transfer coding is "chunked".
bool IsChunked(const HttpHeaderList& headers);

// Decodes a chunked body fed in pieces of any size. The decoded bytes stop at
// `cap`; reaching it counts as the end, and Overflowed() tells whether data
// past it was dropped.
class ChunkedDecoder {
public:
    explicit ChunkedDecoder(std::size_t cap = kHttpBodyCap) : cap_(cap) {}

    // Consumes all of `data`; decoded bytes are appended to `out`.
    void Feed(std::string_view data, std::string& out);
    bool Done() const { return state_ == State::kDone; }
    bool Failed() const { return state_ == State::kError; }
    bool Overflowed() const { return overflowed_; }
    // The last chunk has been read and only trailer lines may follow, so a
    // peer that closes now has sent the whole body.
    bool InTrailer() const { return state_ == State::kTrailer || Done(); }

private:
    enum class State { kSize, kData, kDataEnd, kTrailer, kDone, kError };
    // Lines are short (a size, an extension, a trailer field); anything longer
    // than this is no chunked framing.
    static constexpr std::size_t kMaxLine = 4096;

    bool TakeLine(std::string_view& data, std::string& line);

    std::size_t cap_;
    State state_ = State::kSize;
    std::string line_;
    std::uint64_t remaining_ = 0;
    bool overflowed_ = false;
};

}  // namespace upnp
