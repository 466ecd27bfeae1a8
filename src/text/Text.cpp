#include "text/Text.h"

#include <climits>

namespace text {

bool CutToken(std::string& text, std::string& token, std::string_view separator) {
    if (separator.empty()) {
        return false;
    }
    const std::size_t at = text.find(separator);
    if (at == std::string::npos) {
        return false;
    }
    token.assign(text, 0, at);
    text.erase(0, at + separator.size());
    return true;
}

bool CutLine(std::string& text, std::string& line) {
    return CutToken(text, line, "\r\n");
}

std::string_view CutAtZero(std::string_view s) {
    return s.substr(0, s.find('\0'));
}

std::string_view DropUtf8Bom(std::string_view s) {
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    return s.substr(0, kBom.size()) == kBom ? s.substr(kBom.size()) : s;
}

bool IsAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string AsciiUpper(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return s;
}

std::string TrimLeft(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && IsAsciiSpace(s[i])) {
        ++i;
    }
    return std::string(s.substr(i));
}

std::string TrimRight(std::string_view s) {
    std::size_t n = s.size();
    while (n > 0 && IsAsciiSpace(s[n - 1])) {
        --n;
    }
    return std::string(s.substr(0, n));
}

std::string Trim(std::string_view s) {
    return TrimRight(TrimLeft(s));
}

std::string ReplaceAll(std::string_view s, std::string_view from, std::string_view to) {
    if (from.empty()) {
        return std::string(s);
    }
    std::string out;
    out.reserve(s.size());
    std::size_t pos = 0;
    for (;;) {
        const std::size_t at = s.find(from, pos);
        if (at == std::string_view::npos) {
            out.append(s.substr(pos));
            return out;
        }
        out.append(s.substr(pos, at - pos));
        out.append(to);
        pos = at + from.size();
    }
}

std::string_view TakeLine(std::string_view& rest) {
    const std::size_t lf = rest.find('\n');
    std::string_view line = rest.substr(0, lf);
    rest = lf == std::string_view::npos ? std::string_view() : rest.substr(lf + 1);
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    return line;
}

bool ParseDecimal(std::string_view digits, unsigned long long max, unsigned long long* value) {
    if (digits.empty()) {
        return false;
    }
    unsigned long long v = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return false;
        }
        const unsigned d = static_cast<unsigned>(c - '0');
        if (d > max || v > (max - d) / 10) {
            return false;
        }
        v = v * 10 + d;
    }
    *value = v;
    return true;
}

int AtoiPrefix(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && IsAsciiSpace(s[i])) {
        ++i;
    }
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        value = value * 10 + (s[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) {
            value = static_cast<long long>(INT_MAX) + 1;
        }
    }
    if (negative) {
        value = -value;
    }
    if (value > INT_MAX) {
        return INT_MAX;
    }
    if (value < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}

static char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

// Length of the valid UTF-8 sequence at s[i], or 0 when it is not one.
static std::size_t ValidSequenceLength(std::string_view s, std::size_t i) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    if (c < 0x80) {
        return 1;
    }
    std::size_t need;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        need = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
        need = 2;
        if (c == 0xE0)
            lo = 0xA0;  // no overlong forms
        if (c == 0xED)
            hi = 0x9F;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        need = 3;
        if (c == 0xF0)
            lo = 0x90;
        if (c == 0xF4)
            hi = 0x8F;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (i + need >= s.size()) {
        return 0;  // cut short by the end of the text
    }
    if (b(i + 1) < lo || b(i + 1) > hi) {
        return 0;
    }
    for (std::size_t k = 2; k <= need; ++k) {
        if (b(i + k) < 0x80 || b(i + k) > 0xBF) {
            return 0;
        }
    }
    return need + 1;
}

std::string SanitizeUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t n = ValidSequenceLength(s, i);
        if (n == 0) {
            out.append("\xEF\xBF\xBD");
            ++i;
        } else {
            out.append(s.substr(i, n));
            i += n;
        }
    }
    return out;
}

bool IsValidUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = ValidSequenceLength(s, i);
        if (n == 0) {
            return false;
        }
        i += n;
    }
    return true;
}

std::string LfToCrLf(std::string_view s) {
    std::string out;
    out.reserve(s.size() + s.size() / 16);
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\n' && (i == 0 || s[i - 1] != '\r')) {
            out.push_back('\r');
        }
        out.push_back(s[i]);
    }
    return out;
}

std::string CrLfToLf(std::string_view s) {
    return ReplaceAll(s, "\r\n", "\n");
}

}  // namespace text
