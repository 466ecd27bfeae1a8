// The floor for a run: the least a client can do to open the same rules on
// a network with one router. The first search only, to the group and to the
// gateway (the first answer with a location is taken), one GET of that
// description to find its WAN connection service (asking each for
// GetStatusInfo only when it lists several), then for every rule a POST of
// AddPortMapping (after the first that succeeds, one GetExternalIPAddress),
// each on a connection of its own, back to back, with blocking calls and no
// waits of its own. The request bytes are the ones pontaro-cli puts on the
// wire.
//
//   bench_floor_client [--gateway A.B.C.D] [--desc TEXT] [--proto TCP|UDP] PORT...
//   bench_floor_client [--gateway A.B.C.D] --list
//
// --list reads the router's table as pontaro-cli --list does: the search,
// one GET of the description, GetGenericPortMappingEntry from index 0 until
// the router answers anything but 200, then GetExternalIPAddress; ok= is the
// number of entries.
//
// Prints "floor_us=N ok=K search_us=S": the time from the start of main to
// the last reply, the rules that got 200, and how long the search took.
// Exit 0 when every POST got 200, 1 otherwise, 2 without an answer, 64 usage.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::int64_t NowUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

// The same 133 bytes pontaro-cli sends, its closing zero byte included.
constexpr char kSearch[] =
    "M-SEARCH * HTTP/1.1\r\n"
    "HOST: 239.255.255.250:1900\r\n"
    "MAN: \"ssdp:discover\"\r\n"
    "MX: 3\r\n"
    "ST: urn:schemas-upnp-org:service:WANIPConnection:1\r\n"
    "\r\n";
static_assert(sizeof kSearch == 133);

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char a = s[i];
        if (a >= 'A' && a <= 'Z') {
            a = static_cast<char>(a - 'A' + 'a');
        }
        if (a != prefix[i]) {
            return false;
        }
    }
    return true;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool FindLocation(std::string_view answer, std::string* location) {
    if (answer.compare(0, 5, "HTTP/") != 0 || answer.find(" 200") != answer.find(' ')) {
        return false;
    }
    while (!answer.empty()) {
        const std::size_t lf = answer.find('\n');
        const std::string_view line = answer.substr(0, lf);
        answer = lf == std::string_view::npos ? std::string_view() : answer.substr(lf + 1);
        if (StartsWithNoCase(line, "location:")) {
            *location = std::string(Trim(line.substr(9)));
            return !location->empty();
        }
    }
    return false;
}

// Returns the answer's location; the sender's address in `from`.
bool Search(in_addr_t gateway, std::string* location) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(1900);
    if (bind(fd, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0) {
        any.sin_port = 0;
        bind(fd, reinterpret_cast<sockaddr*>(&any), sizeof any);
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(1900);
    to.sin_addr.s_addr = inet_addr("239.255.255.250");
    sendto(fd, kSearch, sizeof kSearch, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    if (gateway != 0) {
        to.sin_addr.s_addr = gateway;
        sendto(fd, kSearch, sizeof kSearch, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
    const std::int64_t deadline = NowUs() + 3000000;
    static char buffer[65536];
    for (;;) {
        const std::int64_t left = deadline - NowUs();
        if (left <= 0) {
            break;
        }
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>((left + 999) / 1000)) <= 0) {
            continue;
        }
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n > 0 &&
            FindLocation(std::string_view(buffer, static_cast<std::size_t>(n)), location)) {
            close(fd);
            return true;
        }
    }
    close(fd);
    return false;
}

struct Url {
    std::string host;  // as written, for the Host header
    int port = 80;
    std::string path;
};

bool SplitUrl(const std::string& url, Url* out) {
    if (url.compare(0, 7, "http://") != 0) {
        return false;
    }
    const std::size_t slash = url.find('/', 7);
    const std::string authority =
        url.substr(7, slash == std::string::npos ? std::string::npos : slash - 7);
    out->path = slash == std::string::npos ? "/" : url.substr(slash);
    const std::size_t colon = authority.find(':');
    out->host = authority.substr(0, colon);
    out->port = colon == std::string::npos ? 80 : std::atoi(authority.c_str() + colon + 1);
    return !out->host.empty();
}

// One exchange on a fresh connection: send the request in one call, read
// the reply as its headers frame it (Content-Length, else to the close).
// Returns the status code, or -1; the body in `body`; the local address of
// the connection in `local`.
int Exchange(const Url& url, const std::string& request, std::string* body, std::string* local) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        return -1;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(url.port));
    to.sin_addr.s_addr = inet_addr(url.host.c_str());
    if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        close(fd);
        return -1;
    }
    if (local != nullptr) {
        sockaddr_in me{};
        socklen_t len = sizeof me;
        getsockname(fd, reinterpret_cast<sockaddr*>(&me), &len);
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &me.sin_addr, text, sizeof text);
        *local = text;
    }
    if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(request.size())) {
        close(fd);
        return -1;
    }
    std::string reply;
    char buffer[32768];
    std::size_t headerEnd = std::string::npos;
    long length = -1;
    for (;;) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            close(fd);
            return -1;
        }
        reply.append(buffer, static_cast<std::size_t>(n));
        if (headerEnd == std::string::npos) {
            headerEnd = reply.find("\r\n\r\n");
            if (headerEnd != std::string::npos) {
                std::string_view headers(reply.data(), headerEnd + 2);
                std::size_t at = 0;
                while (at < headers.size()) {
                    const std::size_t eol = headers.find("\r\n", at);
                    const std::string_view line = headers.substr(at, eol - at);
                    if (StartsWithNoCase(line, "content-length:")) {
                        length = std::atol(std::string(line.substr(15)).c_str());
                    }
                    at = eol + 2;
                }
            }
        }
        if (headerEnd != std::string::npos && length >= 0 &&
            reply.size() >= headerEnd + 4 + static_cast<std::size_t>(length)) {
            break;
        }
        if (n == 0) {
            break;
        }
    }
    close(fd);
    if (headerEnd == std::string::npos) {
        return -1;
    }
    *body = reply.substr(headerEnd + 4);
    const std::size_t space = reply.find(' ');
    return space == std::string::npos ? -1 : std::atoi(reply.c_str() + space + 1);
}

struct Service {
    std::string type;
    std::string control;
};

// serviceType and controlURL of every WANIPConnection or WANPPPConnection
// service, in document order.
std::vector<Service> FindServices(const std::string& description) {
    std::vector<Service> found;
    std::size_t at = 0;
    for (;;) {
        const std::size_t st = description.find("<serviceType>", at);
        if (st == std::string::npos) {
            return found;
        }
        const std::size_t stEnd = description.find("</serviceType>", st);
        const std::size_t serviceEnd = description.find("</service>", st);
        if (stEnd == std::string::npos || serviceEnd == std::string::npos) {
            return found;
        }
        Service s;
        s.type = description.substr(st + 13, stEnd - st - 13);
        if (s.type.find("WANIPConnection") != std::string::npos ||
            s.type.find("WANPPPConnection") != std::string::npos) {
            const std::size_t c = description.find("<controlURL>", st);
            const std::size_t cEnd = description.find("</controlURL>", c);
            if (c != std::string::npos && cEnd != std::string::npos && c < serviceEnd) {
                s.control = description.substr(c + 12, cEnd - c - 12);
                found.push_back(s);
            }
        }
        at = serviceEnd;
    }
}

std::string HostHeader(const Url& u) {
    return "Host: " + u.host + (u.port == 80 ? std::string() : ":" + std::to_string(u.port)) +
           "\r\n";
}

std::string Argument(const char* name, const char* type, const std::string& value) {
    return std::string("<") + name + " xmlns:dt=\"urn:schemas-microsoft-com:datatypes\" dt:dt=\"" +
           type + "\">" + value + "</" + name + ">";
}

// The same envelope and headers pontaro-cli sends for an action without the
// AddPortMapping layout.
std::string ActionPost(const Url& controlUrl, const std::string& type, const std::string& action,
                       const std::string& arguments) {
    const std::string envelope =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
        "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\""
        " s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">"
        "<s:Body><u:" +
        action + " xmlns:u=\"" + type + "\">" + arguments + "</u:" + action +
        "></s:Body></s:Envelope>";
    return "POST " + controlUrl.path + " HTTP/1.0\r\n" + HostHeader(controlUrl) +
           "Content-Type: text/xml; charset=\"utf-8\"\r\nSOAPAction: \"" + type + "#" + action +
           "\"\r\nContent-Length: " + std::to_string(envelope.size()) + "\r\n\r\n" + envelope;
}

int ListTable(const Url& descUrl, const std::string& get, std::int64_t start, std::int64_t found) {
    std::string description;
    if (Exchange(descUrl, get, &description, nullptr) != 200) {
        return 1;
    }
    const std::vector<Service> services = FindServices(description);
    if (services.empty()) {
        return 1;
    }
    const std::string type = services.front().type;
    const std::string control = services.front().control;
    Url controlUrl = descUrl;
    if (control.compare(0, 7, "http://") == 0) {
        SplitUrl(control, &controlUrl);
    } else {
        controlUrl.path = control;
    }
    int entries = 0;
    std::string reply;
    while (Exchange(controlUrl,
                    ActionPost(controlUrl, type, "GetGenericPortMappingEntry",
                               "<NewPortMappingIndex>" + std::to_string(entries) +
                                   "</NewPortMappingIndex>"),
                    &reply, nullptr) == 200) {
        ++entries;
    }
    const int status = Exchange(
        controlUrl, ActionPost(controlUrl, type, "GetExternalIPAddress", ""), &reply, nullptr);
    std::printf("floor_us=%lld ok=%d search_us=%lld\n", static_cast<long long>(NowUs() - start),
                entries, static_cast<long long>(found - start));
    return status == 200 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::int64_t start = NowUs();
    in_addr_t gateway = 0;
    std::string desc = "bench";
    std::string proto = "TCP";
    std::vector<int> ports;
    bool list = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--list") {
            list = true;
        } else if (a == "--gateway" && i + 1 < argc) {
            gateway = inet_addr(argv[++i]);
        } else if (a == "--desc" && i + 1 < argc) {
            desc = argv[++i];
        } else if (a == "--proto" && i + 1 < argc) {
            proto = argv[++i];
        } else if (!a.empty() && a[0] >= '0' && a[0] <= '9') {
            ports.push_back(std::atoi(a.c_str()));
        } else {
            std::fprintf(
                stderr,
                "usage: bench_floor_client [--gateway IP] [--desc TEXT] [--proto P] PORT...\n");
            return 64;
        }
    }

    std::string location;
    if (!Search(gateway, &location)) {
        std::printf("floor_us=%lld ok=0 (no answer)\n", static_cast<long long>(NowUs() - start));
        return 2;
    }
    Url descUrl;
    if (!SplitUrl(location, &descUrl)) {
        return 2;
    }
    const std::int64_t found = NowUs();
    const std::string get = "GET " + descUrl.path + " HTTP/1.0\r\n" + HostHeader(descUrl) + "\r\n";
    if (list) {
        return ListTable(descUrl, get, start, found);
    }
    const auto controlOf = [&descUrl](const Service& s) {
        Url u = descUrl;
        if (s.control.compare(0, 7, "http://") == 0) {
            SplitUrl(s.control, &u);
        } else {
            u.path = s.control;  // miniupnpd gives an absolute path
        }
        return u;
    };
    const auto post = [](const Url& u, const std::string& type, const char* action,
                         const std::string& envelope) {
        return "POST " + u.path + " HTTP/1.0\r\n" + HostHeader(u) +
               "Content-Type: text/xml; charset=\"utf-8\"\r\n"
               "SOAPAction: \"" +
               type + "#" + action +
               "\"\r\n"
               "Content-Length: " +
               std::to_string(envelope.size()) + "\r\n\r\n" + envelope;
    };

    // The answer's description: is it a gateway, and which service takes the rules.
    std::size_t chosen = 0;
    std::string local;
    std::vector<Service> services;
    {
        std::string description;
        if (Exchange(descUrl, get, &description, &local) != 200) {
            return 2;
        }
        services = FindServices(description);
        if (services.empty()) {
            return 2;
        }
        for (std::size_t i = 0; services.size() > 1 && i < services.size(); ++i) {
            const std::string envelope =
                "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\""
                " s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">"
                "<s:Body><u:GetStatusInfo xmlns:u=\"" +
                services[i].type + "\"></u:GetStatusInfo></s:Body></s:Envelope>";
            std::string reply;
            if (Exchange(controlOf(services[i]),
                         post(controlOf(services[i]), services[i].type, "GetStatusInfo", envelope),
                         &reply, nullptr) == 200 &&
                reply.find(">Connected<") != std::string::npos) {
                chosen = i;
                break;
            }
        }
    }

    int ok = 0;
    const Service& service = services[chosen];
    const Url controlUrl = controlOf(service);
    for (const int port : ports) {
        const std::string p = std::to_string(port);
        const std::string envelope =
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
            "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\""
            " SOAP-ENV:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">"
            "<SOAP-ENV:Body><m:AddPortMapping xmlns:m=\"" +
            service.type + "\">" + Argument("NewRemoteHost", "string", "") +
            Argument("NewExternalPort", "ui2", p) + Argument("NewProtocol", "string", proto) +
            Argument("NewInternalPort", "ui2", p) + Argument("NewInternalClient", "string", local) +
            Argument("NewEnabled", "boolean", "1") +
            Argument("NewPortMappingDescription", "string", desc) +
            Argument("NewLeaseDuration", "ui4", "0") +
            "</m:AddPortMapping></SOAP-ENV:Body></SOAP-ENV:Envelope>";
        std::string reply;
        if (Exchange(controlUrl, post(controlUrl, service.type, "AddPortMapping", envelope), &reply,
                     nullptr) == 200) {
            // After the first mapping, the router's outside address, once.
            if (++ok == 1) {
                const std::string query =
                    "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                    "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\""
                    " s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">"
                    "<s:Body><u:GetExternalIPAddress xmlns:u=\"" +
                    service.type + "\"></u:GetExternalIPAddress></s:Body></s:Envelope>";
                Exchange(controlUrl, post(controlUrl, service.type, "GetExternalIPAddress", query),
                         &reply, nullptr);
            }
        }
    }
    const std::int64_t elapsed = NowUs() - start;
    std::printf("floor_us=%lld ok=%d search_us=%lld\n", static_cast<long long>(elapsed), ok,
                static_cast<long long>(found - start));
    return ok == static_cast<int>(ports.size()) ? 0 : 1;
}
