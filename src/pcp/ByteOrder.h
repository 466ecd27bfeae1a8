// Big-endian fields of the PCP and NAT-PMP packets.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pcp {

inline void PutU16(std::string& out, std::uint16_t v) {
    out.push_back(static_cast<char>(v >> 8));
    out.push_back(static_cast<char>(v & 0xFF));
}

inline void PutU32(std::string& out, std::uint32_t v) {
    PutU16(out, static_cast<std::uint16_t>(v >> 16));
    PutU16(out, static_cast<std::uint16_t>(v & 0xFFFF));
}

// An IPv4 address held in network order (first octet in the lowest byte).
inline void PutIPv4(std::string& out, std::uint32_t networkOrder) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>((networkOrder >> (8 * i)) & 0xFF));
    }
}

inline std::uint8_t U8At(std::string_view in, std::size_t at) {
    return static_cast<std::uint8_t>(in[at]);
}

inline std::uint16_t U16At(std::string_view in, std::size_t at) {
    return static_cast<std::uint16_t>(U8At(in, at) << 8 | U8At(in, at + 1));
}

inline std::uint32_t U32At(std::string_view in, std::size_t at) {
    return static_cast<std::uint32_t>(U16At(in, at)) << 16 | U16At(in, at + 2);
}

inline std::uint32_t IPv4At(std::string_view in, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
        v |= static_cast<std::uint32_t>(U8At(in, at + i)) << (8 * i);
    }
    return v;
}

}  // namespace pcp
