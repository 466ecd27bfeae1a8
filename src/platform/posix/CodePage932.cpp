#include "platform/CodePage932.h"

#include <iconv.h>

#include <cerrno>

namespace platform {

bool Utf8FromCodePage932(std::string_view bytes, std::string* utf8) {
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return false;
    }
    // At most three UTF-8 bytes for each byte of input (a half-width kana).
    std::string out(bytes.size() * 3, '\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char* to = out.data();
    std::size_t outLeft = out.size();
    // EILSEQ for an unmapped sequence, EINVAL for one cut off at the end.
    const bool converted = iconv(cd, &in, &inLeft, &to, &outLeft) != static_cast<std::size_t>(-1) &&
                           inLeft == 0 && iconv(cd, nullptr, nullptr, &to, &outLeft) == 0;
    iconv_close(cd);
    if (!converted) {
        return false;
    }
    out.resize(out.size() - outLeft);
    *utf8 = std::move(out);
    return true;
}

}  // namespace platform
