#include "pcp/ResultCode.h"

namespace pcp {

ResultCode FromPcpResult(std::uint8_t code) {
    return code <= 13 ? static_cast<ResultCode>(code) : ResultCode::kUnknown;
}

ResultCode FromNatPmpResult(std::uint16_t code) {
    switch (code) {
        case 0:
            return ResultCode::kSuccess;
        case 1:
            return ResultCode::kUnsuppVersion;
        case 2:
            return ResultCode::kNotAuthorized;
        case 3:
            return ResultCode::kNetworkFailure;
        case 4:
            return ResultCode::kNoResources;
        case 5:
            return ResultCode::kUnsuppOpcode;
        default:
            return ResultCode::kUnknown;
    }
}

const char* ResultName(ResultCode code) {
    switch (code) {
        case ResultCode::kSuccess:
            return "SUCCESS";
        case ResultCode::kUnsuppVersion:
            return "UNSUPP_VERSION";
        case ResultCode::kNotAuthorized:
            return "NOT_AUTHORIZED";
        case ResultCode::kMalformedRequest:
            return "MALFORMED_REQUEST";
        case ResultCode::kUnsuppOpcode:
            return "UNSUPP_OPCODE";
        case ResultCode::kUnsuppOption:
            return "UNSUPP_OPTION";
        case ResultCode::kMalformedOption:
            return "MALFORMED_OPTION";
        case ResultCode::kNetworkFailure:
            return "NETWORK_FAILURE";
        case ResultCode::kNoResources:
            return "NO_RESOURCES";
        case ResultCode::kUnsuppProtocol:
            return "UNSUPP_PROTOCOL";
        case ResultCode::kUserExQuota:
            return "USER_EX_QUOTA";
        case ResultCode::kCannotProvideExternal:
            return "CANNOT_PROVIDE_EXTERNAL";
        case ResultCode::kAddressMismatch:
            return "ADDRESS_MISMATCH";
        case ResultCode::kExcessiveRemotePeers:
            return "EXCESSIVE_REMOTE_PEERS";
        case ResultCode::kUnknown:
            break;
    }
    return "UNKNOWN";
}

}  // namespace pcp
