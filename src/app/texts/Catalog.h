// Every text this program shows, by name. The names come from the Japanese
// tables (<Area>.ja.inc, lines TEXT(kName, "text")); each further language
// has a table of the same names (<Area>.en.inc). A text's {1}...{9} are
// filled by Format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "app/texts/Language.h"

namespace texts {

// Qt's moc reads this header through the window's and fails on an #include
// inside braces; it needs none of the names.
#ifndef Q_MOC_RUN
// windows.h has a TEXT of its own; it is back after the tables.
#pragma push_macro("TEXT")
#undef TEXT
enum class Msg : std::uint16_t {
#define TEXT(name, text) name,
#include "app/texts/Cli.ja.inc"
#include "app/texts/Log.ja.inc"
#include "app/texts/Window.ja.inc"
#undef TEXT
};

inline constexpr std::size_t kMessageCount = 0
#define TEXT(name, text) +1
#include "app/texts/Cli.ja.inc"
#include "app/texts/Log.ja.inc"
#include "app/texts/Window.ja.inc"
#undef TEXT
    ;
#pragma pop_macro("TEXT")
#else
enum class Msg : std::uint16_t {};
#endif

// The text in the current language.
std::string Text(Msg msg);
// The text in the current language with its placeholders filled.
std::string Format(Msg msg, std::initializer_list<std::string_view> args);

// The text as `language`'s table has it: empty when the table lacks it (a
// text missing there is shown in Japanese).
std::string_view TextIn(Language language, Msg msg);
// "kName", for the catalog's own checks.
std::string_view NameOf(Msg msg);

// A named text that reads as a std::string wherever one is expected, in the
// language current when it is read: for constants such as
// activity_log::kClosed that are written into longer lines.
class Message {
public:
    constexpr explicit Message(Msg msg) : msg_(msg) {}
    operator std::string() const { return Text(msg_); }
    Msg Id() const { return msg_; }

private:
    Msg msg_;
};

std::string operator+(const std::string& left, Message right);
std::string operator+(Message left, const std::string& right);
std::string operator+(const char* left, Message right);
std::string operator+(Message left, const char* right);
std::string operator+(Message left, Message right);
bool operator==(Message left, std::string_view right);

}  // namespace texts
