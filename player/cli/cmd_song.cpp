// sonfara-cli info and dump: the song table as text or JSON.
#include <algorithm>
#include <cstdio>
#include <iostream>

#include "player/cli/cli_common.h"
#include "player/cli/commands.h"
#include "player/cli/json.h"
#include "player/platform/midi.h"
#include "player/platform/rounding.h"
#include "player/platform/sfrlib_binding.h"
#include "player/platform/text_decoding.h"
#include "player/song/event_list.h"
#include "player/song/loop_points.h"
#include "player/song/module_detect.h"
#include "player/song/smf_reader.h"

namespace sonfara::cli {
namespace {

const char* ModuleLabel(int m) {
    switch (m) {
        case song::kModuleXG:
            return "XG";
        case song::kModuleGS:
            return "GS";
        default:
            return "none";
    }
}

std::string MinSec(int32_t ms) {
    char buf[32];
    int32_t s = ms / 1000;
    std::snprintf(buf, sizeof buf, "%02d:%02d", s / 60, s % 60);
    return buf;
}

// "bar.beat" as the player's position readout counts them: bars of the
// time signature's length in quarters, both from 1.
std::string BarBeat(const song::SongTable& song, int32_t tick) {
    const int32_t q = std::max(0, tick) / song.TicksPerQuarter();
    const int32_t perBar = std::max<int32_t>(1, song.BeatQuarters);
    return std::to_string(q / perBar + 1) + "." + std::to_string(q % perBar + 1);
}

const char* LoopStartFrom(const song::LoopOrigin& o) {
    return o.start == song::LoopOrigin::Start::kMarker ? "marker" : "controller 111";
}

const char* LoopEndFrom(const song::LoopOrigin& o) {
    return o.endMarked ? "marker" : "song end";
}

void LoopJson(JsonWriter& j, const song::SongTable& song, const song::FoundLoop& loop) {
    j.Key("loop");
    if (!loop.points.Valid()) {
        j.Null();
        return;
    }
    j.BeginObject();
    j.Key("start_ms");
    j.Int(loop.points.startMs);
    j.Key("start_bar_beat");
    j.String(BarBeat(song, loop.origin.startTick));
    j.Key("start_from");
    j.String(LoopStartFrom(loop.origin));
    j.Key("end_ms");
    j.Int(loop.points.endMs);
    j.Key("end_bar_beat");
    j.String(BarBeat(song, loop.origin.endTick));
    j.Key("end_from");
    j.String(LoopEndFrom(loop.origin));
    j.EndObject();
}

std::string LoopText(const song::SongTable& song, const song::FoundLoop& loop) {
    if (!loop.points.Valid()) return "none";
    const song::LoopPoints& p = loop.points;
    return MinSec(p.startMs) + " (" + std::to_string(p.startMs) + " ms, bar " +
           BarBeat(song, loop.origin.startTick) + ", " + LoopStartFrom(loop.origin) + ") to " +
           MinSec(p.endMs) + " (" + std::to_string(p.endMs) + " ms, bar " +
           BarBeat(song, loop.origin.endTick) + ", " + LoopEndFrom(loop.origin) + ")";
}

}  // namespace

int RunInfo(const std::vector<std::string>& words) {
    Args a = ParseArgs(words, {"codepage", "loops"}, {"json"});
    if (!a.error.empty() || a.positional.size() != 1) {
        std::cerr << "usage: sonfara-cli info FILE [--json] [--codepage NAME] [--loops N]\n";
        return 2;
    }
    const auto loops = LoopsOption(a);
    if (!loops) return 2;
    const platform::CodePage& cp = CliCodePage(a);
    const std::string& path = a.positional[0];
    song::SongTable song;
    std::string converted;
    if (!LoadSongForCli(path, song, cp, &converted, *loops)) return 1;
    const int module =
        converted.empty()
            ? song::DetectModule(path)
            : song::DetectModuleBytes(
                  {reinterpret_cast<const uint8_t*>(converted.data()), converted.size()});
    const platform::CodePage& texts = song.TextCodePage();
    const std::string title = texts.ToUtf8(song.SongTitle);
    const song::FoundLoop loop = song::FindLoop(song);

    if (a.Flag("json")) {
        JsonWriter j;
        j.BeginObject();
        j.Key("kind_label");
        j.String(song.FileKindLabel);
        j.Key("format");
        j.Int(song.Format);
        j.Key("tracks");
        j.Int(song.NTracks);
        j.Key("division");
        j.Int(song.Division);
        j.Key("title");
        j.String(title);
        j.Key("track_names");
        j.BeginArray();
        for (int t = 1; t <= song.NTracks; ++t) j.String(texts.ToUtf8(song.TrackName(t)));
        j.EndArray();
        j.Key("total_ms");
        j.Int(song.TotalMs);
        j.Key("total_seconds");
        j.Int(song.TotalSeconds);
        j.Key("tempo_entries");
        j.BeginArray();
        for (int i = 1; i <= song.TempoCount(); ++i) {
            const song::TempoEntry& e = song.Tempo(i);
            j.BeginObject();
            j.Key("tick");
            j.Int(e.tick);
            j.Key("ms");
            j.Int(e.timeMs);
            j.Key("tempo");
            j.Int(e.tempo);
            j.EndObject();
        }
        j.EndArray();
        j.Key("time_signature");
        j.BeginObject();
        j.Key("numerator");
        j.Int(song.BeatNumerator);
        j.Key("denominator");
        j.Int(song.BeatDenominator);
        j.Key("quarters");
        j.Int(song.BeatQuarters);
        j.EndObject();
        LoopJson(j, song, loop);
        j.Key("module");
        j.Int(module);
        j.EndObject();
        std::cout << j.Text() << "\n";
        return 0;
    }

    song::EventListView view(song, cp);
    view.OnLoadCompleted(song);
    platform::SfrLibBinding lib;
    std::cout << "File:           " << path << "\n"
              << "Kind:           " << song.FileKindLabel << "\n"
              << "Format:         " << song.Format << "\n"
              << "Tracks:         " << song.NTracks << "\n"
              << "Division:       " << song.Division << (song.IsSmpte() ? " (SMPTE)" : "") << "\n"
              << "Title:          " << title << "\n"
              << "Length:         " << MinSec(song.TotalMs) << " (" << song.TotalMs << " ms, "
              << song.TotalSeconds << " s)\n"
              << "Time signature: " << int(song.BeatNumerator) << "/" << int(song.BeatDenominator)
              << " (" << int(song.BeatQuarters) << " quarters)\n"
              << "Loop:           " << LoopText(song, loop) << "\n"
              << "Module scan:    " << module << " (" << ModuleLabel(module) << ")\n"
              << "Track number:   " << view.TrackNumberText() << "\n"
              << "Tempo entries:  " << song.TempoCount() << "\n"
              << "SfrLib:         " << (lib.Path().empty() ? "not found" : lib.Path()) << "\n";
    for (int i = 1; i <= song.TempoCount(); ++i) {
        const song::TempoEntry& e = song.Tempo(i);
        std::printf("  %3d  tick %-9d %9d ms  tempo %-8d (%d BPM)\n", i, e.tick, e.timeMs, e.tempo,
                    e.tempo > 0 ? platform::RoundHalfEven(60000000.0 / e.tempo) : 0);
    }
    std::fflush(stdout);
    std::cout << "Tracks:\n";
    for (int t = 1; t <= song.NTracks; ++t) {
        std::printf("  %3d  %7d events  \"%s\"\n", t, song.EventCount(t),
                    texts.ToUtf8(song.TrackName(t)).c_str());
    }
    const std::string notice =
        song::LoadNoticeText(platform::Recode(song.SongTitle, texts, cp), cp);
    std::printf("Notice:         %s\n", cp.ToUtf8(notice).c_str());
    return 0;
}

namespace {

int DumpList(const song::SongTable& song, const platform::CodePage& cp, long k, long pageNo) {
    if (k < 1 || k > song.ListsInUse()) {
        std::cerr << "list " << k << " does not exist (1.." << song.ListsInUse() << ")\n";
        return 2;
    }
    const int32_t count = song.ListCount(static_cast<int>(k));
    const long pages = std::max<long>(1, (count + song::kLinesPerPage - 1) / song::kLinesPerPage);
    if (pageNo < 1 || pageNo > pages) {
        std::cerr << "page " << pageNo << " does not exist (1.." << pages << ")\n";
        return 2;
    }
    song::EventPage page = song::RenderPage(
        song, static_cast<int>(k), static_cast<int32_t>((pageNo - 1) * song::kLinesPerPage), cp);
    std::printf("List %ld: %d entries, page %ld of %ld\n", k, count, pageNo, pages);
    for (const song::EventLine& l : page) {
        if (l.position.empty()) {
            std::printf("\n");
            continue;
        }
        std::printf("%s  %-24s  %s  %s  #%06X\n", l.position.c_str(), l.name.c_str(),
                    l.channel.c_str(), l.param.c_str(), l.colour);
    }
    return 0;
}

}  // namespace

int RunDump(const std::vector<std::string>& words) {
    Args a = ParseArgs(words, {"codepage", "list", "page", "loops"}, {"json"});
    if (!a.error.empty() || a.positional.size() != 1) {
        std::cerr << "usage: sonfara-cli dump FILE [--json] | dump FILE --list K [--page P]\n";
        return 2;
    }
    const auto loops = LoopsOption(a);
    if (!loops) return 2;
    const platform::CodePage& cp = CliCodePage(a);
    song::SongTable song;
    if (!LoadSongForCli(a.positional[0], song, cp, nullptr, *loops)) return 1;

    if (auto list = a.Value("list")) {
        auto k = ParseInt(*list);
        auto p = ParseInt(a.Value("page").value_or("1"));
        if (!k || !p) {
            std::cerr << "--list and --page take whole numbers\n";
            return 2;
        }
        return DumpList(song, cp, *k, *p);
    }

    const bool json = a.Flag("json");
    JsonWriter j;
    if (json) j.BeginArray();
    std::string line;
    platform::SfrLibBinding lib;
    if (!json) lib.InstInit();
    for (int t = 1; t <= song.NTracks; ++t) {
        // Program changes are labelled with the bank selects seen earlier in
        // the same track (bank 0, map 0 before any).
        uint8_t bank[16] = {}, map[16] = {};
        auto events = song.TrackEvents(t);
        for (size_t i = 0; i < events.size(); ++i) {
            const song::EventView ev = events[i];
            const bool ext = ev.status >= midi::kSysExStart;
            std::string payload = ext ? HexBytes(song.ExtRow(ev.ExtIndex())) : std::string();
            if (json) {
                j.BeginObject();
                j.Key("track");
                j.Int(t);
                j.Key("event");
                j.Int(static_cast<int64_t>(i + 1));
                j.Key("tick");
                j.Int(ev.tick);
                j.Key("ms");
                j.Int(ev.TimeMs());
                j.Key("status");
                j.Int(ev.status);
                j.Key("data1");
                j.Int(ev.data1);
                j.Key("data2");
                j.Int(ev.data2);
                j.Key("length");
                j.Int(ev.Length());
                j.Key("payload");
                j.String(payload);
                j.EndObject();
            } else {
                char buf[96];
                std::snprintf(buf, sizeof buf, "%d %zu %d %d %02X %d %d %d", t, i + 1, ev.tick,
                              ev.TimeMs(), ev.status, ev.data1, ev.data2, ev.Length());
                line = buf;
                if (ext) {
                    line += ' ';
                    line += payload;
                }
                const int ch = midi::ChannelOf(ev.status);
                const uint8_t kind = midi::StatusKind(ev.status);
                if (kind == midi::kControlChange && ev.data1 == midi::cc::kBankSelect)
                    bank[ch] = ev.data2;
                if (kind == midi::kControlChange && ev.data1 == midi::cc::kBankSelectLsb)
                    map[ch] = ev.data2;
                if (kind == midi::kProgramChange) {
                    line += " inst=";
                    line += platform::InstLabelText(lib, ev.data1, bank[ch], map[ch]);
                }
                line += '\n';
                std::fputs(line.c_str(), stdout);
            }
        }
    }
    if (json) {
        j.EndArray();
        std::fputs(j.Text().c_str(), stdout);
        std::fputs("\n", stdout);
    }
    return 0;
}

}  // namespace sonfara::cli
