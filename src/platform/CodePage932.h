// Code page 932 (Shift_JIS as Windows extends it), the bytes older Japanese
// programs sent to routers unconverted: the system's own converter reads
// them (iconv's CP932 on Linux, MultiByteToWideChar(932) on Windows), so a
// two-byte character whose second byte is 0x5C is never taken for a "\".
#pragma once

#include <string>
#include <string_view>

namespace platform {

// `bytes` as UTF-8 when every byte sequence is a character of code page
// 932; false otherwise (a lead byte without its trail, a pair the code page
// does not map), `utf8` unchanged.
bool Utf8FromCodePage932(std::string_view bytes, std::string* utf8);

}  // namespace platform
