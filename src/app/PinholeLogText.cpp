#include "app/PinholeLogText.h"

#include "app/ActivityLog.h"
#include "app/FailureText.h"
#include "upnp/UpnpErrors.h"

namespace activity_log {

namespace {

std::string OneLine(std::string line) {
    return line.substr(0, line.find("\r\n"));
}

}  // namespace

std::string PinholeStartText(const std::string& address, int port, const std::string& protocol) {
    return "■ [" + address + "]:" + std::to_string(port) + " [" + RouterText(protocol) +
           "/IPv6] : ";
}

std::string PinholesListedText(const std::vector<MadePinhole>& pinholes) {
    std::string out =
        "◆IPv6のピンホールはルータから一覧を読めません。このプロセスが開いたもの:\r\n";
    if (pinholes.empty()) {
        return out + "  (なし)\r\n";
    }
    for (const MadePinhole& p : pinholes) {
        out += "  [" + p.address + "]:" + std::to_string(p.port) + " [" + p.protocol + "/IPv6]\r\n";
    }
    return out;
}

std::string WhyNoPinholesText(const session::PinholesUnavailable& e) {
    using Why = session::PinholesUnavailable::Why;
    switch (e.why) {
        case Why::kNoStableAddress:
            return "IPv6: ルータへ向かうインターフェースに、固定のグローバルIPv6アドレス "
                   "(一時アドレス、リンクローカル、ULA以外) がないため、ピンホールは開きません。";
        case Why::kNoService:
            return "IPv6: ルータにIPv6ファイアウォールの制御 (WANIPv6FirewallControl) がないため、"
                   "ピンホールは開きません。";
        case Why::kNoAnswer:
            return "IPv6: ルータがIPv6の検索 (ff02::c) "
                   "に答えなかったため、ピンホールは開きません。";
        case Why::kServiceUnreadable:
            return "IPv6: ルータのデバイス記述をIPv6で読めなかったため、ピンホールは開きません: " +
                   DescribeFailure(e.reason);
        case Why::kOtherDevice:
            return "IPv6: IPv6の検索に答えたのはルータとは別の機器 (UDNが違います) のため、"
                   "ピンホールは開きません。";
        case Why::kFirewallDisabled:
            return "IPv6: " + OneLine(kFirewallDisabled);
        case Why::kPinholesNotAllowed:
            return "IPv6: " + OneLine(kPinholesNotAllowed);
    }
    return {};
}

std::string ReachableOverIpv6Text(const std::string& address) {
    return "ただし、IPv6では [" + address + "] でこのポートに届きます。";
}

}  // namespace activity_log

std::string DescribePinholeFailure(const FailureReason& reason, const std::string& port) {
    static constexpr struct {
        const char* code;
        const char* says;
    } kCodes[] = {
        {upnp::error::kActionNotAuthorized,
         "ルータがこのピンホールを許していません。ルータは要求の送信元と同じアドレスへの、"
         "1024 以上のポートのピンホールしか開かないことがあります"},
        {upnp::error::kPinholeSpaceExhausted, "ルータのピンホールの表がいっぱいです"},
        {upnp::error::kFirewallDisabled, "ルータのIPv6ファイアウォールは無効です"},
        {upnp::error::kInboundPinholeNotAllowed, "ルータの設定がIPv6のピンホールを許していません"},
        {upnp::error::kNoSuchPinhole, "ルータにこのピンホールはありません"},
        {upnp::error::kProtocolNotSupported,
         "ルータはこのプロトコルのピンホールに対応していません"},
        {upnp::error::kInternalPortWildcardingNotAllowed,
         "ルータは内部ポートを限らないピンホールを受け付けません"},
        {upnp::error::kProtocolWildcardingNotAllowed,
         "ルータはプロトコルを限らないピンホールを受け付けません"},
        {upnp::error::kWildCardNotPermittedInSrcIP,
         "ルータは接続元アドレスを限らないピンホールを受け付けません"},
        {upnp::error::kNoTrafficReceived, "ピンホールを通った通信はまだありません"},
    };
    for (const auto& c : kCodes) {
        if (reason.upnpErrorCode == c.code) {
            return std::string("理由: ") + c.says + " (ポート " + port + ", UPnPエラー " +
                   reason.upnpErrorCode + ")。";
        }
    }
    return DescribeFailure(reason);
}
