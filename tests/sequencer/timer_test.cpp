// The periodic timer services: never re-entered, kill semantics, early wakes.
#include "player/platform/timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace sonfara {
namespace {

using namespace std::chrono_literals;

void WaitFor(const std::function<bool()>& cond) {
    for (int i = 0; i < 2000 && !cond(); ++i) std::this_thread::sleep_for(1ms);
}

TEST(ThreadTimer, NeverReentersAndSlowTicksDelayTheNext) {
    platform::ThreadTimerService timers;
    std::atomic<int> inside{0}, overlaps{0}, ticks{0};
    uint32_t id = timers.Create(1, 1, [&] {
        if (inside.fetch_add(1) != 0) overlaps++;
        if (ticks++ % 3 == 0) std::this_thread::sleep_for(4ms);  // longer than the period
        inside.fetch_sub(1);
        return platform::kNoWake;
    });
    ASSERT_NE(id, 0u);
    WaitFor([&] { return ticks >= 30; });
    timers.Kill(id);
    int after = ticks;
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(ticks, after);
    EXPECT_EQ(overlaps, 0);
}

TEST(ThreadTimer, KillWaitsForTheRunningTick) {
    platform::ThreadTimerService timers;
    std::atomic<bool> entered{false}, inside{false};
    uint32_t id = timers.Create(1, 1, [&] {
        inside = true;
        entered = true;
        std::this_thread::sleep_for(30ms);
        inside = false;
        return platform::kNoWake;
    });
    WaitFor([&] { return entered.load(); });
    timers.Kill(id);
    EXPECT_FALSE(inside);
}

TEST(ThreadTimer, TickKillsItselfAndStartsAnother) {
    platform::ThreadTimerService timers;
    std::atomic<int> first{0}, second{0}, inside{0}, overlaps{0};
    std::atomic<uint32_t> firstId{0};
    firstId = timers.Create(1, 1, [&]() -> int64_t {
        if (inside.fetch_add(1)) overlaps++;
        if (++first == 5) {
            // Under load the first ticks can come before Create has returned.
            while (firstId == 0) std::this_thread::yield();
            timers.Kill(firstId);  // returns at once from inside the tick
            timers.Create(1, 1, [&] {
                if (inside.fetch_add(1)) overlaps++;
                ++second;
                inside.fetch_sub(1);
                return platform::kNoWake;
            });
            std::this_thread::sleep_for(5ms);  // the new timer must not overlap
        }
        inside.fetch_sub(1);
        return platform::kNoWake;
    });
    WaitFor([&] { return second >= 5; });
    EXPECT_EQ(first, 5);
    EXPECT_GE(second, 5);
    EXPECT_EQ(overlaps, 0);
}

TEST(ThreadTimer, RejectsBadPeriod) {
    platform::ThreadTimerService timers;
    EXPECT_EQ(timers.Create(0, 0, [] { return platform::kNoWake; }), 0u);
    timers.Kill(12345);  // unknown ids are ignored
}

TEST(ManualTimer, PeriodsAndEarlyWakes) {
    platform::ManualClock clock(0);
    platform::ManualTimerService timers(clock);
    std::vector<int64_t> at;
    int64_t wake = platform::kNoWake;
    uint32_t id = timers.Create(5, 5, [&] {
        at.push_back(clock.NowUs());
        int64_t w = wake;
        wake = platform::kNoWake;
        return w;
    });
    timers.RunUntilUs(12000);
    EXPECT_EQ(at, (std::vector<int64_t>{5000, 10000}));
    wake = 11000;  // returned at 15000, already past: the next tick follows promptly
    timers.RunUntilUs(15000);
    wake = 17000;  // an extra tick; the period keeps its 20000, 25000 rhythm
    timers.RunUntilUs(26000);
    EXPECT_EQ(at, (std::vector<int64_t>{5000, 10000, 15000, 15050, 17000, 20000, 25000}));
    timers.SetHonourWakes(false);
    timers.Kill(id);
    EXPECT_FALSE(timers.Active());
    EXPECT_FALSE(timers.FireNext());
}

}  // namespace
}  // namespace sonfara
