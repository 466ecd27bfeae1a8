// The texts that make a desktop session start the window program at login:
// an XDG autostart entry (~/.config/autostart/pontaro.desktop) and the value
// `Pontaro` of the per-user Run key. Pure text in both directions; the file
// and the registry are LoginEntry.cpp's, one per system.
#pragma once

#include <optional>
#include <string>

namespace platform {

// What a start at login passes, so that the window goes to the notification
// area at once.
inline constexpr char kAutostartArgument[] = "--autostart";

// The autostart entry that starts `command` (a name PATH finds, or an
// absolute path) with kAutostartArgument. Empty when the command cannot be
// written into an entry: empty, a control character, or not UTF-8.
std::string AutostartEntryText(const std::string& command);

// The program an autostart entry starts: the first argument of Exec in its
// [Desktop Entry] group, unquoted. nullopt when the entry starts nothing:
// no such line, an unterminated quote, or switched off by a desktop's
// settings (Hidden=true, X-GNOME-Autostart-enabled=false).
std::optional<std::string> AutostartEntryProgram(const std::string& text);

// The Run value: the program's path in quote marks, then kAutostartArgument.
// Empty for a path that cannot be quoted (empty, or with a quote mark).
std::string RunValueText(const std::string& exePath);

// The program a Run value starts: its first word, in quote marks or up to
// the first blank. nullopt for an empty value or an unterminated quote.
std::optional<std::string> RunValueProgram(const std::string& value);

}  // namespace platform
