#include "platform/UiLanguage.h"

#include <cstdlib>

namespace platform {
namespace {

std::string_view Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string_view(value) : std::string_view();
}

}  // namespace

bool UserUiLanguageIsJapanese() {
    return LocaleNamesAreJapanese(Env("LC_ALL"), Env("LC_MESSAGES"), Env("LANG"));
}

}  // namespace platform
