// The windows' texts as the C strings their APIs take, and the access keys of
// the menu entries (one & each): Alt and a key must reach one entry only.
#include "app/texts/WindowText.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <set>
#include <string>

#include "app/texts/Catalog.h"
#include "app/texts/Language.h"
#include "support/ScopedLanguage.h"

using texts::Language;
using texts::Msg;

namespace {

constexpr Msg kMenuEntries[] = {Msg::kMenuClosePorts,   Msg::kMenuCloseAll,
                                Msg::kMenuShowMappings, Msg::kMenuOpenIpv6,
                                Msg::kMenuStartAtLogin, Msg::kMenuAbout};

}  // namespace

TEST(WindowText, IsTheCurrentLanguagesTextZeroEnded) {
    const struct {
        Language language;
        Msg msg;
        const char* text;
    } rows[] = {
        {Language::kJapanese, Msg::kMenuClosePorts, "ポートを閉じる(&C)"},
        // The example's lines end in CR LF, as a Win32 static control shows them.
        {Language::kEnglish, Msg::kWindowExample,
         "Example:\r\n80, 80, TCP, HTTP server\r\n21, 21, TCP, FTP server"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        ScopedLanguage scope(row.language);
        const char* got = texts::CText(row.msg);
        ASSERT_NE(got, nullptr);
        EXPECT_STREQ(got, row.text);
    }
}

TEST(WindowText, MenuAccessKeysAreDistinct) {
    const struct {
        Language language;
        // The keys of the entries Windows puts in every system menu (Restore,
        // Move, Size, Minimize, Maximize, Close); Japanese has kept its own
        // since its first version.
        const char* systemKeys;
    } rows[] = {{Language::kJapanese, ""}, {Language::kEnglish, "rmsnxc"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.language == Language::kEnglish ? "English" : "Japanese");
        std::set<char> keys(row.systemKeys, row.systemKeys + std::strlen(row.systemKeys));
        for (const Msg entry : kMenuEntries) {
            const std::string text(texts::TextIn(row.language, entry));
            const std::size_t amp = text.find('&');
            ASSERT_NE(amp, std::string::npos) << text;
            ASSERT_LT(amp + 1, text.size()) << text;
            EXPECT_EQ(text.find('&', amp + 1), std::string::npos) << text;
            const char key =
                static_cast<char>(std::tolower(static_cast<unsigned char>(text[amp + 1])));
            EXPECT_TRUE(keys.insert(key).second) << "'" << key << "' of " << text << " is taken";
        }
    }
}
