#include "app/FailureText.h"

#include "text/Text.h"

namespace {

const char* StepText(FailureReason::Step step) {
    using Step = FailureReason::Step;
    switch (step) {
        case Step::kNone:
            return "不明なエラー";
        case Step::kBind:
            return "検索用のUDPポートを開けませんでした";
        case Step::kSend:
            return "検索要求(M-SEARCH)を送信できませんでした";
        case Step::kNoAnswer:
            return "検索要求(M-SEARCH)に応答がありませんでした";
        case Step::kNoGateway:
            return "応答した機器にWAN接続サービスがありませんでした";
        case Step::kUrl:
            return "URLを解釈できませんでした";
        case Step::kConnect:
            return "ルータに接続できませんでした";
        case Step::kRequestSend:
            return "要求を送信できませんでした";
        case Step::kHeaderWait:
            return "応答のヘッダを受信できませんでした";
        case Step::kStatus:
            return "ルータが要求を拒否しました";
        case Step::kBody:
            return "応答の本文を受信できませんでした";
        case Step::kDescription:
            return "デバイス記述を読めませんでした";
        case Step::kNoService:
            return "WAN接続サービス(WANIPConnection/WANPPPConnection)がありません";
    }
    return "不明なエラー";
}

}  // namespace

std::string DescribeFailure(const FailureReason& reason) {
    std::string out = "理由: ";
    out += StepText(reason.step);
    if (reason.httpStatus != 0) {
        out += " (HTTP " + std::to_string(reason.httpStatus);
        if (!reason.httpStatusText.empty()) {
            out += " " + reason.httpStatusText;
        }
        out += ")";
    }
    if (!reason.upnpErrorCode.empty() || !reason.upnpErrorDescription.empty()) {
        out += " UPnPエラー";
        if (!reason.upnpErrorCode.empty()) {
            out += " " + reason.upnpErrorCode;
        }
        if (!reason.upnpErrorDescription.empty()) {
            out += " " + reason.upnpErrorDescription;
        }
    }
    if (!reason.detail.empty()) {
        out += ": " + reason.detail;
    }
    // A router's texts may hold anything, line breaks included; the reason
    // stays on its one line.
    for (char& c : out) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return text::SanitizeUtf8(out);
}
