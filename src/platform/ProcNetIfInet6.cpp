#include <cstdio>
#include <string>

#include "platform/Gateways.h"

namespace platform {

// Each line: 32 hex digits of address, then interface index, prefix length,
// scope and flags in hex, then the interface's name.
std::vector<LocalIpv6> ParseProcNetIfInet6(const std::string& table) {
    constexpr unsigned kTemporary = 0x01;
    constexpr unsigned kDadFailed = 0x08;
    constexpr unsigned kDeprecated = 0x20;
    constexpr unsigned kTentative = 0x40;
    std::vector<LocalIpv6> addresses;
    std::size_t begin = 0;
    while (begin < table.size()) {
        std::size_t end = table.find('\n', begin);
        if (end == std::string::npos) {
            end = table.size();
        }
        const std::string line = table.substr(begin, end - begin);
        begin = end + 1;
        char hex[33] = {};
        unsigned index = 0, prefix = 0, scope = 0, flags = 0;
        if (std::sscanf(line.c_str(), "%32[0-9a-fA-F] %x %x %x %x", hex, &index, &prefix, &scope,
                        &flags) != 5 ||
            std::string(hex).size() != 32) {
            continue;
        }
        LocalIpv6 local;
        for (std::size_t i = 0; i < 16; ++i) {
            unsigned byte = 0;
            std::sscanf(hex + 2 * i, "%2x", &byte);
            local.address.bytes[i] = static_cast<std::uint8_t>(byte);
        }
        local.interfaceIndex = index;
        const bool linkLocal =
            local.address.bytes[0] == 0xFE && (local.address.bytes[1] & 0xC0) == 0x80;
        local.address.scopeId = linkLocal ? index : 0;
        local.temporary = (flags & kTemporary) != 0;
        local.usable = (flags & (kDadFailed | kDeprecated | kTentative)) == 0;
        addresses.push_back(local);
    }
    return addresses;
}

}  // namespace platform
