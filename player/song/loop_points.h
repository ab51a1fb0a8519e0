// The section a song marks for repeating: controller 111 (the start; the
// section runs to the end of the song), or marker events named "loopStart"
// and "loopEnd" in any letter case. Found once when the song is loaded.
#pragma once

#include <cstdint>
#include <vector>

namespace sonfara {

class SongTable;

// The shortest section that loops: a shorter one would send the chase of
// controllers at the timer's rate.
inline constexpr int32_t kMinLoopMs = 100;

struct LoopPoints {
    int32_t startMs = -1;  // -1: the song has no loop
    int32_t endMs = -1;
    // The section ends with the song: the events at its last moment still
    // play before the jump (a marked end is the first moment after it).
    bool toSongEnd = false;

    bool Valid() const { return startMs >= 0 && endMs - startMs >= kMinLoopMs; }
    int32_t LengthMs() const { return endMs - startMs; }
    bool operator==(const LoopPoints&) const = default;
};

// What marked a song's loop section, for reports.
struct LoopOrigin {
    enum class Start { kNone, kMarker, kController };
    Start start = Start::kNone;
    bool endMarked = false;  // a loopEnd marker; else the end of the song
    int32_t startTick = -1;
    int32_t endTick = -1;
};

struct FoundLoop {
    LoopPoints points;
    LoopOrigin origin;  // kNone when points give no loop
};

// Start: the first loopStart marker, else the first controller 111. End: the
// first loopEnd marker after the start; with no loopEnd marker at all, the
// end of the song. Marked ends that all lie before the start, and sections
// shorter than kMinLoopMs, give no loop.
// mayMark[t - 1] false: track t has no controller 111 and no marker, so it
// is not read (the loader knows this from decoding); empty: every track is.
LoopPoints FindLoopPoints(const SongTable& song, const std::vector<bool>& mayMark = {});
// The same with what marked it.
FoundLoop FindLoop(const SongTable& song, const std::vector<bool>& mayMark = {});

}  // namespace sonfara
