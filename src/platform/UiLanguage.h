// Whether the user's desktop speaks Japanese: the system's half of choosing
// the language (texts::SetLanguageAtStart).
#pragma once

#include <string_view>

namespace platform {

// Windows: the user's UI language (GetUserDefaultUILanguage) is Japanese.
// Elsewhere: LocaleNamesAreJapanese of LC_ALL, LC_MESSAGES and LANG.
bool UserUiLanguageIsJapanese();

// The first of the three that is set and not empty decides, as the C
// library reads them for messages: a name beginning "ja" is Japanese; C,
// POSIX, any other name and none at all are not.
bool LocaleNamesAreJapanese(std::string_view lcAll, std::string_view lcMessages,
                            std::string_view lang);

}  // namespace platform
