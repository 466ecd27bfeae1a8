#include "platform/CodePage932.h"

#include <windows.h>

#include <climits>

#include "platform/win32/Utf16.h"

namespace platform {

bool Utf8FromCodePage932(std::string_view bytes, std::string* utf8) {
    if (bytes.empty()) {
        utf8->clear();
        return true;
    }
    if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
        return false;
    }
    const int size = static_cast<int>(bytes.size());
    // MB_ERR_INVALID_CHARS: an unmapped or cut-off sequence fails the whole
    // text instead of becoming a default character.
    const int wide = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
    if (wide <= 0) {
        return false;
    }
    std::wstring text(static_cast<std::size_t>(wide), L'\0');
    if (MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), size, text.data(), wide) !=
        wide) {
        return false;
    }
    *utf8 = Narrow(text);
    return true;
}

}  // namespace platform
