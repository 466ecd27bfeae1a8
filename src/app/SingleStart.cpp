#include "app/SingleStart.h"

#include <algorithm>

#include "platform/Clock.h"
#include "platform/LoginEntryText.h"
#include "platform/SingleInstance.h"

namespace single_start {

Choice Choose(bool atLogin, const Hooks& hooks, int attempts) {
    if (hooks.takeLock()) {
        return Choice::kRun;
    }
    // The session starts its programs at login; one runs already, and
    // showing its window then would only get in the way.
    if (atLogin) {
        return Choice::kLeftAlone;
    }
    for (int i = 0; i < attempts; ++i) {
        if (hooks.askToShow()) {
            return Choice::kShownOther;
        }
        hooks.pause();
        if (hooks.takeLock()) {
            return Choice::kRun;
        }
    }
    return Choice::kNoAnswer;
}

Choice Choose(bool atLogin, platform::InstanceLock& lock) {
    return Choose(atLogin, {[&lock] { return lock.TryTake(); }, platform::AskRunningInstanceToShow,
                            [] { platform::SleepMs(kPauseMs); }});
}

bool StartedAtLogin(const std::vector<std::string>& args) {
    return args.size() > 1 &&
           std::find(args.begin() + 1, args.end(), platform::kAutostartArgument) != args.end();
}

}  // namespace single_start
