#include "app/PcpLogText.h"

#include "app/ActivityLog.h"

namespace activity_log {

std::string PcpFoundText(pcp::GatewayProtocol protocol, const std::string& address) {
    const char* name = protocol == pcp::GatewayProtocol::kNatPmp ? "NAT-PMP" : "PCP";
    return std::string("◆") + name + "対応ルータが見つかりました\r\n- Address : " + address +
           "\r\n";
}

std::string OpenedPortText(std::uint16_t externalPort) {
    return "  ※ ルータが開いた外部ポートは " + std::to_string(externalPort) +
           " です (指定したポートは使えませんでした)。\r\n";
}

std::string LifetimeText(std::uint32_t seconds) {
    std::string out = "- Lifetime : " + std::to_string(seconds) + "秒 (";
    if (seconds >= 3600 && seconds % 3600 == 0) {
        out += std::to_string(seconds / 3600) + "時間、";
    }
    return out + "ルータが割り当てを保つ期間)\r\n";
}

std::string PcpListedText(const std::vector<MadeMapping>& mapped) {
    std::string out =
        "◆PCP/NAT-PMPにはポートマッピングの一覧がありません。このプロセスが設定したもの:\r\n";
    if (mapped.empty()) {
        return out + "  (なし)\r\n";
    }
    for (const MadeMapping& m : mapped) {
        out += "  " + std::to_string(m.externalPort) + " -> " + RouterText(m.internalClient) + ":" +
               std::to_string(m.internalPort) + " [" + RouterText(m.protocol) + "] " +
               RouterText(m.description) + "\r\n";
    }
    return out;
}

}  // namespace activity_log
