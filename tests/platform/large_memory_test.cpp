// The helper that makes a large array's pages present ahead of its writer:
// what it touches stays near the writer, the tail past the real end is given
// back, and what was written is kept.
#include "player/platform/large_memory.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace sonfara {
namespace {

size_t ResidentBytes(const uint8_t* p, size_t bytes) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> in((bytes + page - 1) / page);
    if (mincore(const_cast<uint8_t*>(p), bytes, in.data()) != 0) return 0;
    size_t n = 0;
    for (unsigned char c : in) n += (c & 1) ? page : 0;
    return n;
}

TEST(PrefaultAhead, StaysNearTheWriterAndGivesBackThePagesPastTheEnd) {
    constexpr size_t kMiB = size_t{1} << 20, kHugePage = 2 * kMiB;
    constexpr size_t kCapacity = 256 * kMiB, kAhead = 8 * kMiB, kUsed = 20 * kMiB;
    auto* p = static_cast<uint8_t*>(AllocateLarge(kCapacity));
    // The huge page holding the last written byte may stay whole (and the
    // kernel may collapse it again at any time): only what lies past it counts.
    const auto end = reinterpret_cast<uintptr_t>(p + kUsed);
    const uint8_t* pastEnd = p + kUsed + (kHugePage - end % kHugePage) % kHugePage;
    const size_t tail = static_cast<size_t>(p + kCapacity - pastEnd);
    {
        PrefaultAhead prefault(p, kCapacity, kAhead);
        for (size_t at = 0; at < kUsed; at += kMiB) {
            std::memset(p + at, 0x5A, kMiB);
            prefault.Advance(at + kMiB);
        }
        // However far the helper got, it never ran past the writer's bound.
        EXPECT_LE(ResidentBytes(pastEnd, tail), kAhead + kHugePage);
        prefault.Finish(kUsed);
    }
    EXPECT_EQ(ResidentBytes(pastEnd, tail), 0u) << "the tail is given back";
    for (size_t at = 0; at < kUsed; at += 4096) ASSERT_EQ(p[at], 0x5A) << at;
    FreeLarge(p, kCapacity);
}

}  // namespace
}  // namespace sonfara
