#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "platform/Files.h"
#include "platform/Gateways.h"
#include "platform/Socket.h"

namespace platform {

// Linux lists the addresses, with the flags that tell a privacy address
// and one not yet (or no longer) fit to use, in /proc/net/if_inet6.
std::vector<LocalIpv6> LocalIpv6Addresses() {
    std::string table;
    if (ReadWholeFile("/proc/net/if_inet6", &table) != ReadResult::kOk) {
        return {};
    }
    return ParseProcNetIfInet6(table);
}

std::uint32_t InterfaceOfIPv4(std::uint32_t local) {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        return 0;
    }
    std::uint32_t index = 0;
    for (const ifaddrs* a = list; a != nullptr && index == 0; a = a->ifa_next) {
        if (a->ifa_addr != nullptr && a->ifa_addr->sa_family == AF_INET &&
            reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr == local) {
            index = if_nametoindex(a->ifa_name);
        }
    }
    freeifaddrs(list);
    return index;
}

}  // namespace platform
