// A later start of the window program: what it decides from the lock and
// the running window's answer, and the lock itself.
#include "app/SingleStart.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <vector>

#include "platform/Clock.h"
#include "platform/SingleInstance.h"
#include "support/ScopedEnv.h"

namespace fs = std::filesystem;
using single_start::Choice;

TEST(SingleStart, ChoosesFromTheLockAndTheRunningWindowsAnswer) {
    const bool F = false;
    const bool T = true;
    const struct {
        const char* what;
        bool atLogin;
        std::vector<bool> lock;  // TryTake's answers in turn (the last repeats)
        std::vector<bool> shown;
        Choice choice;
        int asks;
    } rows[] = {
        {"nothing runs", F, {T}, {F}, Choice::kRun, 0},
        {"at login, nothing runs", T, {T}, {F}, Choice::kRun, 0},
        {"one runs: its window comes", F, {F}, {T}, Choice::kShownOther, 1},
        {"at login, one runs: left alone", T, {F}, {T}, Choice::kLeftAlone, 0},
        {"one starting up answers on the third ask", F, {F}, {F, F, T}, Choice::kShownOther, 3},
        {"one ending lets go of the lock", F, {F, F, T}, {F}, Choice::kRun, 2},
        {"one that neither answers nor ends", F, {F}, {F}, Choice::kNoAnswer, 5},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::size_t takes = 0;
        int asks = 0;
        int pauses = 0;
        const single_start::Hooks hooks{
            [&] { return row.lock[std::min(takes++, row.lock.size() - 1)]; },
            [&] { return row.shown[std::min<std::size_t>(asks++, row.shown.size() - 1)]; },
            [&] { ++pauses; }};
        EXPECT_EQ(single_start::Choose(row.atLogin, hooks, 5), row.choice);
        EXPECT_EQ(asks, row.asks);
        // A pause after each unanswered ask, and nothing after an answer.
        EXPECT_EQ(pauses, row.choice == Choice::kShownOther ? asks - 1 : asks);
    }
}

TEST(SingleStart, OnlyAnAutostartArgumentIsAStartAtLogin) {
    EXPECT_TRUE(single_start::StartedAtLogin({"pontaro", "--autostart"}));
    EXPECT_TRUE(single_start::StartedAtLogin({"Pontaro.exe", "-x", "--autostart"}));
    EXPECT_FALSE(single_start::StartedAtLogin({"--autostart"}));  // the program's own name
    EXPECT_FALSE(single_start::StartedAtLogin({"pontaro", "--autostart=no"}));
    EXPECT_FALSE(single_start::StartedAtLogin({}));
}

TEST(SingleStart, LockIsHeldByOneHolderAndFreeOnceItIsGone) {
    const fs::path dir =
        fs::temp_directory_path() / ("pontaro-lock-" + std::to_string(platform::TickCount()));
    fs::create_directories(dir);
    {
        const auto u8 = dir.u8string();
        ScopedEnv runtime("XDG_RUNTIME_DIR", std::string(u8.begin(), u8.end()));
        std::optional<platform::InstanceLock> first;
        first.emplace();
        ASSERT_TRUE(first->TryTake());
        EXPECT_TRUE(first->TryTake());  // held already
        platform::InstanceLock second;
        EXPECT_FALSE(second.TryTake());
        // Nobody listens in this process: no answer, and soon.
        const std::uint32_t start = platform::TickCount();
        EXPECT_FALSE(platform::AskRunningInstanceToShow());
        EXPECT_LT(platform::TickCount() - start, 2000u);

        first.reset();  // as a crash would drop it
        EXPECT_TRUE(second.TryTake());
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
}
