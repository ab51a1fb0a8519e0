// Generated songs for the benchmarks: dense files of a given size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sonfara::bench {

// Format 1, 16 tracks, dense notes and controllers with running status, some
// SysEx and tempo changes; about targetBytes long. Deterministic.
std::vector<uint8_t> MakeDenseSong(size_t targetBytes);
// The same content in one format-0 track, the 16 channels in turn.
std::vector<uint8_t> MakeDenseFormat0Song(size_t targetBytes);
// One track of `events` events a tick apart: tempo changes (tempo true) or
// note ons and offs, for comparing the cost of the two kinds.
std::vector<uint8_t> MakeEventRunSong(size_t events, bool tempo);

}  // namespace sonfara::bench
