#include "net/TimeoutWatchdog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

namespace {

// The tick of the private watchdogs below; each test sets it as it likes.
std::atomic<std::uint32_t> g_fakeTick{0};
std::uint32_t FakeTick() {
    return g_fakeTick.load();
}

// Records the order in which handlers ran.
struct RecordingClient : CTimeoutClient {
    explicit RecordingClient(int id, std::vector<int>* log) : id_(id), log_(log) {}
    void OnTimeout() override { log_->push_back(id_); }
    int id_;
    std::vector<int>* log_;
};

class ManualWatchdog : public ::testing::Test {
protected:
    CTimeoutWatchdog watchdog_{&FakeTick, false};
    std::vector<int> fired_;
};

TEST_F(ManualWatchdog, ZeroOrNegativeTimeoutMeansThreeMinutes) {
    g_fakeTick = 5000;
    RecordingClient zero(1, &fired_), negative(2, &fired_);
    watchdog_.Register(&zero, 0);
    watchdog_.Register(&negative, -5);
    const std::vector<TimeoutEntry> entries = watchdog_.Registrations();
    ASSERT_EQ(entries.size(), 2u);
    for (const TimeoutEntry& e : entries) {
        EXPECT_EQ(e.startTick, 5000u);
        EXPECT_EQ(e.timeoutMs, 180000u);
    }
    g_fakeTick = 5000 + 179999;
    EXPECT_FALSE(watchdog_.CheckOnce());
    g_fakeTick = 5000 + 180000;
    EXPECT_TRUE(watchdog_.CheckOnce());
    EXPECT_TRUE(watchdog_.CheckOnce());
    EXPECT_EQ(fired_, (std::vector<int>{2, 1}));
}

TEST_F(ManualWatchdog, TickWrapNeitherFiresEarlyNorLate) {
    // Registered 256 ms before the 32-bit counter wraps, with 300 ms to go:
    // a deadline compared as an absolute tick would lie "behind" the start.
    g_fakeTick = 0xFFFFFF00u;
    RecordingClient client(1, &fired_);
    watchdog_.Register(&client, 300);
    EXPECT_FALSE(watchdog_.CheckOnce());
    g_fakeTick = 0xFFFFFF80u;
    EXPECT_FALSE(watchdog_.CheckOnce());
    g_fakeTick = 0x0000002Bu;  // 299 ms elapsed, across the wrap
    EXPECT_FALSE(watchdog_.CheckOnce());
    EXPECT_EQ(client.TimedOut(), 0);
    g_fakeTick = 0x0000002Cu;  // 300 ms
    EXPECT_TRUE(watchdog_.CheckOnce());
    EXPECT_EQ(fired_, std::vector<int>{1});
    EXPECT_EQ(client.TimedOut(), 1);
}

TEST_F(ManualWatchdog, StartAboveNowAfterWrapIsElapsedTimeNotExpiry) {
    g_fakeTick = 0xFFFFFFF0u;
    RecordingClient client(1, &fired_);
    watchdog_.Register(&client, 1000);
    g_fakeTick = 5;  // the counter wrapped while the call was waiting: 21 ms
    EXPECT_FALSE(watchdog_.CheckOnce());
    EXPECT_EQ(watchdog_.Registrations().size(), 1u);
}

TEST_F(ManualWatchdog, TwoExpiredInOnePassAreHandledLastFirstOnePerPass) {
    g_fakeTick = 100;
    RecordingClient first(1, &fired_), second(2, &fired_), fresh(3, &fired_);
    watchdog_.Register(&first, 300);
    watchdog_.Register(&second, 200);
    watchdog_.Register(&fresh, 10000);
    g_fakeTick = 1000;
    EXPECT_TRUE(watchdog_.CheckOnce());
    EXPECT_EQ(fired_, std::vector<int>{2});
    ASSERT_EQ(watchdog_.Registrations().size(), 2u);
    EXPECT_EQ(watchdog_.Registrations()[0].client, &first);
    EXPECT_EQ(watchdog_.Registrations()[1].client, &fresh);
    EXPECT_TRUE(watchdog_.CheckOnce());
    EXPECT_FALSE(watchdog_.CheckOnce());
    EXPECT_EQ(fired_, (std::vector<int>{2, 1}));
    EXPECT_EQ(first.TimedOut(), 1);
    EXPECT_EQ(fresh.TimedOut(), 0);
}

TEST_F(ManualWatchdog, UnregisterRemovesEveryEntryOfTheClientOnly) {
    RecordingClient twice(1, &fired_), other(2, &fired_), absent(3, &fired_);
    watchdog_.Register(&twice, 100);
    watchdog_.Register(&other, 200);
    watchdog_.Register(&twice, 300);
    watchdog_.Unregister(&absent);
    EXPECT_EQ(watchdog_.Registrations().size(), 3u);
    watchdog_.Unregister(&twice);
    const std::vector<TimeoutEntry> left = watchdog_.Registrations();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].client, &other);
    EXPECT_EQ(left[0].timeoutMs, 200u);
}

TEST(TimeoutClient, BeginReplacesStaleRegistrationAndEndOrDestructionDropsIt) {
    CTimeoutWatchdog& watchdog = GetTimeoutWatchdog();
    auto countOf = [&](const CTimeoutClient* c) {
        int n = 0;
        for (const TimeoutEntry& e : watchdog.Registrations()) {
            n += reinterpret_cast<std::uintptr_t>(e.client) == reinterpret_cast<std::uintptr_t>(c)
                     ? 1
                     : 0;
        }
        return n;
    };
    std::uintptr_t gone = 0;
    {
        CTimeoutClient client;
        client.SetTimedOut(1);
        client.BeginTimedOperation(60000);
        client.BeginTimedOperation(0);
        EXPECT_EQ(countOf(&client), 1);
        EXPECT_EQ(client.TimedOut(), 0);
        client.EndTimedOperation();
        EXPECT_EQ(countOf(&client), 0);
        client.BeginTimedOperation(60000);
        EXPECT_EQ(countOf(&client), 1);
        gone = reinterpret_cast<std::uintptr_t>(&client);
    }
    // Destroyed while registered: nothing must be left for the worker.
    for (const TimeoutEntry& e : watchdog.Registrations()) {
        EXPECT_NE(reinterpret_cast<std::uintptr_t>(e.client), gone);
    }
}

TEST(ProcessWatchdog, IsOneRunningInstanceWithTheDefault) {
    EXPECT_EQ(&GetTimeoutWatchdog(), &GetTimeoutWatchdog());
    EXPECT_TRUE(GetTimeoutWatchdog().IsThreadRunning());
    EXPECT_EQ(GetTimeoutWatchdog().DefaultTimeout(), 180000);
    CTimeoutWatchdog withoutWorker(&FakeTick, false);
    EXPECT_FALSE(withoutWorker.IsThreadRunning());
}

// A handler that goes back into the watchdog from the worker's thread, as a
// connection's Close does: the lock must let its holder in again.
struct ReenteringClient : CTimeoutClient {
    explicit ReenteringClient(CTimeoutWatchdog* w) : watchdog(w) {}
    void OnTimeout() override {
        watchdog->Unregister(this);
        watchdog->Register(&other, 60000);
        entries = watchdog->Registrations().size();
        fired = std::chrono::steady_clock::now();
        done = true;
    }
    CTimeoutWatchdog* watchdog;
    CTimeoutClient other;
    std::size_t entries = 0;
    std::chrono::steady_clock::time_point fired;
    std::atomic<bool> done{false};
};

TEST(WatchdogWorker, FiresAfterTheTimeoutAndHandlerMayReenter) {
    auto watchdog = std::make_unique<CTimeoutWatchdog>();
    EXPECT_TRUE(watchdog->IsThreadRunning());
    ReenteringClient client(watchdog.get());
    const auto start = std::chrono::steady_clock::now();
    watchdog->Register(&client, 300);
    for (int i = 0; i < 300 && !client.done; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(client.done) << "the handler did not run or deadlocked";
    const auto waited =
        std::chrono::duration_cast<std::chrono::milliseconds>(client.fired - start).count();
    EXPECT_GE(waited, 300);
    EXPECT_LT(waited, 2000);
    EXPECT_EQ(client.entries, 1u);
    EXPECT_EQ(client.TimedOut(), 1);
    watchdog->Unregister(&client.other);

    // A registration that arrives while the worker is between passes (it
    // has work, so it is not woken for this one) is still caught in time.
    std::vector<int> fired;
    RecordingClient holder(1, &fired), newcomer(2, &fired);
    watchdog->Register(&holder, 60000);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    const auto second = std::chrono::steady_clock::now();
    watchdog->Register(&newcomer, 200);
    while (newcomer.TimedOut() == 0 &&
           std::chrono::steady_clock::now() - second < std::chrono::seconds(5)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(newcomer.TimedOut(), 1);
    EXPECT_EQ(holder.TimedOut(), 0);
    watchdog->Unregister(&holder);
    EXPECT_EQ(fired, (std::vector<int>{2}));

    // Stopping wakes the sleeping worker and joins it.
    const auto stopping = std::chrono::steady_clock::now();
    watchdog.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, std::chrono::milliseconds(1000));
}

}  // namespace
