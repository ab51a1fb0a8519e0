// Durations in µs (the drawing thread's passes, the sequencer's lateness),
// kept as a fixed histogram so that recording neither allocates nor locks:
// 1 µs buckets below 1024 µs, then 16 buckets per doubling (within 1/32 of
// the value) up to 2^32 µs.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace sonfara::platform {

class TimeHistogram {
  public:
    static constexpr int kLinearBuckets = 1024;
    static constexpr int kSubBuckets = 16;
    static constexpr int kBuckets = kLinearBuckets + (32 - 10) * kSubBuckets;

    // One writer at a time; readers on any thread see the counts as of some
    // recent record.
    void Record(uint64_t us);
    uint64_t Count() const { return count_.load(std::memory_order_relaxed); }
    // Nearest-rank percentile, q in (0, 1]: exact below 1024 µs, else the
    // middle of the value's bucket. 0 when nothing was recorded.
    uint64_t Percentile(double q) const;

  private:
    static int Bucket(uint64_t us);
    static uint64_t Middle(int bucket);

    std::array<std::atomic<uint32_t>, kBuckets> counts_{};
    std::atomic<uint64_t> count_{0};
};

}  // namespace sonfara::platform
