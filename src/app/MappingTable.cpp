#include "app/MappingTable.h"

#include <algorithm>
#include <cstdint>

#include "app/texts/Catalog.h"
#include "text/RouterText.h"
#include "text/Text.h"

namespace {

// Decodes valid UTF-8 (as SanitizeUtf8 leaves it) one code point at a time.
std::uint32_t NextCodePoint(std::string_view s, std::size_t* at) {
    const auto b = static_cast<unsigned char>(s[*at]);
    int length = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    length = std::min<int>(length, static_cast<int>(s.size() - *at));
    std::uint32_t cp = length == 1 ? b : b & (0x3F >> (length - 1));
    for (int i = 1; i < length; ++i) {
        cp = (cp << 6) | (static_cast<unsigned char>(s[*at + i]) & 0x3F);
    }
    *at += static_cast<std::size_t>(length);
    return cp;
}

bool IsWide(std::uint32_t cp) {
    static constexpr std::uint32_t kWide[][2] = {
        {0x1100, 0x115F},   {0x2E80, 0x303E},  {0x3041, 0x33FF}, {0x3400, 0x4DBF},
        {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},  {0xAC00, 0xD7A3}, {0xF900, 0xFAFF},
        {0xFE30, 0xFE4F},   {0xFF00, 0xFF60},  {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F},
        {0x1F900, 0x1F9FF}, {0x20000, 0x3FFFD}};
    for (const auto& range : kWide) {
        if (cp >= range[0] && cp <= range[1]) {
            return true;
        }
    }
    return false;
}

std::string PadTo(const std::string& s, int width) {
    const int w = DisplayWidth(s);
    return w >= width ? s : s + std::string(static_cast<std::size_t>(width - w), ' ');
}

// Up to ten decimal digits, as a router writes a number.
bool AllDigits(std::string_view s, unsigned long long max = ~0ULL,
               unsigned long long* value = nullptr) {
    unsigned long long v = 0;
    if (s.size() > 10 || !text::ParseDecimal(s, max, &v)) {
        return false;
    }
    if (value != nullptr) {
        *value = v;
    }
    return true;
}

std::string LeaseText(const PortMappingEntry& e) {
    using texts::Msg;
    std::string lease = e.leaseDuration == "0" ? texts::Text(Msg::kLeaseForever)
                        : AllDigits(e.leaseDuration)
                            ? texts::Format(Msg::kLeaseSeconds, {e.leaseDuration})
                            : OneLineText(e.leaseDuration);
    if (!e.remoteHost.empty()) {
        lease += texts::Format(Msg::kLeaseRemoteHost, {OneLineText(e.remoteHost)});
    }
    if (e.enabled == "0") {
        lease += texts::Text(Msg::kLeaseDisabled);
    }
    return lease;
}

// Descriptions longer than this push the last column to the right instead
// of widening every line.
constexpr int kDescriptionColumnMax = 32;

}  // namespace

std::string JsonString(std::string_view raw) {
    const std::string s = text::Utf8FromRouter(raw);
    std::string out = "\"";
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u == 0x7F) {
            static constexpr char kHex[] = "0123456789abcdef";
            out += "\\u00";
            out += kHex[u >> 4];
            out += kHex[u & 0xF];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

namespace {

// A number when the router sent decimal digits within `max`, else null.
std::string JsonNumber(std::string_view s, std::uint64_t max) {
    unsigned long long v = 0;
    return AllDigits(s, max, &v) ? std::to_string(v) : "null";
}

std::string JsonBool(std::string_view s) {
    if (s == "1" || text::EqualsNoCase(s, "true") || text::EqualsNoCase(s, "yes")) {
        return "true";
    }
    if (s == "0" || text::EqualsNoCase(s, "false") || text::EqualsNoCase(s, "no")) {
        return "false";
    }
    return "null";
}

}  // namespace

std::string JsonStringOrNull(const std::string& s) {
    return s.empty() ? std::string("null") : JsonString(s);
}

int DisplayWidth(std::string_view s) {
    const std::string valid = text::SanitizeUtf8(s);
    int width = 0;
    for (std::size_t at = 0; at < valid.size();) {
        width += IsWide(NextCodePoint(valid, &at)) ? 2 : 1;
    }
    return width;
}

std::string OneLineText(std::string_view s) {
    std::string out = text::Utf8FromRouter(s);
    for (char& c : out) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            c = ' ';
        }
    }
    return out;
}

std::string MappingTableText(const std::vector<PortMappingEntry>& entries,
                             const std::string& localAddress,
                             const std::vector<bool>& madeByPontaro) {
    if (entries.empty()) {
        return std::string();
    }
    struct Row {
        std::string mark, port, protocol, target, description, lease;
    };
    // The column for "Pontaro" only when some row has it: a table without
    // any looks as it always did.
    const bool anyMade =
        std::find(madeByPontaro.begin(), madeByPontaro.end(), true) != madeByPontaro.end();
    const auto made = [&](std::size_t i) {
        return i < madeByPontaro.size() && madeByPontaro[i] ? " Pontaro"
               : anyMade                                    ? "        "
                                                            : "";
    };
    std::vector<Row> rows;
    rows.push_back(
        {anyMade ? std::string(9, ' ') : " ", texts::Text(texts::Msg::kColumnPort),
         texts::Text(texts::Msg::kColumnProtocol), texts::Text(texts::Msg::kColumnTarget),
         texts::Text(texts::Msg::kColumnDescription), texts::Text(texts::Msg::kColumnLease)});
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const PortMappingEntry& e = entries[i];
        rows.push_back({(e.internalClient == localAddress && !localAddress.empty() ? "*" : " ") +
                            std::string(made(i)),
                        OneLineText(e.externalPort), OneLineText(e.protocol),
                        OneLineText(e.internalClient) + ":" + OneLineText(e.internalPort),
                        OneLineText(e.description), LeaseText(e)});
    }
    int port = 0, protocol = 0, target = 0, description = 0;
    for (const Row& r : rows) {
        port = std::max(port, DisplayWidth(r.port));
        protocol = std::max(protocol, DisplayWidth(r.protocol));
        target = std::max(target, DisplayWidth(r.target));
        description = std::max(description, DisplayWidth(r.description));
    }
    description = std::min(description, kDescriptionColumnMax);
    std::string out;
    for (const Row& r : rows) {
        out += text::TrimRight(r.mark + " " + PadTo(r.port, port) + "  " +
                               PadTo(r.protocol, protocol) + "  " + PadTo(r.target, target) + "  " +
                               PadTo(r.description, description) + "  " + r.lease);
        out += "\r\n";
    }
    return out;
}

namespace {

// {"kind", "service", "ipv4", "psid", "portCount", "ports": [{"first", "last"}...]}
std::string LineJson(const line::Line& line) {
    if (line.kind == line::Kind::kDsLite) {
        return "{\"kind\": \"DS-Lite\", \"service\": null, \"ipv4\": null, \"psid\": null, "
               "\"portCount\": 0, \"ports\": []}";
    }
    std::string out = std::string("{\"kind\": \"MAP-E\", \"service\": ") +
                      JsonString(line::ServiceId(line.service)) +
                      ", \"ipv4\": " + JsonString(line::Ipv4Text(line.ipv4)) +
                      ", \"psid\": " + std::to_string(line.ports.Psid()) +
                      ", \"portCount\": " + std::to_string(line.ports.Count()) + ", \"ports\": [";
    const std::vector<line::PortRange> blocks = line.ports.Blocks();
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        out += (i == 0 ? "{\"first\": " : ", {\"first\": ") + std::to_string(blocks[i].first) +
               ", \"last\": " + std::to_string(blocks[i].last) + "}";
    }
    return out + "]}";
}

}  // namespace

std::string MappingListingJson(const MappingListing& l) {
    std::string out = "{\n  \"gateway\": ";
    if (l.gatewayFound) {
        out += "{\"address\": " + JsonString(l.gatewayAddress) +
               ", \"location\": " + JsonString(l.location) + "}";
    } else {
        out += "null";
    }
    out += ",\n  \"localAddress\": " + JsonStringOrNull(l.localAddress);
    out += ",\n  \"mappings\": [";
    for (std::size_t i = 0; i < l.entries.size(); ++i) {
        const PortMappingEntry& e = l.entries[i];
        out += i == 0 ? "\n    " : ",\n    ";
        out += "{\"externalPort\": " + JsonNumber(e.externalPort, 65535) +
               ", \"protocol\": " + JsonString(e.protocol) +
               ", \"internalClient\": " + JsonString(e.internalClient) +
               ", \"internalPort\": " + JsonNumber(e.internalPort, 65535) +
               ", \"description\": " + JsonString(e.description) +
               ", \"leaseDuration\": " + JsonNumber(e.leaseDuration, 0xFFFFFFFFu) +
               ", \"enabled\": " + JsonBool(e.enabled) +
               ", \"remoteHost\": " + JsonString(e.remoteHost) + ", \"thisMachine\": " +
               (!l.localAddress.empty() && e.internalClient == l.localAddress ? "true" : "false") +
               ", \"madeByPontaro\": " +
               (i < l.madeByPontaro.size() && l.madeByPontaro[i] ? "true" : "false") + "}";
    }
    out += l.entries.empty() ? "]" : "\n  ]";
    out += ",\n  \"complete\": ";
    out += l.tableRead ? "true" : "false";
    out += ",\n  \"capped\": ";
    out += l.capped ? "true" : "false";
    out += ",\n  \"externalAddress\": " + JsonStringOrNull(l.externalAddress);
    out += ",\n  \"line\": " + (l.line ? LineJson(*l.line) : std::string("null"));
    out += ",\n  \"error\": " + JsonStringOrNull(l.failureText);
    out += "\n}\n";
    return out;
}
