// Whether this user's desktop session starts the window program at login,
// as the system holds it: the XDG autostart entry
// $XDG_CONFIG_HOME/autostart/pontaro.desktop (default ~/.config) on Linux,
// the value `Pontaro` of HKCU\Software\Microsoft\Windows\CurrentVersion\Run
// on Windows. Neither needs administrator rights. The texts are
// LoginEntryText's.
#pragma once

#include <string>

namespace platform {

// The running executable's absolute path (UTF-8); empty when unknown.
std::string ThisProgram();

// true when the entry exists, is switched on and starts `program`. An entry
// removed or switched off elsewhere reads as false.
bool StartsAtLogin(const std::string& program);

// Writes the entry for `program`, or removes it when it starts `program`
// (an entry that starts something else is left alone). true when the
// system then holds what was asked.
bool SetStartAtLogin(const std::string& program, bool on);

}  // namespace platform
