#include "app/PcpLogText.h"

#include "app/ActivityLog.h"
#include "app/texts/Catalog.h"

namespace activity_log {

std::string PcpFoundText(pcp::GatewayProtocol protocol, const std::string& address) {
    const char* name = protocol == pcp::GatewayProtocol::kNatPmp ? "NAT-PMP" : "PCP";
    return texts::Format(texts::Msg::kPcpFound, {name, address});
}

std::string OpenedPortText(std::uint16_t externalPort) {
    return texts::Format(texts::Msg::kOpenedOtherPort, {std::to_string(externalPort)});
}

std::string LifetimeText(std::uint32_t seconds) {
    if (seconds >= 3600 && seconds % 3600 == 0) {
        return texts::Format(texts::Msg::kLifetimeHours,
                             {std::to_string(seconds), std::to_string(seconds / 3600)});
    }
    return texts::Format(texts::Msg::kLifetime, {std::to_string(seconds)});
}

std::string PcpListedText(const std::vector<OpenedEntry>& mapped) {
    std::string out = texts::Text(texts::Msg::kPcpListed);
    if (mapped.empty()) {
        return out + texts::Text(texts::Msg::kListedNone);
    }
    for (const OpenedEntry& m : mapped) {
        out += "  " + std::to_string(m.externalPort) + " -> " + RouterText(m.internalClient) + ":" +
               std::to_string(m.internalPort) + " [" + RouterText(m.protocol) + "] " +
               RouterText(m.description) + "\r\n";
    }
    return out;
}

}  // namespace activity_log
