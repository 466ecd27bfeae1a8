// Byte-string helpers shared by every layer. Texts are UTF-8; every separator
// used here is ASCII, so a byte search never matches inside a multibyte
// character.
//
// Errors in src/text: none are kept; a helper answers a value, or false for
// input it cannot use.
#pragma once

#include <string>
#include <string_view>

namespace text {

// If `text` holds CR LF: `line` gets everything before the first CR LF, `text`
// loses everything up to and including it, and the result is true. Otherwise
// neither changes and the result is false.
bool CutLine(std::string& text, std::string& line);

// The first line of `rest`: everything before the first LF (all of it when
// there is none), without one CR before that LF. `rest` loses the line and
// its LF. For texts whose lines may end in LF alone.
std::string_view TakeLine(std::string_view& rest);

// The same as CutLine with any non-empty separator in place of CR LF.
bool CutToken(std::string& text, std::string& token, std::string_view separator);

// Space, tab, LF, VT, FF and CR. Bytes of multibyte characters never are.
bool IsAsciiSpace(char c);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
std::string Trim(std::string_view s);

// Replaces every non-overlapping occurrence, scanning left to right.
std::string ReplaceAll(std::string_view s, std::string_view from, std::string_view to);

// The C library's atoi rules (leading white space, an optional sign, digits up
// to the first other byte, 0 without digits), saturated to the int range
// instead of overflowing.
int AtoiPrefix(std::string_view s);

// A number written in decimal digits only (no sign, no space, at least one
// digit) that is at most `max`. False otherwise, `value` unchanged. The
// digits are never summed past `max`, so any length is safe.
bool ParseDecimal(std::string_view digits, unsigned long long max, unsigned long long* value);

// ASCII-only letter case folding.
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view s, std::string_view prefix);
// The value of one hex digit (either letter case), or -1.
int HexDigitValue(char c);
// a-z as A-Z; every other byte as it is (protocol names: "tcp" is "TCP").
std::string AsciiUpper(std::string s);

// The text up to its first zero byte, where a C string would end; all of it
// when there is none.
std::string_view CutAtZero(std::string_view s);
// The text without a leading UTF-8 byte-order mark.
std::string_view DropUtf8Bom(std::string_view s);

// Replaces every byte sequence that is not valid UTF-8 with U+FFFD.
std::string SanitizeUtf8(std::string_view s);
// Whether SanitizeUtf8 would leave `s` as it is.
bool IsValidUtf8(std::string_view s);

// Line ends: the program keeps CR LF inside; LF-based boxes and files convert.
std::string LfToCrLf(std::string_view s);  // lone LF -> CR LF; existing CR LF kept
std::string CrLfToLf(std::string_view s);  // CR LF -> LF

}  // namespace text
