// The language of every text this program shows, chosen once at start.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace texts {

// Japanese is the reference: every other language's table follows its names.
enum class Language { kJapanese, kEnglish };
inline constexpr std::array<Language, 2> kLanguages{Language::kJapanese, Language::kEnglish};

// "ja" or "en" (the values of --lang and PONTARO_LANG); nullopt for any other.
std::optional<Language> ParseLanguage(std::string_view code);

// The command line's choice over PONTARO_LANG's over the system's. An
// override that names no language counts as absent.
Language ChooseLanguage(std::string_view cliOverride, std::string_view envOverride,
                        bool systemIsJapanese);

// Until a front end sets it, Japanese.
void SetLanguage(Language language);
Language CurrentLanguage();

// ChooseLanguage with this process's PONTARO_LANG and the user's UI
// language, then SetLanguage; what the front ends call first.
Language SetLanguageAtStart(std::string_view cliOverride);

}  // namespace texts
