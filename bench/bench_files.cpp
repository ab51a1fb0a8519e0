// Opening many songs: a folder of 500 songs and a list file of 500 entries,
// timed to "entries ready" (expanded and sorted) and to the first song
// loaded by the real SMF reader through a playback target without output.
// The baseline in the same run is opening one song.
// Listing titles: 500 titled songs (mostly Japanese CP932, some Western
// CP1252, some ASCII) read and decoded as `sonfara-cli list --titles`
// does; the plain CP932 reading of the same titles is its baseline.
//
//   build/release/bench/bench_files
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "player/files/file_op.h"
#include "player/files/paths.h"
#include "player/files/song_title.h"
#include "player/files/work_folder.h"
#include "player/platform/text_decoding.h"
#include "player/song/smf_reader.h"

namespace {

namespace fs = std::filesystem;
using namespace sonfara;
using namespace sonfara::files;

constexpr int kSongs = 500;

// A short real song: a few hundred notes on one track, with a title.
std::string SongBytes(const std::string& title = {}) {
    std::string trk;
    if (!title.empty()) {
        trk += std::string("\x00\xFF\x03", 3) + static_cast<char>(title.size()) + title;
    }
    for (int i = 0; i < 400; ++i) {
        trk += std::string{'\x00', '\x90', static_cast<char>(40 + i % 40), '\x64'};
        trk += std::string{'\x60', '\x80', static_cast<char>(40 + i % 40), '\x00'};
    }
    trk += std::string("\x00\xFF\x2F\x00", 4);
    std::string f("MThd\0\0\0\x06\0\0\0\x01\x01\xE0MTrk", 18);
    const uint32_t n = static_cast<uint32_t>(trk.size());
    f += static_cast<char>(n >> 24);
    f += static_cast<char>(n >> 16);
    f += static_cast<char>(n >> 8);
    f += static_cast<char>(n);
    return f + trk;
}

struct Fixture {
    std::string folder;
    std::string list;
    std::string work;
    Fixture() {
        folder = (fs::temp_directory_path() / ("sonfara-bench-files-" + std::to_string(::getpid())))
                     .string();
        fs::create_directories(folder + "/songs");
        const std::string song = SongBytes();
        std::string listText = "[MIDIList]\r\nAPP HERE\r\n";
        for (int i = kSongs; i >= 1; --i) {  // reverse order: the sort has work to do
            const std::string name = "song" + std::to_string(i) + ".mid";
            std::ofstream(folder + "/songs/" + name, std::ios::binary) << song;
            listText += "songs\\" + name + "\r\n";
        }
        list = folder + "/list.mlt";
        std::ofstream(list, std::ios::binary) << listText;
        // Four in five Japanese, one in ten Western, the rest ASCII.
        const platform::CodePage cp932("CP932"), cp1252("CP1252");
        fs::create_directories(folder + "/titled");
        for (int i = 1; i <= kSongs; ++i) {
            const std::string n = std::to_string(i);
            const std::string title = i % 10 < 8 ? cp932.FromUtf8("第" + n + "曲 さくらのうた")
                                      : i % 10 == 8 ? cp1252.FromUtf8("Don’t Stop " + n)
                                                    : "Song " + n;
            std::ofstream(folder + "/titled/song" + n + ".mid", std::ios::binary)
                << SongBytes(title);
        }
        WorkFolder w = WorkFolder::Create(folder);
        work = w.Path();
    }
    ~Fixture() { fs::remove_all(folder); }
};

Fixture& Fx() {
    static Fixture f;
    return f;
}

class NullNotifier final : public Notifier {
  public:
    void Error(const std::string&) override {}
};

// Loads with the real reader; everything else is a no-op.
class LoadOnlyTarget final : public PlaybackTarget {
  public:
    void StopTimer() override {}
    sequencer::PlaybackStatus OpenOrResetOutput() override { return {}; }
    void EnableAllChannels() override {}
    song::LoadStatus LoadSong(const std::string& path, const std::string& kind,
                              const std::string& name) override {
        song::LoadOptions o;
        o.fileKindLabel = kind;
        o.songFileName = name;
        return song::LoadSMF(path, song, o);
    }
    void ResendPrograms() override {}
    bool StartTimer() override { return true; }
    void RequestExit() override {}
    song::SongTable song;
};

void EntriesReady(benchmark::State& state, bool fromList) {
    NullNotifier n;
    const FileContext ctx{n, Fx().work, platform::SystemCodePage()};
    for (auto _ : state) {
        const std::vector<std::string> paths = fromList ? std::vector<std::string>{Fx().list}
                                                        : ScanFolder(Fx().folder + "/songs", false);
        std::vector<FileEntry> e = ExpandPaths(paths, ctx);
        SortEntries(e, ctx.cp);
        benchmark::DoNotOptimize(e.data());
        if (e.size() != kSongs) state.SkipWithError("wrong entry count");
    }
}

void FirstSongLoaded(benchmark::State& state, int which) {
    NullNotifier n;
    LoadOnlyTarget target;
    for (auto _ : state) {
        FileOp op(target, FileContext{n, Fx().work, platform::SystemCodePage()});
        op.Settings().fileSort = 1;
        if (which == 0) op.OpenFiles(ScanFolder(Fx().folder + "/songs", true));
        if (which == 1) op.OpenFiles({Fx().list});
        if (which == 2) op.OpenFiles({Fx().folder + "/songs/song1.mid"});
        if (!op.SongLoaded()) state.SkipWithError("no song loaded");
    }
}

void ListTitles(benchmark::State& state, bool decided) {
    const std::vector<std::string> paths = ScanFolder(Fx().folder + "/titled", false);
    const platform::CodePage& cp932 = platform::SystemCodePage();
    for (auto _ : state) {
        size_t shown = 0;
        for (const std::string& p : paths) {
            const std::string t = SongFileTitle(p);
            shown += (decided ? platform::DecideTextEncoding(t).ToUtf8(t) : cp932.ToUtf8(t)).size();
        }
        benchmark::DoNotOptimize(shown);
        if (paths.size() != kSongs) state.SkipWithError("wrong song count");
    }
}

void BM_Titles500_PlainCp932_Baseline(benchmark::State& s) {
    ListTitles(s, false);
}
void BM_Titles500_Decided(benchmark::State& s) {
    ListTitles(s, true);
}

void BM_Folder500_EntriesReady(benchmark::State& s) {
    EntriesReady(s, false);
}
void BM_List500_EntriesReady(benchmark::State& s) {
    EntriesReady(s, true);
}
void BM_Folder500_FirstLoad(benchmark::State& s) {
    FirstSongLoaded(s, 0);
}
void BM_List500_FirstLoad(benchmark::State& s) {
    FirstSongLoaded(s, 1);
}
void BM_OneSong_FirstLoad_Baseline(benchmark::State& s) {
    FirstSongLoaded(s, 2);
}

BENCHMARK(BM_OneSong_FirstLoad_Baseline)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Folder500_EntriesReady)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Folder500_FirstLoad)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_List500_EntriesReady)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_List500_FirstLoad)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Titles500_PlainCp932_Baseline)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Titles500_Decided)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
