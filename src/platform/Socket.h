// Sockets, as the rest of the program sees them. Everything that differs
// between WinSock and BSD sockets stays behind these calls.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kInvalidSocket = -1;

// IPv4 addresses are uint32_t in network byte order (first octet in the
// lowest-addressed byte), as in_addr holds them.

// Starts the socket library: WinSock 1.1 on Windows (0 only when exactly 1.1
// was negotiated); on POSIX it also makes sending to a closed peer fail with
// an error instead of raising SIGPIPE. 0 or -1.
int StartSocketLibrary();

SocketHandle OpenTcpSocket();
SocketHandle OpenUdpSocket();
void CloseSocket(SocketHandle s);

// Makes a call blocked on `s` in another thread return with an error.
// Returns true when that closed the handle (Windows), false when the handle
// stays open and its owner must still close it (POSIX: shutdown only, so that
// the number cannot be reused before the owner is done with it).
bool InterruptBlockedCall(SocketHandle s);

int ConnectIPv4(SocketHandle s, std::uint32_t address, std::uint16_t port);  // 0 or -1
// Bytes sent (may be fewer than asked), or -1.
long SendSome(SocketHandle s, const char* data, std::size_t size);
// Bytes received, 0 when the peer closed, or -1.
long ReceiveSome(SocketHandle s, char* buffer, std::size_t capacity);

int BindUdp(SocketHandle s, std::uint32_t address, std::uint16_t port);  // 0 or -1
long SendDatagram(SocketHandle s, const char* data, std::size_t size, std::uint32_t address,
                  std::uint16_t port);
long ReceiveDatagram(SocketHandle s, char* buffer, std::size_t capacity, std::uint32_t* fromAddress,
                     std::uint16_t* fromPort);
// Waits up to timeoutMs (0: just looks) for `s` to become readable.
// 1 readable (or at end of stream / in error, so that the next read tells),
// 0 not within the time, -1 the wait itself failed. Never limited by FD_SETSIZE.
int WaitReadable(SocketHandle s, int timeoutMs);
// The same for two sockets at once, returning as soon as either is readable:
// kFirstReadable and/or kSecondReadable, 0 when neither was within the time,
// -1 when the wait failed. A `second` of kInvalidSocket is not watched.
inline constexpr int kFirstReadable = 1;
inline constexpr int kSecondReadable = 2;
int WaitEitherReadable(SocketHandle first, SocketHandle second, int timeoutMs);

// "a.b.c.d" (the inet_addr forms) into an address; false when not a dotted address.
bool ParseIPv4(const std::string& text, std::uint32_t* address);
std::string FormatIPv4(std::uint32_t address);
// Name resolution (first IPv4 address); false when the name does not resolve.
bool ResolveIPv4(const std::string& host, std::uint32_t* address);
bool GetLocalHostName(std::string* name);
// Address of this machine's interface that routes to `remote`: a UDP socket
// connected to it and read back. Sends nothing. False when there is no route.
bool LocalAddressTowards(std::uint32_t remote, std::uint32_t* local);

// IPv6: the 16 bytes in network order and, for a link-local address, the
// interface (scope) it belongs to; 0 for every other address.
struct Ipv6Address {
    std::array<std::uint8_t, 16> bytes{};
    std::uint32_t scopeId = 0;
    bool operator==(const Ipv6Address&) const = default;
};

SocketHandle OpenTcpSocket6();
SocketHandle OpenUdpSocket6();
// Binds a TCP or UDP socket to `address` (its scope included); 0 or -1.
int BindIPv6(SocketHandle s, const Ipv6Address& address, std::uint16_t port);
int ConnectIPv6(SocketHandle s, const Ipv6Address& address, std::uint16_t port);  // 0 or -1
// Multicast sent on `s` leaves by interface `interfaceIndex`; 0 or -1.
int SetMulticastInterface6(SocketHandle s, std::uint32_t interfaceIndex);
long SendDatagram6(SocketHandle s, const char* data, std::size_t size, const Ipv6Address& to,
                   std::uint16_t port);
long ReceiveDatagram6(SocketHandle s, char* buffer, std::size_t capacity, Ipv6Address* from,
                      std::uint16_t* fromPort);

// One IPv6 address of this machine, as the system lists it.
struct LocalIpv6 {
    Ipv6Address address;  // scopeId set for link-local addresses
    std::uint32_t interfaceIndex = 0;
    bool temporary = false;  // a privacy address, which changes over the day
    bool usable = true;      // false while tentative, deprecated or a duplicate
};
// Every IPv6 address of every interface that is up; empty when the system
// has no IPv6 or the query fails.
std::vector<LocalIpv6> LocalIpv6Addresses();
// The interface that holds IPv4 address `local`; 0 when none does.
std::uint32_t InterfaceOfIPv4(std::uint32_t local);

}  // namespace platform
