// The running window's end of AskRunningInstanceToShow on Linux: a socket
// beside the instance lock, for the toolkit's event loop to watch.
#pragma once

namespace platform {

class ShowRequests {
public:
    ShowRequests() = default;
    ~ShowRequests();
    ShowRequests(const ShowRequests&) = delete;
    ShowRequests& operator=(const ShowRequests&) = delete;

    // Starts listening. Only while this process holds the InstanceLock: a
    // socket file left behind by a crashed holder is replaced.
    bool Listen();
    // Readable when a request waits; -1 before Listen.
    int Descriptor() const { return fd_; }
    // Answers every waiting request; true when there was one.
    bool Take();

private:
    int fd_ = -1;
};

}  // namespace platform
