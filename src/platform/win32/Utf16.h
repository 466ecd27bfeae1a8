// Windows' wide API speaks UTF-16 and the rest of the program UTF-8; these
// two conversions are the only crossing (platform layer and Win32 front end).
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// Invalid UTF-8 becomes U+FFFD rather than failing the whole text.
std::wstring Widen(const std::string& utf8);
// Lone surrogates become U+FFFD.
std::string Narrow(const std::wstring& utf16);
std::string Narrow(const wchar_t* utf16, std::size_t length);

}  // namespace platform
