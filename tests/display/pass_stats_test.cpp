// The drawing thread's pass-time histogram: percentiles of known durations,
// and the report the GUI cost benchmark reads.
#include "player/display/pass_stats.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace sonfara::display {
namespace {

TEST(PassStats, PercentilesAreExactBelowAMillisecondAndCloseAbove) {
    PassStats s;
    EXPECT_EQ(s.Percentile(0.5), 0u);                     // nothing recorded yet
    for (uint64_t us = 100; us >= 1; --us) s.Record(us);  // order does not matter
    EXPECT_EQ(s.Count(), 100u);
    EXPECT_EQ(s.Percentile(0.5), 50u);
    EXPECT_EQ(s.Percentile(0.99), 99u);
    EXPECT_EQ(s.Percentile(1.0), 100u);

    // A few slow passes among many quick ones: the tail shows only past p99.
    PassStats tail;
    for (int i = 0; i < 990; ++i) tail.Record(40);
    for (int i = 0; i < 10; ++i) tail.Record(5000);
    EXPECT_EQ(tail.Percentile(0.5), 40u);
    EXPECT_EQ(tail.Percentile(0.99), 40u);
    const auto slow = static_cast<long>(tail.Percentile(0.995));
    EXPECT_LE(std::labs(slow - 5000), 5000 / 32);

    // Bucket edges and values past the last bucket stay in range.
    PassStats edges;
    for (uint64_t us : {1023u, 1024u, 2047u}) edges.Record(us);
    edges.Record(uint64_t{1} << 40);
    EXPECT_EQ(edges.Percentile(0.25), 1023u);
    EXPECT_LE(std::labs(static_cast<long>(edges.Percentile(0.5)) - 1024), 1024 / 32);
    EXPECT_LE(std::labs(static_cast<long>(edges.Percentile(0.75)) - 2047), 2047 / 32);
    EXPECT_GT(edges.Percentile(1.0), uint64_t{1} << 31);
}

TEST(PassStats, ReportNamesCountMedianAndP99OfBothClocks) {
    PassStats wall, cpu;
    for (uint64_t us = 1; us <= 200; ++us) {
        wall.Record(us);
        cpu.Record(us / 2);
    }
    EXPECT_EQ(PassStatsReport(wall, cpu),
              "passes 200\nmedian_us 100\np99_us 198\ncpu_median_us 50\ncpu_p99_us 99\n");
}

}  // namespace
}  // namespace sonfara::display
