// The socket header first: the others build on its types.
#include <winsock2.h>

#include <iphlpapi.h>
#include <windows.h>

#include <memory>

#include "platform/Gateways.h"
#include "platform/Socket.h"

namespace platform {

// Adapter records are about 640 bytes each; a machine with many (virtual)
// adapters needs more than room for ten, so the buffer grows to the size the
// call asks for.
std::vector<std::uint32_t> DefaultGateways(std::size_t limit) {
    std::vector<std::uint32_t> gateways;
    ULONG size = 6400;
    std::unique_ptr<IP_ADAPTER_INFO[]> table;
    DWORD rc = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 5 && rc == ERROR_BUFFER_OVERFLOW; ++attempt) {
        table.reset(new IP_ADAPTER_INFO[size / sizeof(IP_ADAPTER_INFO) + 1]);
        size = static_cast<ULONG>((size / sizeof(IP_ADAPTER_INFO) + 1) * sizeof(IP_ADAPTER_INFO));
        rc = GetAdaptersInfo(table.get(), &size);
    }
    if (rc != NO_ERROR) {
        return gateways;
    }
    for (const IP_ADAPTER_INFO* a = table.get(); a != nullptr && gateways.size() < limit;
         a = a->Next) {
        // An adapter without a default gateway reports 0.0.0.0.
        std::uint32_t gateway = 0;
        char text[sizeof a->GatewayList.IpAddress.String + 1] = {};
        for (std::size_t i = 0; i < sizeof a->GatewayList.IpAddress.String; ++i) {
            text[i] = a->GatewayList.IpAddress.String[i];
        }
        if (ParseIPv4(text, &gateway) && gateway != 0) {
            gateways.push_back(gateway);
        }
    }
    return gateways;
}

}  // namespace platform
