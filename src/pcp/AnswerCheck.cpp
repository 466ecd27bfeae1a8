#include "pcp/AnswerCheck.h"

namespace pcp {

AnswerCheck CheckAnswerStart(std::string_view d, std::uint8_t expectedVersion,
                             std::size_t headerSize, std::uint8_t expectedOpcode,
                             std::uint8_t* version, std::uint8_t* opcode) {
    constexpr std::uint8_t kResponseBit = 0x80;
    if (d.empty()) {
        return AnswerCheck::kTooShort;
    }
    *version = static_cast<std::uint8_t>(d[0]);
    if (*version != expectedVersion) {
        return AnswerCheck::kWrongVersion;
    }
    if (d.size() < headerSize) {
        return AnswerCheck::kTooShort;
    }
    const auto op = static_cast<std::uint8_t>(d[1]);
    *opcode = op & ~kResponseBit;
    if ((op & kResponseBit) == 0) {
        return AnswerCheck::kNotAnAnswer;
    }
    return *opcode == expectedOpcode ? AnswerCheck::kOk : AnswerCheck::kWrongOpcode;
}

}  // namespace pcp
