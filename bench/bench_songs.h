// Generated songs for the benchmarks: dense format-1 files of a given size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sonfara::bench {

// Format 1, 16 tracks, dense notes and controllers with running status, some
// SysEx and tempo changes; about targetBytes long. Deterministic.
std::vector<uint8_t> MakeDenseSong(size_t targetBytes);

}  // namespace sonfara::bench
