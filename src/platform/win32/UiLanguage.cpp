#include "platform/UiLanguage.h"

#include <windows.h>

namespace platform {

bool UserUiLanguageIsJapanese() {
    // The language of the user's menus and dialogs, not the format locale:
    // an English Windows with Japanese dates is English here.
    return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE;
}

}  // namespace platform
