#include "app/texts/Catalog.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/ActivityLog.h"
#include "app/texts/Format.h"
#include "app/texts/Language.h"
#include "platform/UiLanguage.h"
#include "support/ScopedLanguage.h"

using texts::Language;
using texts::Msg;

namespace {

const char* LanguageName(Language language) {
    return language == Language::kJapanese ? "ja" : "en";
}

std::set<char> Placeholders(std::string_view text) {
    std::set<char> found;
    for (std::size_t i = 0; i + 2 < text.size(); ++i) {
        if (text[i] == '{' && text[i + 1] >= '1' && text[i + 1] <= '9' && text[i + 2] == '}') {
            found.insert(text[i + 1]);
        }
    }
    return found;
}

// The log's marker a text begins with (after its indent), or none.
std::string_view LeadingMarker(std::string_view text) {
    text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
    for (const std::string_view marker : {"■", "◆", "○", "×", "※", "-", "("}) {
        if (text.substr(0, marker.size()) == marker) {
            return marker;
        }
    }
    return {};
}

// Kana, kanji, full-width forms and the ideographic space and stops: what
// a text copied in untranslated shows.
bool HasJapaneseScript(std::string_view text) {
    for (std::size_t i = 0; i + 2 < text.size(); ++i) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        const auto b1 = static_cast<unsigned char>(text[i + 1]);
        // U+3000-U+9FFF: E3 80 80 to E9 BF BF; U+FF00-U+FFEF: EF BC..BF.
        if ((b0 >= 0xE3 && b0 <= 0xE9) || (b0 == 0xEF && b1 >= 0xBC && b1 <= 0xBF)) {
            return true;
        }
    }
    return false;
}

bool EndsWithLineEnd(std::string_view text) {
    return text.size() >= 2 && text.substr(text.size() - 2) == "\r\n";
}

}  // namespace

// Every language says the same things: each name has a text, with the same
// placeholders (ports, addresses, codes), the same log marker in front and
// the same line end, so that a line's shape never depends on the language.
TEST(Catalog, EveryLanguageHasEveryNameInTheSameShape) {
    ASSERT_GT(texts::kMessageCount, 0u);
    for (std::size_t i = 0; i < texts::kMessageCount; ++i) {
        const Msg msg = static_cast<Msg>(i);
        const std::string_view reference = texts::TextIn(Language::kJapanese, msg);
        for (const Language language : texts::kLanguages) {
            const std::string_view text = texts::TextIn(language, msg);
            SCOPED_TRACE(std::string(texts::NameOf(msg)) + " in " + LanguageName(language));
            EXPECT_FALSE(text.empty());
            EXPECT_EQ(Placeholders(text), Placeholders(reference));
            EXPECT_EQ(LeadingMarker(text), LeadingMarker(reference));
            EXPECT_EQ(EndsWithLineEnd(text), EndsWithLineEnd(reference));
            if (language != Language::kJapanese) {
                EXPECT_FALSE(HasJapaneseScript(text));
            }
        }
    }
}

TEST(Catalog, NamedTextsFollowTheLanguageWhenRead) {
    const std::string japanese = activity_log::kClosed;
    ScopedLanguage english(Language::kEnglish);
    const std::string line = "■ 80 [TCP] : " + activity_log::kClosed;
    EXPECT_EQ(line, "■ 80 [TCP] : ○ Closed.\r\n");
    EXPECT_NE(japanese, std::string(activity_log::kClosed));
    EXPECT_EQ(texts::Format(Msg::kTableHeading, {"3"}), "◆Port mappings : 3\r\n");
    EXPECT_EQ(texts::NameOf(Msg::kClosed), "kClosed");
}

TEST(Format, FillsOnlyWhatIsAPlaceholder) {
    struct Case {
        const char* pattern;
        std::vector<std::string_view> args;
        const char* expected;
    };
    const Case cases[] = {
        {"{1} -> {2}", {"80", "8080"}, "80 -> 8080"},
        {"{2} opened on {1}", {"router", "3"}, "3 opened on router"},
        {"{1}{1}", {"ab"}, "abab"},
        {"{9}", {"1", "2", "3", "4", "5", "6", "7", "8", "nine"}, "nine"},
        // An argument's own braces are the router's text, never read again.
        {"{1}/{2}", {"{2}", "x"}, "{2}/x"},
        // A placeholder with no argument stays as written.
        {"{3} of {1}", {"a", "b"}, "{3} of a"},
        {"{1}", {}, "{1}"},
        // Not placeholders.
        {"{0} {10} {a} {} { 1}", {"x"}, "{0} {10} {a} {} { 1}"},
        {"end {", {"x"}, "end {"},
        {"end {1", {"x"}, "end {1"},
        {"}{1}{", {"x"}, "}x{"},
        {"", {"x"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        EXPECT_EQ(texts::FormatText(c.pattern, c.args), c.expected);
    }
}

TEST(Language, CommandLineOverVariableOverSystem) {
    struct Case {
        const char* cli;
        const char* env;
        bool systemJapanese;
        Language expected;
    };
    const Case cases[] = {
        {"", "", true, Language::kJapanese},
        {"", "", false, Language::kEnglish},
        {"", "en", true, Language::kEnglish},
        {"", "ja", false, Language::kJapanese},
        {"en", "ja", true, Language::kEnglish},
        {"ja", "en", false, Language::kJapanese},
        // An override naming no language is no override.
        {"", "fr", true, Language::kJapanese},
        {"", "ja_JP.UTF-8", false, Language::kEnglish},
        {"EN", "", true, Language::kJapanese},
        {"de", "en", true, Language::kEnglish},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.cli) + "|" + c.env + "|" + (c.systemJapanese ? "ja" : "-"));
        EXPECT_EQ(texts::ChooseLanguage(c.cli, c.env, c.systemJapanese), c.expected);
    }
}

TEST(Language, FirstLocaleVariableSetDecides) {
    struct Case {
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        bool japanese;
    };
    const Case cases[] = {
        {"", "", "ja_JP.UTF-8", true},
        {"", "", "ja", true},
        {"", "", "en_US.UTF-8", false},
        {"", "", "C.UTF-8", false},
        {"", "", "", false},
        {"C", "", "ja_JP.UTF-8", false},
        {"POSIX", "ja_JP.UTF-8", "ja_JP.UTF-8", false},
        {"ja_JP.eucJP", "en_GB.UTF-8", "en_GB.UTF-8", true},
        {"", "en_US.UTF-8", "ja_JP.UTF-8", false},
        {"", "ja_JP.UTF-8", "en_US.UTF-8", true},
        {"", "", "j", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.lcAll) + "|" + c.lcMessages + "|" + c.lang);
        EXPECT_EQ(platform::LocaleNamesAreJapanese(c.lcAll, c.lcMessages, c.lang), c.japanese);
    }
}
