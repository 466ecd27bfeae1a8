#include "app/texts/Language.h"

#include <atomic>
#include <cstdlib>

#include "platform/UiLanguage.h"

namespace texts {
namespace {

// Set once at start, read by every thread that writes a text.
std::atomic<Language> current{Language::kJapanese};

}  // namespace

std::optional<Language> ParseLanguage(std::string_view code) {
    if (code == "ja") {
        return Language::kJapanese;
    }
    if (code == "en") {
        return Language::kEnglish;
    }
    return std::nullopt;
}

Language ChooseLanguage(std::string_view cliOverride, std::string_view envOverride,
                        bool systemIsJapanese) {
    if (const auto chosen = ParseLanguage(cliOverride)) {
        return *chosen;
    }
    if (const auto chosen = ParseLanguage(envOverride)) {
        return *chosen;
    }
    return systemIsJapanese ? Language::kJapanese : Language::kEnglish;
}

void SetLanguage(Language language) {
    current.store(language, std::memory_order_relaxed);
}

Language CurrentLanguage() {
    return current.load(std::memory_order_relaxed);
}

Language SetLanguageAtStart(std::string_view cliOverride) {
    const char* env = std::getenv("PONTARO_LANG");
    const Language chosen = ChooseLanguage(cliOverride, env != nullptr ? env : "",
                                           platform::UserUiLanguageIsJapanese());
    SetLanguage(chosen);
    return chosen;
}

}  // namespace texts
