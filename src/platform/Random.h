#pragma once

#include <cstddef>
#include <string>

namespace platform {

// `count` bytes from the system's cryptographic random source (Linux:
// getrandom; Windows: rand_s). False when the source failed; `out` is then
// not to be used.
bool RandomBytes(std::size_t count, std::string* out);

}  // namespace platform
