#include "platform/Random.h"

#include <sys/random.h>

#include <cerrno>

namespace platform {

bool RandomBytes(std::size_t count, std::string* out) {
    out->assign(count, '\0');
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = getrandom(out->data() + done, count - done, 0);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace platform
