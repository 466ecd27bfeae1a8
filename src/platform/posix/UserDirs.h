// The user's base directories as XDG names them (XDG_CONFIG_HOME, XDG_RUNTIME_DIR).
#pragma once

#include <string>

namespace platform {

// $XDG_CONFIG_HOME when it is an absolute path, else $HOME/.config.
std::string ConfigHome();

// $XDG_RUNTIME_DIR when it is an absolute path, else a directory of this
// user's own under /tmp (made here, mode 0700; one that another user owns
// or others may enter is refused). Empty when there is none to be had.
std::string RuntimeDirectory();

}  // namespace platform
