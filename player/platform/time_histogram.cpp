#include "player/platform/time_histogram.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace sonfara::platform {

int TimeHistogram::Bucket(uint64_t us) {
    if (us < kLinearBuckets) return static_cast<int>(us);
    if (us > UINT32_MAX) us = UINT32_MAX;
    const int exp = std::bit_width(us) - 1;  // 10..31
    const int sub = static_cast<int>(us >> (exp - 4)) & (kSubBuckets - 1);
    return kLinearBuckets + (exp - 10) * kSubBuckets + sub;
}

uint64_t TimeHistogram::Middle(int bucket) {
    if (bucket < kLinearBuckets) return static_cast<uint64_t>(bucket);
    const int exp = (bucket - kLinearBuckets) / kSubBuckets + 10;
    const uint64_t sub = static_cast<uint64_t>((bucket - kLinearBuckets) % kSubBuckets);
    const uint64_t width = uint64_t{1} << (exp - 4);
    return (kSubBuckets + sub) * width + width / 2;
}

void TimeHistogram::Record(uint64_t us) {
    // A single writer: a plain load and store, no locked add on the hot path.
    auto& c = counts_[static_cast<size_t>(Bucket(us))];
    c.store(c.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    count_.store(count_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

uint64_t TimeHistogram::Percentile(double q) const {
    uint64_t total = 0;
    for (const auto& c : counts_) total += c.load(std::memory_order_relaxed);
    if (total == 0) return 0;
    const auto rank =
        std::max<uint64_t>(1, static_cast<uint64_t>(std::ceil(q * static_cast<double>(total))));
    uint64_t seen = 0;
    for (int b = 0; b < kBuckets; ++b) {
        seen += counts_[static_cast<size_t>(b)].load(std::memory_order_relaxed);
        if (seen >= rank) return Middle(b);
    }
    return Middle(kBuckets - 1);
}

}  // namespace sonfara::platform
