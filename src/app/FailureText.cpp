#include "app/FailureText.h"

#include "app/ActivityLog.h"
#include "upnp/UpnpErrors.h"

namespace {

const char* StepText(FailureReason::Step step) {
    using Step = FailureReason::Step;
    switch (step) {
        case Step::kNone:
            return "不明なエラーです。";
        case Step::kBind:
            return "検索用のUDPポートを開けませんでした。";
        case Step::kSend:
            return "検索要求(M-SEARCH)を送信できませんでした。";
        case Step::kNoAnswer:
            return "検索要求(M-SEARCH)に応答がありませんでした。";
        case Step::kNoGateway:
            return "応答した機器にWAN接続サービスがありませんでした。";
        case Step::kUrl:
            return "ルータが示したURLを解釈できませんでした。";
        case Step::kConnect:
            return "ルータに接続できませんでした。";
        case Step::kRequestSend:
            return "ルータに要求を送信できませんでした。";
        case Step::kHeaderWait:
            return "ルータの応答を受け取れませんでした (時間切れか、応答の形が不正です)。";
        case Step::kStatus:
            return "ルータが要求を拒否しました。";
        case Step::kBody:
            return "ルータの応答の本文を受け取れませんでした。";
        case Step::kDescription:
            return "ルータのデバイス記述を読めませんでした。";
        case Step::kNoService:
            return "ルータにポートを開くサービス(WANIPConnection/WANPPPConnection)がありません。";
    }
    return "不明なエラーです。";
}

// " (UPnPエラー 718)"
std::string CodeNote(const std::string& code) {
    return " (UPnPエラー " + activity_log::RouterText(code) + ")";
}

// What a UPnP error code means to someone opening a port; `port` is
// "8080/TCP" or empty when no rule is at hand.
std::string CodeText(const std::string& code, const std::string& port) {
    // The sentence before the code note, and what follows it (after "。").
    static constexpr struct {
        const char* code;
        const char* says;
        const char* more;
    } kCodes[] = {
        {upnp::error::kInvalidAction, "ルータはこの要求に対応していません", ""},
        {upnp::error::kInvalidArgs, "ルータが要求の値を受け付けませんでした",
         "ポート番号、プロトコル (TCP か UDP)、割り当ての期間のどれかがルータの許す範囲の外です。"},
        {upnp::error::kActionFailed, "ルータがポートの転送を設定できませんでした",
         "ルータの外側のアドレスがグローバルアドレスでないとき (プロバイダやもう一台のルータ"
         "のNATの内側にあるとき) も、ルータはこう答えます。その場合、インターネットからこの"
         "ポートには届きません。"},
        {upnp::error::kActionNotAuthorized, "ルータがUPnPによる設定の変更を許していません",
         "ルータの設定で、このコンピュータにUPnPでのポート開放を許可してください "
         "(FRITZ!Boxでは「独立したポート共有を許可」、miniupnpdでは許可の規則)。"},
        {upnp::error::kNoSuchEntryInArray, "ルータの表に該当する割り当てがありません", ""},
        {"715", "ルータは接続元アドレスを限らない割り当てを受け付けません", ""},
        {"716", "ルータは外部ポート 0 (すべてのポート) の割り当てを受け付けません", ""},
        {"724", "ルータは外部ポートと内部ポートが同じ番号の割り当てしか受け付けません", ""},
        {"725", "ルータは期間を限らない割り当てしか受け付けません", ""},
        {"726", "ルータは接続元ホストを指定した割り当てを受け付けません", ""},
        {"727", "ルータは外部ポートを指定した割り当てを受け付けません", ""},
        {"728", "ルータのポート割り当ての表がいっぱいです",
         "使っていない割り当てをルータの設定画面で削除してください。"},
    };
    const std::string note = CodeNote(code);
    if (code == upnp::error::kConflictInMappingEntry) {
        const std::string thePort = port.empty() ? "このポート" : "ポート " + port;
        return thePort + " はすでに別の割り当てに使われています" + note + "。";
    }
    for (const auto& c : kCodes) {
        if (code == c.code) {
            return c.says + note + "。" + c.more;
        }
    }
    return "ルータが要求を拒否しました" + note + "。";
}

std::string Describe(const FailureReason& reason, const std::string& port) {
    if (!reason.upnpErrorCode.empty()) {
        return CodeText(reason.upnpErrorCode, port);
    }
    if (reason.step == FailureReason::Step::kStatus && reason.httpStatus != 0) {
        return "ルータが要求を拒否しました (HTTP " + std::to_string(reason.httpStatus) + ")。";
    }
    return StepText(reason.step);
}

}  // namespace

std::string DescribeFailure(const FailureReason& reason) {
    return "理由: " + Describe(reason, std::string());
}

std::string DescribeRuleFailure(const RuleResult& result, const PortMappingRule& rule) {
    const std::string port =
        std::to_string(rule.ExternalPortNumber()) + "/" + activity_log::RouterText(rule.protocol);
    const std::string& code = result.failure.upnpErrorCode;
    std::string out = "理由: ";
    if (result.oldAddressKept) {
        out += "ポート " + port + " はこのコンピュータの以前のアドレス (" +
               activity_log::RouterText(result.holder.internalClient) +
               ") に割り当てられたままです。";
        if (code == upnp::error::kActionNotAuthorized) {
            out += "ルータはUPnPでこの割り当てを削除することを許していません" + CodeNote(code) +
                   "。ルータの設定画面で削除するか、ルータが割り当てを消すまで待ってください。";
        } else {
            out += "この割り当てを削除できませんでした: " + Describe(result.failure, port);
        }
    } else if (result.holderKnown) {
        const PortMappingEntry& h = result.holder;
        out += "ポート " + port + " は " + activity_log::RouterText(h.internalClient) + ":" +
               (h.InternalPortNumber() < 0 ? std::string("?")
                                           : std::to_string(h.InternalPortNumber()));
        if (!h.description.empty()) {
            out += " (説明: " + activity_log::RouterText(h.description) + ")";
        }
        out += " に割り当て済みです" + CodeNote(code) + "。";
    } else {
        out += Describe(result.failure, port);
    }
    const int external = rule.ExternalPortNumber();
    if (!result.oldAddressKept &&
        (code == upnp::error::kConflictInMappingEntry ||
         code == upnp::error::kActionNotAuthorized) &&
        external > 0 && external < 1024) {
        out += "多くのルータは初期設定で 1024～65535 のポートしか開けません。";
    }
    return out;
}

std::string DescribeFailureRecord(const FailureReason& reason) {
    std::string words;
    if (reason.httpStatus != 0) {
        words = "HTTP " + std::to_string(reason.httpStatus);
        if (!reason.httpStatusText.empty()) {
            words += " " + reason.httpStatusText;
        }
    }
    if (!reason.upnpErrorCode.empty() || !reason.upnpErrorDescription.empty()) {
        words += words.empty() ? "UPnPError" : ", UPnPError";
        for (const std::string* part : {&reason.upnpErrorCode, &reason.upnpErrorDescription}) {
            if (!part->empty()) {
                words += " " + *part;
            }
        }
    }
    std::string out = reason.detail;
    if (!words.empty()) {
        out += out.empty() ? words : ": " + words;
    }
    return activity_log::RouterText(out);
}

namespace {

const char* PcpOutcomeText(pcp::MapOutcome outcome) {
    switch (outcome) {
        case pcp::MapOutcome::kNoAnswer:
            return "ルータが時間内に答えませんでした。";
        case pcp::MapOutcome::kNoSocket:
            return "UDPのソケットを開けませんでした。";
        case pcp::MapOutcome::kNoRoute:
            return "このコンピュータにはルータへ届くアドレスがありません。";
        case pcp::MapOutcome::kSendFailed:
            return "ルータに要求を送信できませんでした。";
        case pcp::MapOutcome::kDone:
        case pcp::MapOutcome::kRefused:
            break;
    }
    return "不明なエラーです。";
}

// What a result code means to someone opening a port.
const char* PcpCodeText(pcp::ResultCode code) {
    using pcp::ResultCode;
    static constexpr struct {
        ResultCode code;
        const char* says;
    } kCodes[] = {
        {ResultCode::kUnsuppVersion, "ルータはこの版のプロトコルに対応していません"},
        {ResultCode::kNotAuthorized,
         "ルータの設定がこの割り当てを禁じています (UPnPを切ったFRITZ!Boxもこう答えます)"},
        {ResultCode::kMalformedRequest,
         "要求の形が不正です (ポート番号は 1～65535 で指定してください)"},
        {ResultCode::kUnsuppOpcode, "ルータはポートの割り当ての要求に対応していません"},
        {ResultCode::kUnsuppOption, "ルータは要求のオプションに対応していません"},
        {ResultCode::kMalformedOption, "要求のオプションの形が不正です"},
        {ResultCode::kNetworkFailure,
         "ルータの外側の回線がつながっていないか、外側のアドレスがまだありません"},
        {ResultCode::kNoResources, "ルータの割り当ての表かポートが足りません"},
        {ResultCode::kUnsuppProtocol,
         "ルータはこのプロトコルの割り当てに対応していません (TCP か UDP を指定してください)"},
        {ResultCode::kUserExQuota, "このコンピュータに許された割り当ての数を超えました"},
        {ResultCode::kCannotProvideExternal, "ルータは求められた外部ポートを用意できません"},
        {ResultCode::kAddressMismatch,
         "ルータが見た送信元のアドレスと要求の中のアドレスが違います "
         "(間にもう一台のNATがあります)"},
        {ResultCode::kExcessiveRemotePeers, "ルータは相手の数が多すぎる割り当てを受け付けません"},
    };
    for (const auto& c : kCodes) {
        if (code == c.code) {
            return c.says;
        }
    }
    return "ルータが要求を拒否しました";
}

}  // namespace

std::string DescribePcpFailure(pcp::MapOutcome outcome, pcp::ResultCode code, unsigned rawCode) {
    if (outcome != pcp::MapOutcome::kRefused) {
        return std::string("理由: ") + PcpOutcomeText(outcome);
    }
    std::string note = code == pcp::ResultCode::kUnknown ? "結果コード " + std::to_string(rawCode)
                                                         : std::string(pcp::ResultName(code));
    return std::string("理由: ") + PcpCodeText(code) + " (" + note + ")。";
}
