// The sockets on this machine that could take what a router forwards: TCP
// sockets in LISTEN state and UDP sockets bound but not connected, with who
// owns them where this user may see it. Read without elevation: Linux from
// /proc/net, Windows from the IP Helper's owner tables.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace platform {

struct OpenSocket {
    bool udp = false;
    bool ipv6 = false;  // from the IPv6 table (its address may be a mapped IPv4 one)
    // IPv4 sockets: the address as ::ffff:a.b.c.d, so that both tables
    // compare alike; IPv6 sockets: the 16 bytes as bound.
    std::array<std::uint8_t, 16> address{};
    std::uint16_t port = 0;
    std::uint64_t inode = 0;  // Linux: the socket's inode, for finding its owner
    std::uint32_t pid = 0;    // Windows: the owning process (0 on Linux)
};

struct SocketTables {
    bool read = false;  // false: no table could be read; nothing is known
    std::vector<OpenSocket> sockets;
    // An IPv6 socket bound to :: also takes IPv4 (Linux: bindv6only is 0,
    // the default). Which socket set IPV6_V6ONLY itself no table shows.
    bool ipv6WildcardTakesIpv4 = true;
};

// All four tables (TCP, UDP; IPv4, IPv6), read once.
SocketTables ListeningSockets();

// The program behind a socket; pid 0 when this user cannot see it.
struct SocketOwner {
    std::uint32_t pid = 0;
    std::string name;  // "nginx" (Linux: /proc/PID/comm), "nginx.exe" (Windows)
    std::string path;  // Windows: the image's full path (UTF-8); empty on Linux
};

// Finds the owners of sockets from one ListeningSockets(): on Linux the
// first question walks /proc/*/fd once for all of their inodes; later ones
// are answered from what that walk found.
class SocketOwners {
public:
    explicit SocketOwners(const std::vector<OpenSocket>& sockets);
    SocketOwner Of(const OpenSocket& socket);

private:
    void Walk();
    std::set<std::uint64_t> wanted_;
    bool walked_ = false;
    std::map<std::uint64_t, std::uint32_t> pidOfInode_;
    std::map<std::uint32_t, SocketOwner> owners_;
};

// The Linux part apart from reading: the rows of one /proc/net/{tcp,udp}
// [6] text that could take a forwarded packet (TCP state 0A LISTEN, UDP 07
// unconnected, port not 0). The kernel prints the addresses' 32-bit words
// as native numbers, so they are read back as native numbers. Lines that
// cannot be read (a truncated last line) are passed over.
std::vector<OpenSocket> ParseProcNetSockets(const std::string& table, bool udp, bool ipv6);

// The Windows part apart from the call: the rows of a table as
// GetExtendedTcpTable (TCP_TABLE_OWNER_PID_LISTENER) or GetExtendedUdpTable
// (UDP_TABLE_OWNER_PID) fill it: a row count, then rows of little-endian
// DWORDs (ports in network order), IPv6 rows with their 16 address bytes.
// Rows past the end of `size` bytes are not read.
std::vector<OpenSocket> ParseOwnerPidTable(const std::uint8_t* table, std::size_t size, bool udp,
                                           bool ipv6);

}  // namespace platform
