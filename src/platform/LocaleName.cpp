#include "platform/UiLanguage.h"

namespace platform {

bool LocaleNamesAreJapanese(std::string_view lcAll, std::string_view lcMessages,
                            std::string_view lang) {
    for (const std::string_view name : {lcAll, lcMessages, lang}) {
        if (!name.empty()) {
            return name.substr(0, 2) == "ja";
        }
    }
    return false;
}

}  // namespace platform
