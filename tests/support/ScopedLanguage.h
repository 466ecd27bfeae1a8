// The texts' language set for one test, Japanese (the tests' own) put back
// after.
#pragma once

#include "app/texts/Language.h"

class ScopedLanguage {
public:
    explicit ScopedLanguage(texts::Language language) { texts::SetLanguage(language); }
    ~ScopedLanguage() { texts::SetLanguage(texts::Language::kJapanese); }
    ScopedLanguage(const ScopedLanguage&) = delete;
    ScopedLanguage& operator=(const ScopedLanguage&) = delete;
};
