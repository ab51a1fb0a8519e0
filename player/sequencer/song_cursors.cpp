#include "player/sequencer/song_cursors.h"

#include <algorithm>

namespace sonfara::sequencer {

namespace {
int TrackCursors(const song::SongTable& song) {
    return std::max(16, static_cast<int>(song.NTracks));
}
}  // namespace

SongCursors::SongCursors() : nextEvent_(16), listNext_(16), trackPortSkip_(16) {}

void SongCursors::Fit(const song::SongTable& song) {
    const int tracks = TrackCursors(song);
    if (nextEvent_.Size() != tracks) nextEvent_.Reset(tracks);
    if (trackPortSkip_.Size() != tracks) trackPortSkip_.Reset(tracks);
    if (listNext_.Size() != song.ListsInUse()) listNext_.Reset(song.ListsInUse());
    Rest();
}

void SongCursors::Rest() {
    nextEvent_.StoreAll(0);
    listNext_.StoreAll(0);
    trackPortSkip_.StoreAll(0);
}

}  // namespace sonfara::sequencer
