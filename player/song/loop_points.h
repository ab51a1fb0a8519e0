// Finding the section a song marks for repeating (LoopPoints, kept in
// SongTable::Loop): controller 111 (the start; the section runs to the end
// of the song), or marker events named "loopStart" and "loopEnd" in any
// letter case. Found once when the song is loaded.
#pragma once

#include <cstdint>
#include <vector>

#include "player/song/song_table.h"

namespace sonfara::song {

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

}  // namespace sonfara::song
