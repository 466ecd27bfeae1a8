// A start of a window program while another may run for this user: two
// windows renewing the same rules are never wanted, so a later start brings
// the running window forward and ends.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/texts/Catalog.h"

namespace platform {
class InstanceLock;
}

namespace single_start {

enum class Choice {
    kRun,         // this process holds the lock: it opens the window
    kShownOther,  // the running one shows its window; this one ends
    kLeftAlone,   // a start at login while one runs already: nothing to do
    kNoAnswer,    // another holds the lock but neither answers nor ends
};

struct Hooks {
    std::function<bool()> takeLock;
    std::function<bool()> askToShow;
    std::function<void()> pause;  // between attempts
};

// The running one may be starting up (no window to show yet) or ending
// (the lock about to be free): ask again for about three seconds.
inline constexpr int kAttempts = 20;
inline constexpr unsigned kPauseMs = 150;

Choice Choose(bool atLogin, const Hooks& hooks, int attempts = kAttempts);
// With this user's lock and running window.
Choice Choose(bool atLogin, platform::InstanceLock& lock);

// Whether the arguments (argv[0] first) ask for a start at login.
bool StartedAtLogin(const std::vector<std::string>& args);

// For the terminal when kNoAnswer ends a start.
inline constexpr texts::Message kNoAnswerText{texts::Msg::kAlreadyRunningNoAnswer};

}  // namespace single_start
