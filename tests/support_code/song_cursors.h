// Tests that need a playback cursor at a given place set it here; the
// engine's own writers are the sequencer and the output layer.
#pragma once

#include "player/song/song_table.h"

namespace sonfara {

struct SongCursorTestAccess {
    static void SetNextEvent(SongTable& s, int t, int32_t v) { s.nextEvent_[t].store(v); }
    static void SetListNext(SongTable& s, int k, int32_t v) { s.listNext_[k].store(v); }
    static void SetTrackPortSkip(SongTable& s, int t, int32_t v) { s.trackPortSkip_[t].store(v); }
};

}  // namespace sonfara
