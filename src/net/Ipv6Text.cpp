#include "net/Ipv6Text.h"

#include <cstdint>
#include <vector>

#include "text/Text.h"

namespace net {

namespace {

// Four decimal octets without leading zeros; false otherwise.
bool ParseDottedTail(std::string_view text, std::uint8_t* out) {
    int part = 0;
    int value = 0;
    int digits = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '.') {
            if (digits == 0 || part > 3) {
                return false;
            }
            out[part++] = static_cast<std::uint8_t>(value);
            value = 0;
            digits = 0;
            continue;
        }
        if (text[i] < '0' || text[i] > '9' || (digits == 1 && value == 0)) {
            return false;
        }
        value = value * 10 + (text[i] - '0');
        if (++digits > 3 || value > 255) {
            return false;
        }
    }
    return part == 4;
}

// The groups of one side of "::" (or of the whole address); a dotted tail
// counts as two groups and may only end the last side.
bool ParseGroups(std::string_view text, bool last, std::vector<std::uint16_t>* groups) {
    if (text.empty()) {
        return true;
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t colon = text.find(':', start);
        const std::string_view group =
            text.substr(start, colon == std::string_view::npos ? text.npos : colon - start);
        if (last && colon == std::string_view::npos && group.find('.') != group.npos) {
            std::uint8_t octets[4];
            if (!ParseDottedTail(group, octets)) {
                return false;
            }
            groups->push_back(static_cast<std::uint16_t>(octets[0] << 8 | octets[1]));
            groups->push_back(static_cast<std::uint16_t>(octets[2] << 8 | octets[3]));
            return true;
        }
        if (group.empty() || group.size() > 4) {
            return false;
        }
        unsigned value = 0;
        for (const char c : group) {
            const int d = text::HexDigitValue(c);
            if (d < 0) {
                return false;
            }
            value = value << 4 | static_cast<unsigned>(d);
        }
        groups->push_back(static_cast<std::uint16_t>(value));
        if (colon == std::string_view::npos) {
            return true;
        }
        start = colon + 1;
    }
}

bool ParseZone(std::string_view zone, std::uint32_t* scope) {
    if (zone.empty() || zone.size() > 10) {
        return false;
    }
    std::uint64_t value = 0;
    for (const char c : zone) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > 0xFFFFFFFFu) {
        return false;
    }
    *scope = static_cast<std::uint32_t>(value);
    return true;
}

}  // namespace

bool ParseIPv6(std::string_view text, platform::Ipv6Address* address) {
    platform::Ipv6Address parsed;
    const std::size_t percent = text.find('%');
    if (percent != std::string_view::npos) {
        if (!ParseZone(text.substr(percent + 1), &parsed.scopeId)) {
            return false;
        }
        text = text.substr(0, percent);
    }
    std::vector<std::uint16_t> head;
    std::vector<std::uint16_t> tail;
    const std::size_t gap = text.find("::");
    if (gap == std::string_view::npos) {
        if (!ParseGroups(text, true, &head) || head.size() != 8) {
            return false;
        }
    } else {
        const std::string_view after = text.substr(gap + 2);
        if (after.find("::") != std::string_view::npos ||
            !ParseGroups(text.substr(0, gap), false, &head) || !ParseGroups(after, true, &tail) ||
            head.size() + tail.size() > 7) {
            return false;
        }
    }
    head.resize(8 - tail.size(), 0);
    head.insert(head.end(), tail.begin(), tail.end());
    for (std::size_t i = 0; i < 8; ++i) {
        parsed.bytes[2 * i] = static_cast<std::uint8_t>(head[i] >> 8);
        parsed.bytes[2 * i + 1] = static_cast<std::uint8_t>(head[i] & 0xFF);
    }
    *address = parsed;
    return true;
}

std::string FormatIPv6(const platform::Ipv6Address& address) {
    std::uint16_t groups[8];
    for (std::size_t i = 0; i < 8; ++i) {
        groups[i] =
            static_cast<std::uint16_t>(address.bytes[2 * i] << 8 | address.bytes[2 * i + 1]);
    }
    // The longest run of zero groups, the first of equal ones; a single
    // zero group stays written.
    int bestStart = -1;
    int bestLength = 1;
    for (int i = 0; i < 8;) {
        int j = i;
        while (j < 8 && groups[j] == 0) {
            ++j;
        }
        if (j - i > bestLength) {
            bestStart = i;
            bestLength = j - i;
        }
        i = j == i ? i + 1 : j;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (int i = 0; i < 8; ++i) {
        if (i == bestStart) {
            out += "::";
            i += bestLength - 1;
            continue;
        }
        if (!out.empty() && out.back() != ':') {
            out += ':';
        }
        bool leading = true;
        for (int shift = 12; shift >= 0; shift -= 4) {
            const int d = groups[i] >> shift & 0xF;
            if (d == 0 && leading && shift > 0) {
                continue;
            }
            leading = false;
            out += kHex[d];
        }
    }
    return out;
}

Ipv6Kind KindOf(const platform::Ipv6Address& address) {
    const std::uint8_t first = address.bytes[0];
    if ((first & 0xE0) == 0x20) {
        return Ipv6Kind::kGlobal;
    }
    if (first == 0xFE && (address.bytes[1] & 0xC0) == 0x80) {
        return Ipv6Kind::kLinkLocal;
    }
    if ((first & 0xFE) == 0xFC) {
        return Ipv6Kind::kUniqueLocal;
    }
    return Ipv6Kind::kOther;
}

}  // namespace net
