// URLs from outside: the location of an SSDP answer, and URLBase and
// controlURL of a description, split and joined as the exchange does.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "upnp/RouterDevice.h"
#include "upnp/Url.h"

namespace {

// A split that succeeds hands the connection something it can use.
void CheckSplit(const std::string& url) {
    std::string host = "\x01";
    std::string path = "\x01";
    int port = -12345;
    if (CRouterDevice::SplitUrl(url, host, port, path) != 0) {
        return;
    }
    FUZZ_CHECK(port >= 1 && port <= 65535);
    FUZZ_CHECK(!path.empty() && path[0] == '/');
    FUZZ_CHECK(!host.empty());
    FUZZ_CHECK(host.find_first_of("/?#[]") == std::string::npos);
    // A ":" only in an IPv6 literal, whose zone lost its "%25" encoding.
    const bool ipv6 = host.find(':') != std::string::npos;
    FUZZ_CHECK(!ipv6 || url.find('[') != std::string::npos);
    const std::size_t zone = ipv6 ? host.find('%') : std::string::npos;
    const std::string inUrl =
        zone == std::string::npos ? host : host.substr(0, zone) + "%25" + host.substr(zone + 1);
    FUZZ_CHECK(path.find('#') == std::string::npos);
    // Host and path go into the request line and the Host header as they
    // are: a control byte there (CR LF above all) would let a router's
    // answer or description write request lines of its own.
    for (const std::string* s : {&host, &path}) {
        for (char c : *s) {
            FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f);
        }
    }
    // The pieces come from the URL itself; nothing is invented but the "/"
    // of an empty path.
    FUZZ_CHECK(url.find(inUrl) != std::string::npos);
    FUZZ_CHECK(url.find(path) != std::string::npos ||
               url.find(path.substr(1)) != std::string::npos);
    // Splitting is stable: the URL put together again splits the same way.
    std::string again =
        "http://" + (ipv6 ? "[" + inUrl + "]" : host) + ":" + std::to_string(port) + path;
    std::string host2;
    std::string path2;
    int port2 = 0;
    FUZZ_CHECK(CRouterDevice::SplitUrl(again, host2, port2, path2) == 0);
    FUZZ_CHECK(host2 == host && port2 == port && path2 == path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // Up to three pieces separated by newlines: location, URLBase, controlURL.
    std::string pieces[3];
    std::size_t at = 0;
    for (int i = 0; i < 3; ++i) {
        const std::size_t nl = input.find('\n', at);
        pieces[i].assign(input.substr(at, nl == std::string_view::npos ? nl : nl - at));
        if (nl == std::string_view::npos) {
            at = input.size();
            for (int j = i + 1; j < 3; ++j) {
                pieces[j].clear();
            }
            break;
        }
        at = nl + 1;
    }
    const std::string& location = pieces[0];
    const std::string& urlBase = pieces[1];
    const std::string& controlUrl = pieces[2];

    CheckSplit(location);
    const std::string resolved = upnp::ControlUrl(urlBase, location, controlUrl);
    CheckSplit(resolved);

    // An absolute http base keeps its scheme and authority for a reference
    // that names neither.
    const std::string& base = urlBase.empty() ? location : urlBase;
    std::string host;
    std::string path;
    int port = 0;
    if (CRouterDevice::SplitUrl(base, host, port, path) == 0 &&
        base.compare(0, 7, "http://") == 0 && controlUrl.find_first_of(":/?#") != 0 &&
        controlUrl.find(':') == std::string::npos &&
        std::none_of(controlUrl.begin(), controlUrl.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;  // refused by the split
        })) {
        FUZZ_CHECK(resolved.compare(0, 7, "http://") == 0);
        std::string rhost;
        std::string rpath;
        int rport = 0;
        FUZZ_CHECK(CRouterDevice::SplitUrl(resolved, rhost, rport, rpath) == 0);
        FUZZ_CHECK(rhost == host && rport == port);
    }
    // Dot segments are gone from a path that was resolved (a reference
    // without a path keeps the base's path as it is).
    if (!controlUrl.empty() && controlUrl[0] != '?' && controlUrl[0] != '#' &&
        resolved.compare(0, 7, "http://") == 0) {
        std::string rhost;
        std::string rpath;
        int rport = 0;
        if (CRouterDevice::SplitUrl(resolved, rhost, rport, rpath) == 0) {
            const std::string_view p = std::string_view(rpath).substr(0, rpath.find('?'));
            FUZZ_CHECK(p.find("/./") == std::string_view::npos);
            FUZZ_CHECK(p.find("/../") == std::string_view::npos);
        }
    }
    return 0;
}
