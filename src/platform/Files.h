#pragma once

#include <string>

namespace platform {

enum class ReadResult { kOk, kMissing, kUnreadable };

// Reads a whole file. kMissing when it does not exist; kUnreadable when it
// exists but cannot be read (permissions, I/O error, a directory).
ReadResult ReadWholeFile(const std::string& path, std::string* contents);

// Writes a temporary file beside `path`, flushes it and renames it over
// `path`, so that a crash or a full disk never leaves a half-written file.
// Creates the parent directory when needed. true on success.
bool WriteFileAtomically(const std::string& path, const std::string& contents);

// Gives `from` the name `to`, which must not exist yet (nothing is
// replaced). true on success.
bool RenameFile(const std::string& from, const std::string& to);

// `path` as an absolute path, for a name that must mean the same file from
// any working directory; `path` as it is when that cannot be made.
std::string AbsolutePath(const std::string& path);

// Where the settings live: $XDG_CONFIG_HOME/pontaro/pontaro.ini (default
// ~/.config/pontaro/pontaro.ini) on Linux, %APPDATA%\Pontaro\Pontaro.ini on
// Windows. Paths are UTF-8.
std::string DefaultProfilePath();

}  // namespace platform
