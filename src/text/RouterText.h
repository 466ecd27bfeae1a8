// Texts a router hands back (descriptions above all) as the program shows
// them. Older Japanese programs sent their descriptions in code page 932
// bytes, unconverted, and routers keep whatever bytes they got.
#pragma once

#include <string>
#include <string_view>

namespace text {

// `s` as it is when it is valid UTF-8; converted when it is not but is
// valid code page 932 (Shift_JIS: "HTTP接続の通過" from an old tool);
// otherwise with every invalid sequence replaced by U+FFFD, as SanitizeUtf8.
std::string Utf8FromRouter(std::string_view s);

}  // namespace text
