// A gateway's reply as the exchange reads it: the header block up to the
// blank line (status line, header lines), then the body, chunked or not.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "text/Text.h"
#include "upnp/HttpMessage.h"

namespace {

struct Decoded {
    std::string out;
    bool done;
    bool failed;
    bool inTrailer;
    bool overflowed;
};

// Feeds `body` in pieces whose sizes come from `sizes` (one byte each,
// cycled), as the socket hands them out.
Decoded DecodeInPieces(std::string_view body, std::string_view sizes, std::size_t cap) {
    upnp::ChunkedDecoder decoder(cap);
    Decoded d;
    std::size_t i = 0;
    while (!body.empty()) {
        std::size_t n =
            sizes.empty() ? body.size() : static_cast<unsigned char>(sizes[i++ % sizes.size()]) + 1;
        n = std::min(n, body.size());
        decoder.Feed(body.substr(0, n), d.out);
        body.remove_prefix(n);
        // Once finished or failed, further bytes change nothing.
        if (decoder.Done() || decoder.Failed()) {
            const std::string before = d.out;
            decoder.Feed(body, d.out);
            FUZZ_CHECK(d.out == before);
            break;
        }
    }
    d.done = decoder.Done();
    d.failed = decoder.Failed();
    d.inTrailer = decoder.InTrailer();
    d.overflowed = decoder.Overflowed();
    FUZZ_CHECK(!(d.done && d.failed));
    return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    // The first byte picks the piece sizes for the chunked decoder's second pass.
    std::string_view sizes;
    if (!input.empty()) {
        const std::size_t n = static_cast<unsigned char>(input[0]) % 8;
        input.remove_prefix(1);
        sizes = input.substr(0, std::min(n, input.size()));
    }

    const std::size_t end = upnp::HeaderBlockEnd(input);
    if (end == std::string_view::npos || end > upnp::kHttpHeaderCap) {
        return 0;  // the exchange gives up before parsing anything
    }
    const std::string_view block = input.substr(0, end);
    const std::string_view rest = input.substr(end);
    // The block ends in its first blank line, whatever the line ends.
    FUZZ_CHECK(block.back() == '\n');
    FUZZ_CHECK(upnp::HeaderBlockEnd(block.substr(0, end - 1)) == std::string_view::npos);

    const std::size_t lineEnd = block.find('\n');
    std::string_view statusLine = block.substr(0, lineEnd);
    if (!statusLine.empty() && statusLine.back() == '\r') {
        statusLine.remove_suffix(1);
    }
    int status = -1;
    std::string reason = "\x01";
    if (upnp::ParseStatusLine(statusLine, &status, &reason)) {
        FUZZ_CHECK(status >= 0 && status <= 999);
        FUZZ_CHECK(statusLine.find(reason) != std::string_view::npos);
    } else {
        FUZZ_CHECK(status == -1 && reason == "\x01");
    }

    HttpHeaderList headers;
    upnp::ParseHeaderLines(block.substr(lineEnd + 1), headers);
    for (std::size_t i = 0; i < headers.Count(); ++i) {
        const std::string& name = headers.At(i).first;
        const std::string& value = headers.At(i).second;
        FUZZ_CHECK(!name.empty() && !value.empty());
        FUZZ_CHECK(name.find(':') == std::string::npos);
        FUZZ_CHECK(name.find('\n') == std::string::npos && value.find('\n') == std::string::npos);
        FUZZ_CHECK(!text::IsAsciiSpace(value.front()) && !text::IsAsciiSpace(value.back()));
        // Every header is found by its name in any letter case.
        std::string upper = name;
        for (char& c : upper) {
            if (c >= 'a' && c <= 'z') {
                c = static_cast<char>(c - 'a' + 'A');
            }
        }
        const std::string* found = upnp::FindHeader(headers, upper);
        FUZZ_CHECK(found != nullptr && !found->empty());
    }
    if (const std::string* length = upnp::FindHeader(headers, "Content-Length")) {
        const int n =
            std::clamp(text::AtoiPrefix(*length), 0, static_cast<int>(upnp::kHttpBodyCap));
        FUZZ_CHECK(n >= 0 && n <= static_cast<int>(upnp::kHttpBodyCap));
    }

    if (upnp::IsChunked(headers) || !sizes.empty()) {
        // Small caps as well, so that the cap is met by short inputs.
        for (std::size_t cap : {upnp::kHttpBodyCap, std::size_t{16}}) {
            const Decoded whole = DecodeInPieces(rest, {}, cap);
            const Decoded pieces = DecodeInPieces(rest, sizes, cap);
            FUZZ_CHECK(whole.out.size() <= cap);
            FUZZ_CHECK(whole.out.size() <= rest.size());
            // The framing, not the way the bytes arrive, decides the result.
            FUZZ_CHECK(whole.out == pieces.out);
            FUZZ_CHECK(whole.done == pieces.done);
            FUZZ_CHECK(whole.failed == pieces.failed);
            FUZZ_CHECK(whole.inTrailer == pieces.inTrailer);
            FUZZ_CHECK(whole.overflowed == pieces.overflowed);
            FUZZ_CHECK(!whole.overflowed || whole.out.size() == cap);
        }
    }
    return 0;
}
