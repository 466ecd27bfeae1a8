// This machine's addresses as the IP Helper lists them per adapter.
// The socket header first: the others build on its types.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <iphlpapi.h>
#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/Socket.h"

namespace platform {

namespace {

// The adapter records of one address family; empty when the query fails.
// The records point into each other, so they live in one buffer, grown to
// the size the call asks for (15 KB holds a few adapters; addresses can be
// added between two calls, hence the retries). 64-bit units keep the records
// aligned.
std::vector<std::uint64_t> AdapterRecords(ULONG family) {
    constexpr ULONG kFlags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST |
                             GAA_FLAG_SKIP_DNS_SERVER | GAA_FLAG_SKIP_FRIENDLY_NAME;
    ULONG size = 15 * 1024;
    std::vector<std::uint64_t> buffer;
    for (int attempt = 0; attempt < 5; ++attempt) {
        buffer.assign(size / sizeof(std::uint64_t) + 1, 0);
        size = static_cast<ULONG>(buffer.size() * sizeof(std::uint64_t));
        const ULONG rc = GetAdaptersAddresses(
            family, kFlags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
        if (rc == NO_ERROR) {
            return buffer;
        }
        if (rc != ERROR_BUFFER_OVERFLOW) {
            break;  // ERROR_NO_DATA too: no adapter has an address of this family
        }
    }
    return {};
}

const IP_ADAPTER_ADDRESSES* FirstAdapter(const std::vector<std::uint64_t>& records) {
    return records.empty() ? nullptr
                           : reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(records.data());
}

}  // namespace

std::vector<LocalIpv6> LocalIpv6Addresses() {
    std::vector<LocalIpv6> found;
    const std::vector<std::uint64_t> records = AdapterRecords(AF_INET6);
    for (const IP_ADAPTER_ADDRESSES* a = FirstAdapter(records); a != nullptr; a = a->Next) {
        if (a->OperStatus != IfOperStatusUp) {
            continue;
        }
        // Windows numbers an interface the same for both families; Wine (8.0)
        // leaves Ipv6IfIndex 0 and fills only IfIndex.
        const std::uint32_t index = a->Ipv6IfIndex != 0 ? a->Ipv6IfIndex : a->IfIndex;
        for (const IP_ADAPTER_UNICAST_ADDRESS* u = a->FirstUnicastAddress; u != nullptr;
             u = u->Next) {
            const SOCKADDR* sa = u->Address.lpSockaddr;
            if (sa == nullptr || sa->sa_family != AF_INET6 ||
                u->Address.iSockaddrLength < static_cast<INT>(sizeof(sockaddr_in6))) {
                continue;
            }
            const auto* sa6 = reinterpret_cast<const sockaddr_in6*>(sa);
            LocalIpv6 local;
            std::memcpy(local.address.bytes.data(), &sa6->sin6_addr, 16);
            local.interfaceIndex = index;
            // fe80::/10: meaningful only together with its interface.
            if (local.address.bytes[0] == 0xFE && (local.address.bytes[1] & 0xC0) == 0x80) {
                local.address.scopeId = index;
            }
            local.temporary = u->SuffixOrigin == IpSuffixOriginRandom;
            local.usable = u->DadState == IpDadStatePreferred;
            found.push_back(local);
        }
    }
    return found;
}

std::uint32_t InterfaceOfIPv4(std::uint32_t local) {
    const std::vector<std::uint64_t> records = AdapterRecords(AF_INET);
    for (const IP_ADAPTER_ADDRESSES* a = FirstAdapter(records); a != nullptr; a = a->Next) {
        for (const IP_ADAPTER_UNICAST_ADDRESS* u = a->FirstUnicastAddress; u != nullptr;
             u = u->Next) {
            const SOCKADDR* sa = u->Address.lpSockaddr;
            if (sa != nullptr && sa->sa_family == AF_INET &&
                reinterpret_cast<const sockaddr_in*>(sa)->sin_addr.s_addr == local) {
                return a->IfIndex;
            }
        }
    }
    return 0;
}

}  // namespace platform
