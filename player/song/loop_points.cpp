#include "player/song/loop_points.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <span>
#include <string_view>
#include <vector>

#include "player/platform/midi.h"
#include "player/song/song_table.h"

namespace sonfara {

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

LoopPoints FindLoopPoints(const SongTable& song, const std::vector<bool>& mayMark) {
    int32_t markStart = INT32_MAX, controllerStart = INT32_MAX;
    std::vector<int32_t> ends;
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
                controllerStart = std::min(controllerStart, ev.TimeMs());
            } else if (ev.status == midi::kMetaEvent) {
                std::span<const uint8_t> row = song.ExtRow(ev.ExtIndex());
                if (row.empty() || row[0] != kMarkerMeta) continue;
                if (MarkerIs(row.subspan(1), "loopStart"))
                    markStart = std::min(markStart, ev.TimeMs());
                if (MarkerIs(row.subspan(1), "loopEnd")) ends.push_back(ev.TimeMs());
            }
        }
    }
    LoopPoints p;
    const int32_t start = markStart != INT32_MAX ? markStart : controllerStart;
    if (start == INT32_MAX) return p;
    p.startMs = std::min(start, song.TotalMs);
    if (ends.empty()) {
        p.endMs = song.TotalMs;
        p.toSongEnd = true;
    } else {
        int32_t end = INT32_MAX;
        for (int32_t e : ends)
            if (e > p.startMs) end = std::min(end, e);
        p.endMs = end == INT32_MAX ? -1 : std::min(end, song.TotalMs);
    }
    return p.Valid() ? p : LoopPoints{};
}

}  // namespace sonfara
