#include "app/FirewallVerdict.h"

#include <algorithm>

#include "text/Text.h"

namespace {

bool Any(const std::string& s) {
    return s.empty() || s == "*";
}

// Windows compares paths without regard to case; ASCII is what differs in
// practice ("C:\Program Files" against "c:\program files").
bool SamePath(const std::string& a, const std::string& b) {
    return text::AsciiUpper(a) == text::AsciiUpper(b);
}

bool Lets(const platform::FirewallRule& r, long profile, bool udp, std::uint16_t port,
          const std::string& programPath) {
    return (r.profiles & profile) != 0 && (r.protocol == 256 || r.protocol == (udp ? 17 : 6)) &&
           PortsCover(r.ports, port) &&
           (Any(r.program) || (!programPath.empty() && SamePath(r.program, programPath))) &&
           Any(r.service) && Any(r.remote);
}

}  // namespace

bool PortsCover(const std::string& ports, std::uint16_t port) {
    if (Any(ports)) {
        return true;
    }
    std::size_t at = 0;
    while (at <= ports.size()) {
        std::size_t comma = ports.find(',', at);
        if (comma == std::string::npos) {
            comma = ports.size();
        }
        const std::string item = text::Trim(ports.substr(at, comma - at));
        at = comma + 1;
        const std::size_t dash = item.find('-');
        unsigned long long first = 0, last = 0;
        if (!text::ParseDecimal(item.substr(0, dash), 65535, &first)) {
            continue;
        }
        last = first;
        if (dash != std::string::npos && !text::ParseDecimal(item.substr(dash + 1), 65535, &last)) {
            continue;
        }
        if (port >= first && port <= last) {
            return true;
        }
    }
    return false;
}

FirewallVerdict JudgeFirewall(const platform::FirewallSnapshot& firewall, bool udp,
                              std::uint16_t port, const std::string& programPath) {
    if (!firewall.read) {
        return FirewallVerdict::kUnknown;
    }
    for (const platform::FirewallProfile& p : firewall.current) {
        if (!p.enabled) {
            continue;
        }
        if (p.blockAllInbound) {
            return FirewallVerdict::kWouldDrop;
        }
        if (!p.defaultInboundAllows && std::none_of(firewall.rules.begin(), firewall.rules.end(),
                                                    [&](const platform::FirewallRule& r) {
                                                        return Lets(r, p.type, udp, port,
                                                                    programPath);
                                                    })) {
            return FirewallVerdict::kWouldDrop;
        }
    }
    return FirewallVerdict::kLetsIn;
}
