#include "player/song/loop_points.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "player/platform/midi.h"
#include "player/song/song_table.h"

namespace sonfara::song {

namespace {
constexpr uint8_t kMarkerMeta = 0x06;
constexpr uint8_t kLoopStartController = 111;

// The marker's text without surrounding blanks, compared in any letter case.
bool MarkerIs(std::span<const uint8_t> text, std::string_view name) {
    size_t b = 0, e = text.size();
    while (b < e && (text[b] <= ' ')) ++b;
    while (e > b && (text[e - 1] <= ' ')) --e;
    if (e - b != name.size()) return false;
    for (size_t i = 0; i < name.size(); ++i)
        if (std::tolower(text[b + i]) != std::tolower(static_cast<unsigned char>(name[i])))
            return false;
    return true;
}
}  // namespace

namespace {

// The earliest of some events: its time, and its tick among those at that time.
struct Earliest {
    int32_t ms = INT32_MAX;
    int32_t tick = INT32_MAX;
    void Take(int32_t atMs, int32_t atTick) {
        if (atMs < ms || (atMs == ms && atTick < tick)) {
            ms = atMs;
            tick = atTick;
        }
    }
    bool Found() const { return ms != INT32_MAX; }
};

int32_t LastTick(const SongTable& song) {
    int32_t last = 0;
    for (int t = 1; t <= song.NTracks; ++t) {
        const auto stored = song.TrackEvents(t).Stored();
        if (!stored.empty()) last = std::max(last, stored.back().tick);
    }
    return last;
}

}  // namespace

FoundLoop FindLoop(const SongTable& song, const std::vector<bool>& mayMark) {
    Earliest markStart, controllerStart;
    std::vector<std::pair<int32_t, int32_t>> ends;  // ms, tick
    for (int t = 1; t <= song.NTracks; ++t) {
        if (static_cast<size_t>(t) <= mayMark.size() && !mayMark[t - 1]) continue;
        const TrackEventRange events = song.TrackEvents(t);
        const std::span<const SongEvent> stored = events.Stored();
        for (size_t i = 0; i < stored.size(); ++i) {
            // Every event of the song passes here once per load: only the
            // few that can mark a loop are looked at closer.
            const bool cc111 = midi::StatusKind(stored[i].status) == midi::kControlChange &&
                               stored[i].data1 == kLoopStartController;
            if (!cc111 && stored[i].status != midi::kMetaEvent) continue;
            const EventView ev = events[i];
            if (cc111) {
                controllerStart.Take(ev.TimeMs(), ev.tick);
            } else if (ev.status == midi::kMetaEvent) {
                std::span<const uint8_t> row = song.ExtRow(ev.ExtIndex());
                if (row.empty() || row[0] != kMarkerMeta) continue;
                if (MarkerIs(row.subspan(1), "loopStart")) markStart.Take(ev.TimeMs(), ev.tick);
                if (MarkerIs(row.subspan(1), "loopEnd")) ends.emplace_back(ev.TimeMs(), ev.tick);
            }
        }
    }
    FoundLoop found;
    LoopPoints& p = found.points;
    LoopOrigin& o = found.origin;
    const Earliest& start = markStart.Found() ? markStart : controllerStart;
    if (!start.Found()) return found;
    p.startMs = std::min(start.ms, song.TotalMs);
    o.start = markStart.Found() ? LoopOrigin::Start::kMarker : LoopOrigin::Start::kController;
    o.startTick = start.tick;
    if (ends.empty()) {
        p.endMs = song.TotalMs;
        p.toSongEnd = true;
        o.endTick = LastTick(song);
    } else {
        Earliest end;
        for (const auto& [ms, tick] : ends)
            if (ms > p.startMs) end.Take(ms, tick);
        p.endMs = end.Found() ? std::min(end.ms, song.TotalMs) : -1;
        o.endMarked = true;
        o.endTick = end.tick;
    }
    if (!p.Valid()) return {};
    return found;
}

LoopPoints FindLoopPoints(const SongTable& song, const std::vector<bool>& mayMark) {
    return FindLoop(song, mayMark).points;
}

}  // namespace sonfara::song
