#include <cstdio>
#include <cstring>
#include <string>

#include "platform/ListeningSockets.h"

namespace platform {

namespace {

constexpr unsigned kTcpListen = 0x0A;
constexpr unsigned kUdpUnconnected = 0x07;  // TCP_CLOSE: bound, no peer

// `hex` holds 8 hex digits per 32-bit word, as the kernel prints them.
bool ReadAddress(const std::string& hex, bool ipv6, std::array<std::uint8_t, 16>* address) {
    const std::size_t words = ipv6 ? 4 : 1;
    if (hex.size() != words * 8) {
        return false;
    }
    std::array<std::uint8_t, 16> bytes{};
    std::uint8_t* at = bytes.data() + (ipv6 ? 0 : 12);
    if (!ipv6) {
        bytes[10] = bytes[11] = 0xFF;
    }
    for (std::size_t i = 0; i < words; ++i) {
        unsigned word = 0;
        int used = 0;
        if (std::sscanf(hex.c_str() + 8 * i, "%8x%n", &word, &used) != 1 || used != 8) {
            return false;
        }
        const std::uint32_t native = word;
        std::memcpy(at + 4 * i, &native, 4);
    }
    *address = bytes;
    return true;
}

}  // namespace

std::vector<OpenSocket> ParseProcNetSockets(const std::string& table, bool udp, bool ipv6) {
    std::vector<OpenSocket> sockets;
    std::size_t pos = table.find('\n');  // the first line holds the column names
    while (pos != std::string::npos) {
        const std::size_t begin = pos + 1;
        pos = table.find('\n', begin);
        const std::string line =
            table.substr(begin, pos == std::string::npos ? std::string::npos : pos - begin);
        char local[40] = {}, remote[40] = {};
        unsigned slot = 0, port = 0, remotePort = 0, state = 0, uid = 0, timeout = 0;
        unsigned long long inode = 0;
        // sl: local:port remote:port st tx:rx tr:when retrnsmt uid timeout inode
        if (std::sscanf(
                line.c_str(),
                " %u: %32[0-9A-Fa-f]:%x %32[0-9A-Fa-f]:%x %x %*x:%*x %*x:%*x %*x %u %u %llu", &slot,
                local, &port, remote, &remotePort, &state, &uid, &timeout, &inode) != 9) {
            continue;
        }
        OpenSocket s;
        s.udp = udp;
        s.ipv6 = ipv6;
        if (state != (udp ? kUdpUnconnected : kTcpListen) || port == 0 || port > 0xFFFF ||
            !ReadAddress(local, ipv6, &s.address)) {
            continue;
        }
        s.port = static_cast<std::uint16_t>(port);
        s.inode = inode;
        sockets.push_back(s);
    }
    return sockets;
}

namespace {

std::uint32_t Dword(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// The port DWORD holds the port in network order in its first two bytes.
std::uint16_t Port(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] << 8 | p[1]);
}

}  // namespace

// Rows (in DWORDs): TCP state, address, port, remote address, remote port,
// pid; TCP6 address[16], scope, port, remote[16], scope, port, state, pid;
// UDP address, port, pid; UDP6 address[16], scope, port, pid.
std::vector<OpenSocket> ParseOwnerPidTable(const std::uint8_t* table, std::size_t size, bool udp,
                                           bool ipv6) {
    constexpr std::uint32_t kTcpStateListen = 2;  // MIB_TCP_STATE_LISTEN
    std::vector<OpenSocket> sockets;
    if (table == nullptr || size < 4) {
        return sockets;
    }
    const std::size_t rowSize = udp ? (ipv6 ? 28 : 12) : (ipv6 ? 56 : 24);
    const std::size_t rows = Dword(table);
    for (std::size_t i = 0; i < rows && 4 + (i + 1) * rowSize <= size; ++i) {
        const std::uint8_t* row = table + 4 + i * rowSize;
        OpenSocket s;
        s.udp = udp;
        s.ipv6 = ipv6;
        std::uint32_t state = kTcpStateListen;
        if (ipv6) {
            std::memcpy(s.address.data(), row, 16);
            s.port = Port(row + 20);
            if (udp) {
                s.pid = Dword(row + 24);
            } else {
                state = Dword(row + 48);
                s.pid = Dword(row + 52);
            }
        } else {
            s.address[10] = s.address[11] = 0xFF;
            const std::uint8_t* fields = udp ? row : row + 4;
            std::memcpy(s.address.data() + 12, fields, 4);
            s.port = Port(fields + 4);
            s.pid = Dword(udp ? row + 8 : row + 20);
            state = udp ? kTcpStateListen : Dword(row);
        }
        if (state == kTcpStateListen && s.port != 0) {
            sockets.push_back(s);
        }
    }
    return sockets;
}

}  // namespace platform
