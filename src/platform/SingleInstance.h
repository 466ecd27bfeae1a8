// One window program per user: a lock that the first start holds for as
// long as it runs, and the way a later start asks it to bring its window
// forward. Linux: a lock file and a socket in $XDG_RUNTIME_DIR
// (posix/ShowRequests.h is the window's end); Windows: a mutex of the user's
// session and the window itself (win32/ShowRequests.h).
#pragma once

#include <cstdint>

namespace platform {

class InstanceLock {
public:
    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Takes the lock unless another process of this user holds it. true when
    // this process holds it now, and also when the system offers no lock at
    // all (a program that runs beats one that refuses to). A holder that
    // crashed holds nothing: the system drops the lock with the process.
    bool TryTake();

private:
    std::intptr_t handle_ = 0;  // a descriptor + 1, or a mutex handle; 0 for none
};

// Asks the process that holds the lock to show its window. true when it
// answered that it does; false when nothing answered within about a second.
bool AskRunningInstanceToShow();

}  // namespace platform
