// Puts a time limit on blocking socket calls: a client registers before the
// call and unregisters after it; a worker thread looks every 100 ms and calls
// the handler of each client whose time is up.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

class CTimeoutClient {
public:
    CTimeoutClient();
    virtual ~CTimeoutClient();
    CTimeoutClient(const CTimeoutClient&) = delete;
    CTimeoutClient& operator=(const CTimeoutClient&) = delete;

    // Called by the watchdog on its own thread while it holds its lock.
    virtual void OnTimeout() {}

    void BeginTimedOperation(int timeoutMs);
    void EndTimedOperation();
    void SetTimedOut(int value);
    int TimedOut() const;

private:
    mutable std::mutex lock_;
    int timedOut_ = 0;
};

struct TimeoutEntry {
    CTimeoutClient* client;
    std::uint32_t startTick;
    std::uint32_t timeoutMs;
};

class CTimeoutWatchdog {
public:
    using TickSource = std::uint32_t (*)();
    static constexpr int kDefaultTimeoutMs = 180000;
    static constexpr unsigned kPassIntervalMs = 100;

    // The process's watchdog uses the system tick and its own worker. Tests
    // make private ones with a tick they control, with or without a worker.
    explicit CTimeoutWatchdog(TickSource tick = nullptr, bool startWorker = true);
    virtual ~CTimeoutWatchdog();
    CTimeoutWatchdog(const CTimeoutWatchdog&) = delete;
    CTimeoutWatchdog& operator=(const CTimeoutWatchdog&) = delete;

    // A time-out of 0 or less means the default.
    void Register(CTimeoutClient* client, int timeoutMs);
    // Removes every registration of the client; nothing if there is none.
    void Unregister(CTimeoutClient* client);

    // The worker's loop: a pass every 100 ms while anything is registered,
    // until the watchdog is destroyed. With nothing registered a pass could
    // find nothing to do, so the worker sleeps until the next registration;
    // an idle program then costs no wake-ups at all.
    void Run();
    // One pass: handles the expired registration nearest the end of the list,
    // if any. True when one was handled.
    bool CheckOnce();

    // For tests: what the watchdog holds.
    bool IsThreadRunning() const;
    int DefaultTimeout() const { return defaultTimeoutMs_; }
    std::vector<TimeoutEntry> Registrations() const;

private:
    std::uint32_t Now() const;

    mutable std::recursive_mutex lock_;
    std::vector<TimeoutEntry> entries_;
    std::atomic<std::size_t> registered_{0};  // entries_.size(), readable without lock_
    std::atomic<int> stop_{0};
    std::mutex wakeLock_;
    std::condition_variable wake_;
    bool waitingForWork_ = false;  // under wakeLock_
    std::atomic<bool> running_{false};
    TickSource tick_;
    int defaultTimeoutMs_ = kDefaultTimeoutMs;
    std::thread worker_;
};

// The one watchdog of the process; it exists before main starts and is
// never destroyed, so that it outlives every client, static ones included.
CTimeoutWatchdog& GetTimeoutWatchdog();
