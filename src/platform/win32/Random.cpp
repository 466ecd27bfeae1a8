// rand_s draws from the system's RtlGenRandom; it is declared only with this
// switch set before the first C runtime header.
#define _CRT_RAND_S
#include <stdlib.h>

#include "platform/Random.h"

namespace platform {

bool RandomBytes(std::size_t count, std::string* out) {
    out->assign(count, '\0');
    for (std::size_t i = 0; i < count; i += 4) {
        unsigned int value = 0;
        if (rand_s(&value) != 0) {
            return false;
        }
        for (std::size_t b = 0; b < 4 && i + b < count; ++b) {
            (*out)[i + b] = static_cast<char>((value >> (8 * b)) & 0xFF);
        }
    }
    return true;
}

}  // namespace platform
