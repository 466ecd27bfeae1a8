#include "upnp/SsdpAnswer.h"

#include <cstring>

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

// "HTTP/1.1 200 OK": any HTTP version, status 200, any reason phrase.
bool IsSearchAnswerStatus(std::string_view line) {
    if (!text::StartsWithNoCase(line, "HTTP/")) {
        return false;
    }
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos) {
        return false;
    }
    const std::string_view status = TrimSpacesAndTabs(line.substr(space + 1)).substr(0, 4);
    return status == "200" || status == "200 " || status == "200\t";
}

}  // namespace

std::string SsdpSearchRequest(std::string_view searchTarget) {
    std::string request =
        "M-SEARCH * HTTP/1.1\r\n"
        "HOST: 239.255.255.250:1900\r\n"
        "MAN: \"ssdp:discover\"\r\n"
        "MX: 3\r\n"
        "ST: ";
    request += searchTarget;
    request += "\r\n\r\n";
    return request;
}

std::string SsdpSearchRequest6(std::string_view searchTarget) {
    std::string request =
        "M-SEARCH * HTTP/1.1\r\n"
        "HOST: [FF02::C]:1900\r\n"
        "MAN: \"ssdp:discover\"\r\n"
        "MX: 1\r\n"
        "ST: ";
    request += searchTarget;
    request += "\r\n\r\n";
    return request;
}

bool FindSsdpLocation(std::string_view datagram, std::string* location) {
    datagram = text::CutAtZero(datagram);
    bool statusLine = true;
    while (!datagram.empty()) {
        const std::string_view line = text::TakeLine(datagram);
        if (statusLine) {
            if (!IsSearchAnswerStatus(line)) {
                return false;
            }
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

bool IsDeviceAddress(std::uint32_t networkOrder) {
    unsigned char octets[4];
    std::memcpy(octets, &networkOrder, sizeof octets);
    return octets[0] != 0 && octets[0] < 224;
}

}  // namespace upnp
