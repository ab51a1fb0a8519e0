// libFuzzer harness: any byte string through the SMF reader, the module scan,
// the event-list text of every event and the lyrics.
#include <cstddef>
#include <cstdint>
#include <span>

#include "player/song/event_list.h"
#include "player/song/lyrics.h"
#include "player/song/module_detect.h"
#include "player/song/smf_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace sonfara;
    static const platform::CodePage cp("CP932");
    std::span<const uint8_t> bytes(data, size);
    (void)song::DetectModuleBytes(bytes);
    song::SongTable song;
    song::LoadOptions o;
    o.codePage = &cp;
    o.songFileName = "fuzz.mid";
    o.threads = 1 + static_cast<int>(size % 2);  // both ways of decoding
    song::LoadStatus r = song::LoadSMFBytes(bytes, song, o);
    if (!r.ok()) return 0;
    // Walk what playback and the displays would read.
    for (int k = 1; k <= song.ListsInUse(); ++k) {
        int32_t n = song.ListCount(k);
        for (int32_t i = 1; i <= n && i <= 200; ++i)
            (void)song::FormatEvent(song, song.ListEvent(k, i), cp);
    }
    for (int t = 1; t <= song.NTracks; ++t) {
        for (const song::EventView ev : song.TrackEvents(t)) {
            (void)song.TimeToTick(ev.TimeMs());
            if (ev.status >= 0xF0) (void)song.ExtRow(ev.ExtIndex());
        }
    }
    song::EventListView view(song, cp);
    view.OnLoadCompleted(song);
    view.SetScrollValueFromUser(73);
    (void)view.FillEventList();
    const song::Lyrics lyrics = song::Lyrics::FromSong(song);
    (void)lyrics.AtMs(song.TotalMs / 2);
    (void)lyrics.Text();
    return 0;
}
