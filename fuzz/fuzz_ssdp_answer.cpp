// One datagram that reached the search socket, as discovery reads it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "text/Text.h"
#include "upnp/SsdpAnswer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view datagram(reinterpret_cast<const char*>(data), size);
    const std::string untouched = "\x01untouched";
    std::string location = untouched;
    if (!upnp::FindSsdpLocation(datagram, &location)) {
        FUZZ_CHECK(location == untouched);
        return 0;
    }
    // A location is one trimmed, non-empty piece of the text before the
    // first zero byte, on a line of its own. (Other control bytes in it are
    // the URL splitter's to refuse.)
    FUZZ_CHECK(!location.empty());
    FUZZ_CHECK(location.find_first_of(std::string_view("\n\0", 2)) == std::string::npos);
    FUZZ_CHECK(location.front() != ' ' && location.front() != '\t');
    FUZZ_CHECK(location.back() != ' ' && location.back() != '\t');
    const std::string_view text = datagram.substr(0, datagram.find('\0'));
    FUZZ_CHECK(text.find(location) != std::string_view::npos);
    // Only an answer to a search: an HTTP status line with 200.
    FUZZ_CHECK(text::StartsWithNoCase(text, "HTTP/"));
    FUZZ_CHECK(text.find("200") < text.find('\n'));
    // Not on the status line: the first line never names the location.
    const std::size_t firstLineEnd = text.find('\n');
    FUZZ_CHECK(firstLineEnd != std::string_view::npos);
    FUZZ_CHECK(text.find(location, firstLineEnd) != std::string_view::npos);
    return 0;
}
