#include "upnp/SsdpAnswer.h"

#include "text/Text.h"

namespace upnp {

namespace {

std::string_view TrimSpacesAndTabs(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

}  // namespace

bool FindSsdpLocation(std::string_view datagram, std::string* location) {
    const std::size_t zero = datagram.find('\0');
    if (zero != std::string_view::npos) {
        datagram = datagram.substr(0, zero);
    }
    bool statusLine = true;
    while (!datagram.empty()) {
        const std::size_t lf = datagram.find('\n');
        std::string_view line = datagram.substr(0, lf);
        datagram = lf == std::string_view::npos ? std::string_view() : datagram.substr(lf + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (statusLine) {
            statusLine = false;
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos ||
            !text::EqualsNoCase(line.substr(0, colon), "location")) {
            continue;
        }
        const std::string_view value = TrimSpacesAndTabs(line.substr(colon + 1));
        if (value.empty()) {
            return false;
        }
        location->assign(value);
        return true;
    }
    return false;
}

}  // namespace upnp
