// The built-in Recomposer converter: a typical 50 KB song (18 tracks of
// notes, controllers, loops and same-measure references) converted in
// memory, and a folder of 500 such songs listed with their titles against
// a folder of 500 SMFs listed the same way. Baselines in the same run:
// loading the converted SMF, and the SMF folder.
//
//   build/release/bench/bench_recomposer
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "player/files/file_op.h"
#include "player/files/paths.h"
#include "player/files/recomposer.h"
#include "player/files/song_title.h"
#include "player/song/smf_reader.h"
#include "tests/files/rcp_writer.h"

namespace {

namespace fs = std::filesystem;
using namespace sonfara;
using namespace sonfara::files;
using test::RcpSongWriter;
using test::RcpTrackWriter;

constexpr int kSongs = 500;
constexpr int kTracks = 18;

// About 2.8 KB per track: 54 measures of eighth notes with controllers,
// repeated phrases and same-measure references.
std::string TypicalSong() {
    RcpSongWriter w;
    w.title = "Typical song";
    w.memo = {"benchmark"};
    for (int t = 0; t < kTracks; ++t) {
        RcpTrackWriter tr;
        tr.channel = static_cast<uint8_t>(t % 16);
        tr.name = "Track " + std::to_string(t + 1);
        tr.Cmd(0xEC, 0, static_cast<uint16_t>(t * 7 % 128)).Cmd(0xEB, 0, 7, 100);
        for (int m = 0; m < 54; ++m) {
            if (m % 6 == 5) {
                tr.SameMeasure(m - 4);
                continue;
            }
            if (m % 4 == 0) tr.LoopStart();
            for (int n = 0; n < 8; ++n) {
                tr.Note(static_cast<uint8_t>(48 + (t * 5 + m * 3 + n * 2) % 36), 24, 20,
                        static_cast<uint8_t>(80 + n * 4));
                if (n % 2) tr.Cmd(0xEB, 0, 11, static_cast<uint8_t>(90 + n));
            }
            tr.Cmd(0xEE, 0, 0, 64);
            if (m % 4 == 1) tr.LoopEnd(2);
            tr.MeasureEnd();
        }
        w.tracks.push_back(tr.End());
    }
    return w.Bytes();
}

std::span<const uint8_t> Span(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

const std::string& Song() {
    static const std::string s = TypicalSong();
    return s;
}

struct Folders {
    std::string base, rcp, smf;
    Folders() {
        base = (fs::temp_directory_path() / ("sonfara-bench-rcp-" + std::to_string(::getpid())))
                   .string();
        rcp = base + "/rcp";
        smf = base + "/smf";
        fs::create_directories(rcp);
        fs::create_directories(smf);
        const RcpConversion c = ConvertRecomposer(Span(Song()), {});
        for (int i = 0; i < kSongs; ++i) {
            const std::string name = "song" + std::to_string(i);
            std::ofstream(rcp + "/" + name + ".rcp", std::ios::binary) << Song();
            std::ofstream(smf + "/" + name + ".mid", std::ios::binary) << c.smf;
        }
    }
    ~Folders() { fs::remove_all(base); }
};

Folders& Fx() {
    static Folders f;
    return f;
}

class NullNotifier final : public Notifier {
  public:
    void Error(const std::string&) override {}
};

void BM_LoadConvertedSmf_Baseline(benchmark::State& state) {
    const RcpConversion c = ConvertRecomposer(Span(Song()), {});
    for (auto _ : state) {
        song::SongTable s;
        if (!song::LoadSMFBytes(Span(c.smf), s, {}).ok()) state.SkipWithError("load failed");
    }
    state.counters["rcp_bytes"] = static_cast<double>(Song().size());
    state.counters["smf_bytes"] = static_cast<double>(c.smf.size());
}

void BM_Convert50K(benchmark::State& state) {
    for (auto _ : state) {
        const RcpConversion c = ConvertRecomposer(Span(Song()), {});
        if (!c.Ok()) state.SkipWithError("conversion failed");
        benchmark::DoNotOptimize(c.smf.data());
    }
}

void BM_Convert50KAndLoad(benchmark::State& state) {
    for (auto _ : state) {
        const RcpConversion c = ConvertRecomposer(Span(Song()), {});
        song::SongTable s;
        if (!song::LoadSMFBytes(Span(c.smf), s, {}).ok()) state.SkipWithError("load failed");
    }
}

// What `sonfara-cli list --titles FOLDER` does: scan, validate, expand, and
// read each song's title.
void ListWithTitles(benchmark::State& state, const std::string& folder) {
    NullNotifier n;
    const FileContext ctx{n, Fx().base + "/", platform::SystemCodePage()};
    for (auto _ : state) {
        const std::vector<FileEntry> e = ExpandPaths(ScanFolder(folder, true), ctx);
        size_t titled = 0;
        for (const FileEntry& f : e)
            titled += !SongFileTitle(platform::JoinPath(f.Folder, f.FileName)).empty();
        if (titled != kSongs) state.SkipWithError("titles missing");
    }
}

void BM_List500Smf_Baseline(benchmark::State& s) {
    ListWithTitles(s, Fx().smf);
}
void BM_List500Rcp(benchmark::State& s) {
    ListWithTitles(s, Fx().rcp);
}

BENCHMARK(BM_LoadConvertedSmf_Baseline)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Convert50K)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Convert50KAndLoad)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_List500Smf_Baseline)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_List500Rcp)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
