// The Win32 front end talks to Windows in UTF-16 and to the rest of the
// program in UTF-8; these two conversions are the only crossing.
#pragma once

#include <string>

namespace win32ui {

// Invalid UTF-8 becomes U+FFFD rather than failing the whole text.
std::wstring Widen(const std::string& utf8);
// Lone surrogates become U+FFFD.
std::string Narrow(const std::wstring& utf16);

}  // namespace win32ui
