// The helper that makes a large array's pages present ahead of its writer:
// what it touches stays near the writer, the tail past the real end is given
// back, and what was written is kept.
#include "player/platform/large_memory.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
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
    auto* p = static_cast<uint8_t*>(platform::AllocateLarge(kCapacity));
    // The huge page holding the last written byte may stay whole (and the
    // kernel may collapse it again at any time): only what lies past it counts.
    const auto end = reinterpret_cast<uintptr_t>(p + kUsed);
    const uint8_t* pastEnd = p + kUsed + (kHugePage - end % kHugePage) % kHugePage;
    const size_t tail = static_cast<size_t>(p + kCapacity - pastEnd);
    {
        platform::PrefaultAhead prefault(p, kCapacity, kAhead);
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
    platform::FreeLarge(p, kCapacity);
}

// A writer that expects to fill far less than the capacity: the helper
// stops near that, though its distance would take it much further.
TEST(PrefaultAhead, StopsNearWhatTheWriterExpectsToFill) {
    constexpr size_t kMiB = size_t{1} << 20, kHugePage = 2 * kMiB;
    constexpr size_t kCapacity = 256 * kMiB, kAhead = 128 * kMiB, kExpected = 24 * kMiB;
    auto* p = static_cast<uint8_t*>(platform::AllocateLarge(kCapacity));
    const auto base = reinterpret_cast<uintptr_t>(p);
    // Past the huge page that holds the expected end plus the slack of one.
    const size_t bound = kExpected + kHugePage;
    const uint8_t* beyond = p + bound + (kHugePage - (base + bound) % kHugePage) % kHugePage;
    {
        platform::PrefaultAhead prefault(p, kCapacity, kAhead);
        for (size_t at = 0; at < 4 * kMiB; at += kMiB) {
            std::memset(p + at, 0x5A, kMiB);
            prefault.Advance(at + kMiB, kExpected);
        }
        // Give the helper time to run as far as it would.
        for (int i = 0; i < 50 && ResidentBytes(p, bound) < bound; ++i) ::usleep(10000);
        EXPECT_EQ(ResidentBytes(beyond, static_cast<size_t>(p + kCapacity - beyond)), 0u);
        prefault.Finish(4 * kMiB);
    }
    for (size_t at = 0; at < 4 * kMiB; at += 4096) ASSERT_EQ(p[at], 0x5A) << at;
    platform::FreeLarge(p, kCapacity);
}

// Resident file-backed memory of this process.
long FileBackedKb() {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("RssFile:", 0) == 0) return std::stol(line.substr(8));
    return 0;
}

// A mapped file given back piece by piece as a reader passes it: each call
// ends on a page boundary that the next one starts from, the pages are no
// longer resident, and reading them again still gives the file's bytes.
TEST(FileImage, ReleasedPiecesLeaveMemoryAndReadBackUnchanged) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const std::string path = ::testing::TempDir() + "/sonfara-image.bin";
    std::vector<uint8_t> bytes(3 * 1024 * 1024 + 123);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 4096);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
    platform::FileImage image;
    ASSERT_TRUE(image.Open(path));
    const uint8_t* data = image.Bytes().data();
    const long mappedKb = FileBackedKb();
    size_t released = 100;  // a reader that started mid-page
    for (size_t at = 300000; at < bytes.size(); at += 300000) {
        const size_t end = image.Release(released, at - released);
        EXPECT_EQ(end, at / page * page);
        released = end;
    }
    // The process's file-backed resident memory shrank by what was given back.
    EXPECT_GE(mappedKb - FileBackedKb(), static_cast<long>((released - page) / 1024) - 64);
    EXPECT_EQ(image.Release(released, 10), released) << "less than a page: nothing";
    EXPECT_EQ(std::memcmp(data, bytes.data(), bytes.size()), 0);
    std::remove(path.c_str());
}

}  // namespace
}  // namespace sonfara
