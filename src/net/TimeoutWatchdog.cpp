#include "net/TimeoutWatchdog.h"

#include <chrono>

#include "platform/Clock.h"

CTimeoutClient::CTimeoutClient() {
    // Touching the watchdog here makes sure it exists before any client,
    // static ones included, whatever the order of static initialisation.
    GetTimeoutWatchdog();
    SetTimedOut(0);
}

CTimeoutClient::~CTimeoutClient() {
    EndTimedOperation();
}

void CTimeoutClient::BeginTimedOperation(int timeoutMs) {
    SetTimedOut(0);
    CTimeoutWatchdog& watchdog = GetTimeoutWatchdog();
    watchdog.Unregister(this);
    watchdog.Register(this, timeoutMs);
}

void CTimeoutClient::EndTimedOperation() {
    GetTimeoutWatchdog().Unregister(this);
}

void CTimeoutClient::SetTimedOut(int value) {
    std::lock_guard<std::mutex> hold(lock_);
    timedOut_ = value;
}

int CTimeoutClient::TimedOut() const {
    std::lock_guard<std::mutex> hold(lock_);
    return timedOut_;
}

CTimeoutWatchdog::CTimeoutWatchdog(TickSource tick, bool startWorker)
    : tick_(tick != nullptr ? tick : &platform::TickCount) {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (startWorker) {
        running_ = true;
        worker_ = std::thread([this] {
            platform::LowerCurrentThreadPriority();
            Run();
            running_ = false;
        });
    }
}

CTimeoutWatchdog::~CTimeoutWatchdog() {
    {
        std::lock_guard<std::mutex> hold(wakeLock_);
        stop_ = 1;
    }
    wake_.notify_all();
    if (worker_.joinable()) {
        worker_.join();
    }
}

std::uint32_t CTimeoutWatchdog::Now() const {
    return tick_();
}

void CTimeoutWatchdog::Register(CTimeoutClient* client, int timeoutMs) {
    const std::uint32_t timeout =
        static_cast<std::uint32_t>(timeoutMs > 0 ? timeoutMs : defaultTimeoutMs_);
    {
        std::lock_guard<std::recursive_mutex> hold(lock_);
        // The start is read under the lock so that no pass can see the entry
        // with a "now" older than its start.
        entries_.push_back(TimeoutEntry{client, Now(), timeout});
        registered_ = entries_.size();
    }
    bool asleep = false;
    {
        // Taken so that the wake-up cannot fall between the worker's test of
        // registered_ and its wait.
        std::lock_guard<std::mutex> hold(wakeLock_);
        asleep = waitingForWork_;
    }
    // Only a worker waiting for work needs the wake-up (a cross-CPU
    // interrupt); one between passes finds the entry on its next pass anyway.
    if (asleep) {
        wake_.notify_all();
    }
}

void CTimeoutWatchdog::Unregister(CTimeoutClient* client) {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    for (std::size_t i = entries_.size(); i-- > 0;) {
        if (entries_[i].client == client) {
            entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    registered_ = entries_.size();
}

void CTimeoutWatchdog::Run() {
    while (stop_ == 0) {
        {
            std::unique_lock<std::mutex> hold(wakeLock_);
            waitingForWork_ = true;
            wake_.wait(hold, [this] { return stop_ != 0 || registered_ != 0; });
            waitingForWork_ = false;
            wake_.wait_for(hold, std::chrono::milliseconds(kPassIntervalMs),
                           [this] { return stop_ != 0; });
        }
        if (stop_ != 0) {
            break;
        }
        CheckOnce();
    }
}

bool CTimeoutWatchdog::CheckOnce() {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    const std::uint32_t now = Now();
    for (std::size_t i = entries_.size(); i-- > 0;) {
        const TimeoutEntry entry = entries_[i];
        // Elapsed time, not absolute ticks, so that the 49.7-day wrap of the
        // counter neither fires a fresh registration nor delays an old one.
        if (platform::TicksBetween(entry.startTick, now) >= entry.timeoutMs) {
            entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
            registered_ = entries_.size();
            entry.client->SetTimedOut(1);
            // Still under the lock: the owner's EndTimedOperation waits for
            // the handler to finish before it touches the client again.
            entry.client->OnTimeout();
            return true;
        }
    }
    return false;
}

bool CTimeoutWatchdog::IsThreadRunning() const {
    return running_;
}

std::vector<TimeoutEntry> CTimeoutWatchdog::Registrations() const {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    return entries_;
}

CTimeoutWatchdog& GetTimeoutWatchdog() {
    // Never destroyed: joining the worker at exit would add a round trip to
    // another CPU (wake the worker, wait for its end) to every run. The end
    // of the process stops the worker; clients that outlive main still find
    // the watchdog when they unregister.
    static CTimeoutWatchdog* const watchdog = new CTimeoutWatchdog;
    return *watchdog;
}

namespace {
// Starts the watchdog during static initialisation, before main.
struct StartWatchdogEarly {
    StartWatchdogEarly() { GetTimeoutWatchdog(); }
} g_startWatchdogEarly;
}  // namespace
