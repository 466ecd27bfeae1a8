#include "app/FailureText.h"

#include "app/ActivityLog.h"
#include "app/LineLogText.h"
#include "app/texts/Catalog.h"
#include "upnp/UpnpErrors.h"

namespace {

using texts::Msg;

Msg StepText(FailureReason::Step step) {
    using Step = FailureReason::Step;
    switch (step) {
        case Step::kNone:
            return Msg::kStepNone;
        case Step::kBind:
            return Msg::kStepBind;
        case Step::kSend:
            return Msg::kStepSend;
        case Step::kNoAnswer:
            return Msg::kStepNoAnswer;
        case Step::kNoGateway:
            return Msg::kStepNoGateway;
        case Step::kUrl:
            return Msg::kStepUrl;
        case Step::kConnect:
            return Msg::kStepConnect;
        case Step::kRequestSend:
            return Msg::kStepRequestSend;
        case Step::kHeaderWait:
            return Msg::kStepHeaderWait;
        case Step::kStatus:
            return Msg::kStepStatus;
        case Step::kBody:
            return Msg::kStepBody;
        case Step::kDescription:
            return Msg::kStepDescription;
        case Step::kNoService:
            return Msg::kStepNoService;
    }
    return Msg::kStepNone;
}

// " (UPnPエラー 718)"
std::string CodeNote(const std::string& code) {
    return texts::Format(Msg::kUpnpCodeNote, {activity_log::RouterText(code)});
}

// What a UPnP error code means to someone opening a port; `port` is
// "8080/TCP" or empty when no rule is at hand.
std::string CodeText(const std::string& code, const std::string& port) {
    // Each text puts the code's note ({1}) where its sentence wants it.
    static constexpr struct {
        const char* code;
        Msg says;
    } kCodes[] = {
        {upnp::error::kInvalidAction, Msg::kUpnp401},
        {upnp::error::kInvalidArgs, Msg::kUpnp402},
        {upnp::error::kActionFailed, Msg::kUpnp501},
        {upnp::error::kActionNotAuthorized, Msg::kUpnp606},
        {upnp::error::kNoSuchEntryInArray, Msg::kUpnp714},
        {"715", Msg::kUpnp715},
        {"716", Msg::kUpnp716},
        {"724", Msg::kUpnp724},
        {"725", Msg::kUpnp725},
        {"726", Msg::kUpnp726},
        {"727", Msg::kUpnp727},
        {"728", Msg::kUpnp728},
    };
    const std::string note = CodeNote(code);
    if (code == upnp::error::kConflictInMappingEntry) {
        return port.empty() ? texts::Format(Msg::kUpnp718NoPort, {note})
                            : texts::Format(Msg::kUpnp718, {note, port});
    }
    for (const auto& c : kCodes) {
        if (code == c.code) {
            return texts::Format(c.says, {note});
        }
    }
    return texts::Format(Msg::kUpnpRefused, {note});
}

std::string Describe(const FailureReason& reason, const std::string& port) {
    if (!reason.upnpErrorCode.empty()) {
        return CodeText(reason.upnpErrorCode, port);
    }
    if (reason.step == FailureReason::Step::kStatus && reason.httpStatus != 0) {
        return texts::Format(Msg::kHttpRefused, {std::to_string(reason.httpStatus)});
    }
    return texts::Text(StepText(reason.step));
}

}  // namespace

std::string DescribeFailure(const FailureReason& reason) {
    return texts::Text(Msg::kReasonPrefix) + Describe(reason, std::string());
}

std::string DescribeRuleFailure(const RuleResult& result, const PortMappingRule& rule) {
    if (result.outsideSet) {
        return activity_log::OutsideSetReason(*result.outsideSet, rule.ExternalPortNumber());
    }
    const std::string port =
        std::to_string(rule.ExternalPortNumber()) + "/" + activity_log::RouterText(rule.protocol);
    const std::string& code = result.failure.upnpErrorCode;
    std::string out = texts::Text(Msg::kReasonPrefix);
    if (result.oldAddressKept) {
        out += texts::Format(Msg::kOldAddressKept,
                             {port, activity_log::RouterText(result.holder.internalClient)});
        if (code == upnp::error::kActionNotAuthorized) {
            out += texts::Format(Msg::kOldAddressNotDeletable, {CodeNote(code)});
        } else {
            out += texts::Format(Msg::kOldAddressNotDeleted, {Describe(result.failure, port)});
        }
    } else if (result.holderKnown) {
        const PortMappingEntry& h = result.holder;
        const std::string client = activity_log::RouterText(h.internalClient);
        const std::string internal =
            h.InternalPortNumber() < 0 ? std::string("?") : std::to_string(h.InternalPortNumber());
        if (h.description.empty()) {
            out += texts::Format(Msg::kPortHeld, {port, client, internal, CodeNote(code)});
        } else {
            out += texts::Format(
                Msg::kPortHeldDescribed,
                {port, client, internal, activity_log::RouterText(h.description), CodeNote(code)});
        }
    } else {
        out += Describe(result.failure, port);
    }
    const int external = rule.ExternalPortNumber();
    if (!result.oldAddressKept &&
        (code == upnp::error::kConflictInMappingEntry ||
         code == upnp::error::kActionNotAuthorized) &&
        external > 0 && external < 1024) {
        out += texts::Text(Msg::kLowPortHint);
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

Msg PcpOutcomeText(pcp::MapOutcome outcome) {
    switch (outcome) {
        case pcp::MapOutcome::kNoAnswer:
            return Msg::kPcpNoAnswer;
        case pcp::MapOutcome::kNoSocket:
            return Msg::kPcpNoSocket;
        case pcp::MapOutcome::kNoRoute:
            return Msg::kPcpNoRoute;
        case pcp::MapOutcome::kSendFailed:
            return Msg::kStepRequestSend;
        case pcp::MapOutcome::kDone:
        case pcp::MapOutcome::kRefused:
            break;
    }
    return Msg::kStepNone;
}

// What a result code means to someone opening a port; {1} is its name.
Msg PcpCodeText(pcp::ResultCode code) {
    using pcp::ResultCode;
    static constexpr struct {
        ResultCode code;
        Msg says;
    } kCodes[] = {
        {ResultCode::kUnsuppVersion, Msg::kPcpUnsuppVersion},
        {ResultCode::kNotAuthorized, Msg::kPcpNotAuthorized},
        {ResultCode::kMalformedRequest, Msg::kPcpMalformedRequest},
        {ResultCode::kUnsuppOpcode, Msg::kPcpUnsuppOpcode},
        {ResultCode::kUnsuppOption, Msg::kPcpUnsuppOption},
        {ResultCode::kMalformedOption, Msg::kPcpMalformedOption},
        {ResultCode::kNetworkFailure, Msg::kPcpNetworkFailure},
        {ResultCode::kNoResources, Msg::kPcpNoResources},
        {ResultCode::kUnsuppProtocol, Msg::kPcpUnsuppProtocol},
        {ResultCode::kUserExQuota, Msg::kPcpUserExQuota},
        {ResultCode::kCannotProvideExternal, Msg::kPcpCannotProvideExternal},
        {ResultCode::kAddressMismatch, Msg::kPcpAddressMismatch},
        {ResultCode::kExcessiveRemotePeers, Msg::kPcpExcessiveRemotePeers},
    };
    for (const auto& c : kCodes) {
        if (code == c.code) {
            return c.says;
        }
    }
    return Msg::kPcpRefused;
}

}  // namespace

std::string DescribePcpFailure(pcp::MapOutcome outcome, pcp::ResultCode code, unsigned rawCode) {
    if (outcome != pcp::MapOutcome::kRefused) {
        return texts::Text(Msg::kReasonPrefix) + texts::Text(PcpOutcomeText(outcome));
    }
    const std::string note = code == pcp::ResultCode::kUnknown
                                 ? texts::Format(Msg::kPcpResultCode, {std::to_string(rawCode)})
                                 : std::string(pcp::ResultName(code));
    return texts::Text(Msg::kReasonPrefix) + texts::Format(PcpCodeText(code), {note});
}
