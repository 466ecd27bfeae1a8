// Puts a time limit on blocking socket calls: a client registers before the
// call and unregisters after it; a worker thread looks every 100 ms and calls
// the handler of each client whose time is up.
#pragma once

#include <cstdint>

class CTimeoutClient {
public:
    CTimeoutClient();
    virtual ~CTimeoutClient();
    virtual void OnTimeout() {}

    void BeginTimedOperation(int timeoutMs);
    void EndTimedOperation();
    void SetTimedOut(int value);
    int TimedOut() const;
    // ... (implementation fields: re-entrant lock, timed-out mark)
};

struct TimeoutEntry {
    CTimeoutClient* client;
    std::uint32_t startTick;
    std::uint32_t timeoutMs;
};

class CTimeoutWatchdog;
CTimeoutWatchdog& GetTimeoutWatchdog();
