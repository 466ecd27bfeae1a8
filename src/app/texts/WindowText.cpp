#include "app/texts/WindowText.h"

#include "app/texts/Catalog.h"

namespace texts {

const char* CText(Msg msg) {
    std::string_view text = TextIn(CurrentLanguage(), msg);
    if (text.empty())
        text = TextIn(Language::kJapanese, msg);
    return text.empty() ? "" : text.data();
}

}  // namespace texts
