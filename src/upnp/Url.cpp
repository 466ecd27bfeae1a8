#include "upnp/Url.h"

#include <algorithm>
#include <string_view>

#include "net/Ipv6Text.h"
#include "text/Text.h"
#include "upnp/RouterDevice.h"

namespace {

constexpr std::string_view kScheme = "http://";

bool ParsePort(std::string_view digits, int& port) {
    if (digits.empty()) {
        port = 80;
        return true;
    }
    if (digits.size() > 5) {
        return false;
    }
    int value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > 65535) {
        return false;
    }
    port = value;
    return true;
}

// The address inside "[...]": an IPv6 address (an IPv4 tail allowed),
// then an optional zone after "%25" (RFC 6874), decoded to "%".
bool DecodeIpv6Literal(std::string_view inside, std::string* host) {
    const std::size_t zone = inside.find('%');
    const std::string_view address = inside.substr(0, zone);
    platform::Ipv6Address parsed;
    if (!net::ParseIPv6(address, &parsed)) {
        return false;
    }
    host->assign(address);
    if (zone == std::string_view::npos) {
        return true;
    }
    const std::string_view id = inside.substr(zone);
    if (id.substr(0, 3) != "%25" || id.size() == 3) {
        return false;
    }
    for (char c : id.substr(3)) {
        const bool unreserved = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
                                (c >= 'A' && c <= 'Z') || c == '-' || c == '.' || c == '_' ||
                                c == '~';
        if (!unreserved) {
            return false;
        }
    }
    *host += "%";
    host->append(id.substr(3));
    return true;
}

// The five parts of a URI reference (RFC 3986 appendix B). A part that is
// absent differs from one that is present and empty ("http://h?" has an empty
// query), so each carries its own flag.
struct UriParts {
    bool hasScheme = false;
    std::string scheme;
    bool hasAuthority = false;
    std::string authority;
    std::string path;
    bool hasQuery = false;
    std::string query;
    bool hasFragment = false;
    std::string fragment;
};

UriParts ParseUri(std::string_view s) {
    UriParts u;
    // scheme: up to the first ":" when it comes before any of "/?#".
    const std::size_t colon = s.find_first_of(":/?#");
    if (colon != std::string_view::npos && colon > 0 && s[colon] == ':') {
        u.hasScheme = true;
        u.scheme.assign(s.substr(0, colon));
        s.remove_prefix(colon + 1);
    }
    if (s.substr(0, 2) == "//") {
        s.remove_prefix(2);
        const std::size_t end = s.find_first_of("/?#");
        u.hasAuthority = true;
        u.authority.assign(s.substr(0, end));
        s.remove_prefix(end == std::string_view::npos ? s.size() : end);
    }
    const std::size_t pathEnd = s.find_first_of("?#");
    u.path.assign(s.substr(0, pathEnd));
    s.remove_prefix(pathEnd == std::string_view::npos ? s.size() : pathEnd);
    if (!s.empty() && s[0] == '?') {
        const std::size_t end = s.find('#');
        u.hasQuery = true;
        u.query.assign(
            s.substr(1, end == std::string_view::npos ? std::string_view::npos : end - 1));
        s.remove_prefix(end == std::string_view::npos ? s.size() : end);
    }
    if (!s.empty() && s[0] == '#') {
        u.hasFragment = true;
        u.fragment.assign(s.substr(1));
    }
    return u;
}

// RFC 3986 section 5.2.4.
std::string RemoveDotSegments(std::string_view in) {
    std::string out;
    while (!in.empty()) {
        if (in.substr(0, 3) == "../") {
            in.remove_prefix(3);
        } else if (in.substr(0, 2) == "./") {
            in.remove_prefix(2);
        } else if (in.substr(0, 3) == "/./") {
            in.remove_prefix(2);
        } else if (in == "/.") {
            in = "/";
        } else if (in.substr(0, 4) == "/../" || in == "/..") {
            // "/../x" and "/.." both continue with "/" (the rest of the input
            // after the dot dot); the last output segment goes.
            const bool more = in.size() > 3;
            in.remove_prefix(3);
            const std::size_t slash = out.rfind('/');
            out.erase(slash == std::string::npos ? 0 : slash);
            if (!more) {
                out.push_back('/');
                break;
            }
        } else if (in == "." || in == "..") {
            break;
        } else {
            // Move the first segment, with its leading "/" if any, to the output.
            const std::size_t next = in.find('/', in[0] == '/' ? 1 : 0);
            const std::size_t n = next == std::string_view::npos ? in.size() : next;
            out.append(in.substr(0, n));
            in.remove_prefix(n);
        }
    }
    return out;
}

// RFC 3986 section 5.2.3.
std::string MergePaths(const UriParts& base, const std::string& refPath) {
    if (base.hasAuthority && base.path.empty()) {
        return "/" + refPath;
    }
    const std::size_t slash = base.path.rfind('/');
    if (slash == std::string::npos) {
        return refPath;
    }
    return base.path.substr(0, slash + 1) + refPath;
}

std::string Recompose(const UriParts& u) {
    std::string s;
    if (u.hasScheme) {
        s += u.scheme + ":";
    }
    if (u.hasAuthority) {
        s += "//" + u.authority;
    }
    s += u.path;
    if (u.hasQuery) {
        s += "?" + u.query;
    }
    if (u.hasFragment) {
        s += "#" + u.fragment;
    }
    return s;
}

}  // namespace

int CRouterDevice::SplitUrl(std::string url, std::string& host, int& port, std::string& path) {
    if (!text::StartsWithNoCase(url, kScheme)) {
        return -1;
    }
    // Host and path go into the request line and the Host header as they
    // are: a control byte (CR LF above all) from a router's answer or
    // description would let it write request lines of its own.
    for (char c : url) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            return -1;
        }
    }
    const std::string_view rest = std::string_view(url).substr(kScheme.size());
    // The authority ends where the path, the query or the fragment begins; a
    // ":" after that belongs to them.
    const std::size_t authorityEnd = rest.find_first_of("/?#");
    const std::string_view authority = rest.substr(0, authorityEnd);
    std::string_view target =
        authorityEnd == std::string_view::npos ? std::string_view() : rest.substr(authorityEnd);

    std::string_view hostPart = authority;
    std::string_view portPart;
    std::string hostText;
    if (!authority.empty() && authority[0] == '[') {
        // An IPv6 literal; its zone ("%25eth0") is percent-encoded.
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos ||
            (close + 1 < authority.size() && authority[close + 1] != ':') ||
            !DecodeIpv6Literal(authority.substr(1, close - 1), &hostText)) {
            return -1;
        }
        portPart = authority.substr(std::min(close + 2, authority.size()));
    } else {
        const std::size_t colon = authority.find(':');
        if (colon != std::string_view::npos) {
            hostPart = authority.substr(0, colon);
            portPart = authority.substr(colon + 1);
        }
        // Brackets belong to IPv6 literals only.
        if (hostPart.find_first_of("[]") != std::string_view::npos) {
            return -1;
        }
        hostText.assign(hostPart);
    }
    int portValue = 0;
    if (hostText.empty() || !ParsePort(portPart, portValue)) {
        return -1;
    }
    // The fragment is the client's business and never goes on the wire.
    const std::size_t hash = target.find('#');
    if (hash != std::string_view::npos) {
        target = target.substr(0, hash);
    }
    host = std::move(hostText);
    port = portValue;
    path.assign(target);
    if (path.empty() || path[0] != '/') {
        path.insert(0, "/");
    }
    return 0;
}

namespace upnp {

std::string ResolveUrlReference(const std::string& base, const std::string& reference) {
    const UriParts b = ParseUri(base);
    const UriParts r = ParseUri(reference);
    UriParts t;
    if (r.hasScheme) {
        t = r;
        t.path = RemoveDotSegments(r.path);
    } else {
        if (r.hasAuthority) {
            t.hasAuthority = true;
            t.authority = r.authority;
            t.path = RemoveDotSegments(r.path);
            t.hasQuery = r.hasQuery;
            t.query = r.query;
        } else {
            if (r.path.empty()) {
                t.path = b.path;
                t.hasQuery = r.hasQuery ? true : b.hasQuery;
                t.query = r.hasQuery ? r.query : b.query;
            } else {
                if (r.path[0] == '/') {
                    t.path = RemoveDotSegments(r.path);
                } else {
                    t.path = RemoveDotSegments(MergePaths(b, r.path));
                }
                t.hasQuery = r.hasQuery;
                t.query = r.query;
            }
            t.hasAuthority = b.hasAuthority;
            t.authority = b.authority;
        }
        t.hasScheme = b.hasScheme;
        t.scheme = b.scheme;
        t.hasFragment = r.hasFragment;
        t.fragment = r.fragment;
    }
    return Recompose(t);
}

std::string ControlUrl(const std::string& urlBase, const std::string& location,
                       const std::string& controlUrl) {
    return ResolveUrlReference(urlBase.empty() ? location : urlBase, controlUrl);
}

}  // namespace upnp
