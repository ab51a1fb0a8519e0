// Periodic timer service standing in for the multimedia timer: a callback
// every period, never re-entered, and a kill that returns only when no tick
// of that timer is running or can still start.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "player/platform/clock.h"

namespace sonfara::platform {

// A tick returns the clock time (µs) at which it wants to run again before
// its next period is due, or kNoWake. The period is kept either way.
inline constexpr int64_t kNoWake = INT64_MIN;
using TimerCallback = std::function<int64_t()>;

class TimerService {
  public:
    virtual ~TimerService() = default;
    // Starts a periodic timer; the first tick comes one period from now.
    // Returns its id, or 0 when it cannot be created.
    virtual uint32_t Create(int periodMs, int resolutionMs, TimerCallback cb) = 0;
    // Stops a timer. Returns once no tick of it runs or can start; called
    // from inside the timer's own tick it returns at once and no further tick
    // starts. Unknown ids are ignored.
    virtual void Kill(uint32_t id) = 0;
};

// The real service: one worker thread per service runs the ticks of all its
// timers, so a tick that creates a new timer (song repeat) is never
// overlapped by that timer's first tick.
class ThreadTimerService final : public TimerService {
  public:
    ThreadTimerService();
    ~ThreadTimerService() override;
    uint32_t Create(int periodMs, int resolutionMs, TimerCallback cb) override;
    void Kill(uint32_t id) override;

    // True when the worker thread got a raised scheduling priority.
    bool RaisedPriority() const;

  private:
    struct Timer {
        int64_t periodUs = 0;
        int64_t nextUs = 0;        // next periodic deadline
        int64_t wakeUs = kNoWake;  // earlier wake asked by the last tick
        std::shared_ptr<TimerCallback> cb;
    };
    void Run();
    bool OnWorker() const;

    mutable std::mutex mu_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::map<uint32_t, Timer> timers_;
    uint32_t lastId_ = 0;
    uint32_t running_ = 0;  // id whose tick is executing, 0 when none
    bool quit_ = false;
    bool raised_ = false;
    std::thread worker_;
    std::thread::id workerId_;
};

// Deterministic service for tests and offline rendering: time moves only on
// the ManualClock, and ticks fire when the test (or the renderer) says so.
class ManualTimerService final : public TimerService {
  public:
    explicit ManualTimerService(ManualClock& clock) : clock_(clock) {}
    uint32_t Create(int periodMs, int resolutionMs, TimerCallback cb) override;
    void Kill(uint32_t id) override;

    // Honour the early wakes that ticks ask for (default true).
    void SetHonourWakes(bool on) { honourWakes_ = on; }
    // Earliest due time over all timers (µs), kNoWake when none runs.
    int64_t NextDueUs() const;
    // Moves the clock to the next due time (if not past targetUs) and fires
    // that tick. False when nothing is due up to targetUs.
    bool FireNext(int64_t targetUs = INT64_MAX);
    // Fires every tick due up to targetUs in order, then leaves the clock at
    // targetUs.
    void RunUntilUs(int64_t targetUs);
    void RunForMs(int64_t ms) { RunUntilUs(clock_.NowUs() + ms * 1000); }
    bool Active() const { return !timers_.empty(); }
    int CreatedCount() const { return created_; }
    // Periods of the running timers, in the order they were created.
    std::vector<int64_t> PeriodsUs() const {
        std::vector<int64_t> periods;
        for (const auto& [id, t] : timers_) periods.push_back(t.periodUs);
        return periods;
    }

  private:
    struct Timer {
        int64_t periodUs = 0;
        int64_t nextUs = 0;
        int64_t wakeUs = kNoWake;
        std::shared_ptr<TimerCallback> cb;
    };
    ManualClock& clock_;
    std::map<uint32_t, Timer> timers_;
    uint32_t lastId_ = 0;
    bool honourWakes_ = true;
    int created_ = 0;
};

}  // namespace sonfara::platform
