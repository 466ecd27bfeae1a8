#include "text/RouterText.h"
#include "text/Text.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

using namespace text;

TEST(CutLine, TakesTextBeforeFirstCrLf) {
    std::string t = "first\r\nsecond\r\n";
    std::string line = "unchanged";
    ASSERT_TRUE(CutLine(t, line));
    EXPECT_EQ(line, "first");
    EXPECT_EQ(t, "second\r\n");
    ASSERT_TRUE(CutLine(t, line));
    EXPECT_EQ(line, "second");
    EXPECT_EQ(t, "");
}

TEST(CutLine, LeadingCrLfGivesEmptyLineAndNoCrLfChangesNothing) {
    std::string t = "\r\nrest";
    std::string line = "x";
    ASSERT_TRUE(CutLine(t, line));
    EXPECT_EQ(line, "");
    EXPECT_EQ(t, "rest");
    EXPECT_FALSE(CutLine(t, line));
    EXPECT_EQ(line, "");
    EXPECT_EQ(t, "rest");
    std::string lfOnly = "a\nb";
    EXPECT_FALSE(CutLine(lfOnly, line));
    EXPECT_EQ(lfOnly, "a\nb");
}

TEST(CutToken, SeparatorOfAnyLengthIsDropped) {
    std::string t = "Content-Type: text/xml: x";
    std::string token;
    ASSERT_TRUE(CutToken(t, token, ": "));
    EXPECT_EQ(token, "Content-Type");
    EXPECT_EQ(t, "text/xml: x");
    std::string none = "no separator";
    EXPECT_FALSE(CutToken(none, token, ","));
    EXPECT_EQ(none, "no separator");
}

TEST(CutToken, NeverSplitsMultibyteCharacters) {
    // U+FF0C FULLWIDTH COMMA is EF BC 8C: no ASCII comma inside.
    std::string t =
        "80\xEF\xBC\x8C"
        "80";
    std::string token;
    EXPECT_FALSE(CutToken(t, token, ","));
}

TEST(Trim, OnlyAsciiWhiteSpaceIsTrimmed) {
    EXPECT_EQ(Trim(" \t\r\n\v\f80 \t"), "80");
    // U+3000 IDEOGRAPHIC SPACE stays.
    EXPECT_EQ(Trim("\xE3\x80\x80"
                   "TCP "),
              "\xE3\x80\x80"
              "TCP");
    EXPECT_EQ(TrimLeft("  a "), "a ");
    EXPECT_EQ(TrimRight("  a "), "  a");
    EXPECT_EQ(Trim("   "), "");
}

TEST(ReplaceAll, NonOverlappingLeftToRight) {
    EXPECT_EQ(ReplaceAll("a\r\nb\r\n", "\r\n", "\\r\\n"), "a\\r\\nb\\r\\n");
    EXPECT_EQ(ReplaceAll("aaa", "aa", "b"), "ba");
    EXPECT_EQ(ReplaceAll("x", "", "y"), "x");
}

TEST(AtoiPrefix, FollowsAtoiWithoutOverflow) {
    EXPECT_EQ(AtoiPrefix("80"), 80);
    EXPECT_EQ(AtoiPrefix("  -12x"), -12);
    EXPECT_EQ(AtoiPrefix("+7"), 7);
    EXPECT_EQ(AtoiPrefix("80a"), 80);
    EXPECT_EQ(AtoiPrefix("abc"), 0);
    EXPECT_EQ(AtoiPrefix(""), 0);
    EXPECT_EQ(AtoiPrefix("70000"), 70000);
    EXPECT_EQ(AtoiPrefix("99999999999999999999"), INT_MAX);
    EXPECT_EQ(AtoiPrefix("-99999999999999999999"), INT_MIN);
}

TEST(ParseDecimal, DigitsOnlyAndNeverPastTheLimit) {
    struct Case {
        const char* digits;
        unsigned long long max;
        bool ok;
        unsigned long long value;
    };
    for (const Case& c :
         {Case{"65535", 65535, true, 65535}, Case{"65536", 65535, false, 0},
          Case{"0080", 65535, true, 80}, Case{"", 65535, false, 0}, Case{"8 0", 65535, false, 0},
          Case{"-1", 65535, false, 0}, Case{"5", 0, false, 0}, Case{"0", 0, true, 0},
          Case{"18446744073709551615", ~0ULL, true, ~0ULL},
          Case{"18446744073709551616", ~0ULL, false, 0}}) {
        unsigned long long value = 0;
        EXPECT_EQ(ParseDecimal(c.digits, c.max, &value), c.ok) << c.digits;
        EXPECT_EQ(value, c.value) << c.digits;
    }
}

TEST(TakeLine, LfOrCrLfEndsALineAndTheLastNeedsNone) {
    std::string_view rest = "a\r\nb\n\r\nc\r\r\nd";
    std::vector<std::string> lines;
    while (!rest.empty()) {
        lines.emplace_back(TakeLine(rest));
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "b", "", "c\r", "d"}));
}

TEST(NoCase, AsciiFoldingOnly) {
    EXPECT_TRUE(EqualsNoCase("Content-Length", "content-LENGTH"));
    EXPECT_FALSE(EqualsNoCase("Content-Length", "Content-Lengt"));
    EXPECT_TRUE(StartsWithNoCase("HTTP://x", "http://"));
    EXPECT_FALSE(StartsWithNoCase("htt", "http://"));
}

TEST(SanitizeUtf8, ReplacesBadBytesAndKeepsGoodText) {
    const std::string good = "HTTP\xE6\x8E\xA5\xE7\xB6\x9A";  // HTTP接続
    EXPECT_EQ(SanitizeUtf8(good), good);
    EXPECT_EQ(SanitizeUtf8("a\xFF"
                           "b"),
              "a\xEF\xBF\xBD"
              "b");
    // Shift-JIS bytes for "接" are not UTF-8.
    EXPECT_EQ(SanitizeUtf8("\x90\xDA"), "\xEF\xBF\xBD\xEF\xBF\xBD");
    // Truncated sequence at the end, overlong form and a surrogate.
    EXPECT_EQ(SanitizeUtf8("\xE6\x8E"), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(SanitizeUtf8("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(SanitizeUtf8("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(SanitizeUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Utf8FromRouter, UnconvertedShiftJisIsReadAsCodePage932) {
    struct Row {
        const char* what;
        std::string router;  // the bytes the router sent back
        std::string shown;   // UTF-8
    };
    const Row rows[] = {
        {"UTF-8 stays", "HTTP接続の通過", "HTTP接続の通過"},
        {"an old tool's description", "HTTP\x90\xDA\x91\xB1\x82\xCC\x92\xCA\x89\xDF",
         "HTTP接続の通過"},
        // 0x5C, a backslash on its own, is the trail byte of ソ, 表 and 能.
        {"0x5C trail bytes", "C:\\\x83\x5C\x83\x74\x83\x67 \x95\x5C\x8E\xA6 \x94\x5C\x97\xCD",
         "C:\\ソフト 表示 能力"},
        {"half-width katakana", "\xCE\xDF\xB0\xC4 8080", "ﾎﾟｰﾄ 8080"},
        // Neither UTF-8 nor code page 932: the bad bytes replaced, as before.
        {"a lead byte cut off at the end", "web\x82", "web\xEF\xBF\xBD"},
        {"a lead byte before a byte that trails none", "\x82 web", "\xEF\xBF\xBD web"},
        {"a lead byte before DEL", "a\x81\x7F", "a\xEF\xBF\xBD\x7F"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(text::Utf8FromRouter(r.router), r.shown) << r.what;
    }
}

TEST(LineEnds, ConvertBothWaysWithoutDoubling) {
    EXPECT_EQ(LfToCrLf("a\nb\r\nc\n"), "a\r\nb\r\nc\r\n");
    EXPECT_EQ(CrLfToLf("a\r\nb\r\n"), "a\nb\n");
    EXPECT_EQ(CrLfToLf(LfToCrLf("x\n\ny")), "x\n\ny");
}

TEST(TextEnds, ZeroByteEndsTheTextAndAByteOrderMarkGoes) {
    struct Case {
        std::string in;
        std::string cut;
        std::string withoutBom;
    };
    const Case cases[] = {
        {"", "", ""},
        {"abc", "abc", "abc"},
        {std::string("ab\0c\0", 5), "ab", std::string("ab\0c\0", 5)},
        {std::string("\0x", 2), "", std::string("\0x", 2)},
        {"\xEF\xBB\xBF[a]", "\xEF\xBB\xBF[a]", "[a]"},
        {"\xEF\xBB\xBF\xEF\xBB\xBF", "\xEF\xBB\xBF\xEF\xBB\xBF", "\xEF\xBB\xBF"},  // only one goes
        {"\xEF\xBB", "\xEF\xBB", "\xEF\xBB"},  // a cut-off mark is text
        {"x\xEF\xBB\xBF", "x\xEF\xBB\xBF", "x\xEF\xBB\xBF"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CutAtZero(c.in), c.cut) << c.in;
        EXPECT_EQ(DropUtf8Bom(c.in), c.withoutBom) << c.in;
    }
}
