#include "app/texts/Format.h"

namespace texts {

std::string FormatText(std::string_view pattern, std::span<const std::string_view> args) {
    std::string out;
    out.reserve(pattern.size());
    std::size_t at = 0;
    while (at < pattern.size()) {
        const char c = pattern[at];
        if (c == '{' && at + 2 < pattern.size() && pattern[at + 2] == '}' &&
            pattern[at + 1] >= '1' && pattern[at + 1] <= '9') {
            const std::size_t n = static_cast<std::size_t>(pattern[at + 1] - '1');
            if (n < args.size()) {
                out += args[n];
                at += 3;
                continue;
            }
        }
        out += c;
        ++at;
    }
    return out;
}

}  // namespace texts
