// Reading a descriptor to its end, shared by the file and console code.
#pragma once

#include <string>

namespace platform {

// Everything `fd` gives until its end. False on a read error (a directory
// included); `contents` is then unchanged.
bool ReadAll(int fd, std::string* contents);

}  // namespace platform
