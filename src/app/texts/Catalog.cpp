#include "app/texts/Catalog.h"

#include <array>

#include "app/texts/Format.h"

namespace texts {
namespace {

using Table = std::array<std::string_view, kMessageCount>;

constexpr std::size_t Index(Msg msg) {
    return static_cast<std::size_t>(msg);
}

#pragma push_macro("TEXT")
#undef TEXT

// A language's files may list the names in any order; a name that is not in
// the Japanese files does not compile.
#define TEXT(name, text) t[Index(Msg::name)] = text;
constexpr Table JapaneseTable() {
    Table t{};
#include "app/texts/Cli.ja.inc"
#include "app/texts/Log.ja.inc"
#include "app/texts/Window.ja.inc"
    return t;
}
constexpr Table EnglishTable() {
    Table t{};
#include "app/texts/Cli.en.inc"
#include "app/texts/Log.en.inc"
#include "app/texts/Window.en.inc"
    return t;
}
#undef TEXT

// A name listed twice in one language would leave another one out unseen
// by the count of empty texts alone.
constexpr std::size_t kEnglishEntries = 0
#define TEXT(name, text) +1
#include "app/texts/Cli.en.inc"
#include "app/texts/Log.en.inc"
#include "app/texts/Window.en.inc"
#undef TEXT
    ;
static_assert(kEnglishEntries == kMessageCount, "a name is listed twice in the English files");

constexpr Table kJapanese = JapaneseTable();
constexpr Table kEnglish = EnglishTable();

constexpr std::array<std::string_view, kMessageCount> kNames{
#define TEXT(name, text) #name,
#include "app/texts/Cli.ja.inc"
#include "app/texts/Log.ja.inc"
#include "app/texts/Window.ja.inc"
#undef TEXT
};

#pragma pop_macro("TEXT")

}  // namespace

std::string_view TextIn(Language language, Msg msg) {
    const std::size_t i = Index(msg);
    if (i >= kMessageCount) {
        return {};
    }
    return language == Language::kEnglish ? kEnglish[i] : kJapanese[i];
}

std::string_view NameOf(Msg msg) {
    const std::size_t i = Index(msg);
    return i < kMessageCount ? kNames[i] : std::string_view();
}

std::string Text(Msg msg) {
    std::string_view text = TextIn(CurrentLanguage(), msg);
    if (text.empty()) {
        text = TextIn(Language::kJapanese, msg);
    }
    return std::string(text);
}

std::string Format(Msg msg, std::initializer_list<std::string_view> args) {
    return FormatText(Text(msg), {args.begin(), args.size()});
}

std::string operator+(const std::string& left, Message right) {
    return left + std::string(right);
}
std::string operator+(Message left, const std::string& right) {
    return std::string(left) + right;
}
std::string operator+(const char* left, Message right) {
    return left + std::string(right);
}
std::string operator+(Message left, const char* right) {
    return std::string(left) + right;
}
std::string operator+(Message left, Message right) {
    return std::string(left) + std::string(right);
}
bool operator==(Message left, std::string_view right) {
    return Text(left.Id()) == right;
}

}  // namespace texts
