// The system millisecond counter the sequencer reads, behind an interface so
// that tests and offline rendering can drive time themselves.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace sonfara::platform {

class Clock {
  public:
    virtual ~Clock() = default;
    // Microseconds since the clock's origin; never goes backwards.
    virtual int64_t NowUs() const = 0;
    // The millisecond counter (whole milliseconds, truncated), like the
    // system tick count the timing rules are written against.
    int32_t NowMs() const { return static_cast<int32_t>(NowUs() / 1000); }
};

// The monotonic system clock. All instances share one origin (the first use
// in the process), so a time read from one can be handed to the timer thread.
class SteadyClock final : public Clock {
  public:
    int64_t NowUs() const override;
    // The steady_clock time point of a time on this clock.
    static std::chrono::steady_clock::time_point ToTimePoint(int64_t us);
    static SteadyClock& Instance();
};

// A clock that moves only when told to. Safe to read from other threads.
class ManualClock final : public Clock {
  public:
    explicit ManualClock(int64_t startUs = 1'000'000) : us_(startUs) {}
    int64_t NowUs() const override { return us_.load(std::memory_order_relaxed); }
    void SetUs(int64_t us) { us_.store(us, std::memory_order_relaxed); }
    void AdvanceMs(int64_t ms) { us_.fetch_add(ms * 1000, std::memory_order_relaxed); }
    void AdvanceUs(int64_t us) { us_.fetch_add(us, std::memory_order_relaxed); }

  private:
    std::atomic<int64_t> us_;
};

}  // namespace sonfara::platform
