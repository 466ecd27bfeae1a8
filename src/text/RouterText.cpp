#include "text/RouterText.h"

#include "platform/CodePage932.h"
#include "text/Text.h"

namespace text {

std::string Utf8FromRouter(std::string_view s) {
    // UTF-8 first: every ASCII text is both, and many short Shift_JIS texts
    // are valid UTF-8 too, never the other way round for what Pontaro sends.
    if (IsValidUtf8(s)) {
        return std::string(s);
    }
    std::string converted;
    if (platform::Utf8FromCodePage932(s, &converted)) {
        return converted;
    }
    return SanitizeUtf8(s);
}

}  // namespace text
