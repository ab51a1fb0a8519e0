// Load throughput of the SMF reader on generated dense songs.
//
//   build/release/bench/bench_load                  Google Benchmark run
//   build/release/bench/bench_load --write MB FILE  writes a generated song (16 tracks)
//   build/release/bench/bench_load --write-format0 MB FILE  the same content in one track
//   build/release/bench/bench_load --write-run tempo|notes N FILE  N tempo events, or N note
//                                                  events, a tick apart in one track
//   build/release/bench/bench_load --peak FILE      loads once, prints peak memory
//   build/release/bench/bench_load --once FILE      loads once, prints seconds (wall user sys)
//   build/release/bench/bench_load --read FILE      maps and reads the file once, same figures
//   build/release/bench/bench_load --ratio FILE [N] loads N times (default 7) on one core and
//                                                  on 2 threads in turn; medians and their ratio
// --threads N before any of these decodes on N threads (default: one per core).
#include <benchmark/benchmark.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_songs.h"
#include "player/platform/large_memory.h"
#include "player/song/smf_reader.h"

namespace {

using sonfara::song::LoadOptions;
using sonfara::song::LoadSMF;
using sonfara::song::SongTable;

std::string SongFile(int mb) {
    auto path =
        std::filesystem::temp_directory_path() / ("sonfara-bench-" + std::to_string(mb) + "mb.mid");
    if (!std::filesystem::exists(path)) {
        auto bytes = sonfara::bench::MakeDenseSong(static_cast<size_t>(mb) * 1000 * 1000);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    return path.string();
}

int gThreads = 0;  // --threads; 0: one per core

LoadOptions Options() {
    LoadOptions o;
    o.songFileName = "bench.mid";
    o.threads = gThreads;
    return o;
}

int64_t TotalEvents(const SongTable& s) {
    int64_t n = 0;
    for (int t = 1; t <= s.NTracks; ++t) n += s.EventCount(t);
    return n;
}

void BM_LoadSMF(benchmark::State& state) {
    const int mb = static_cast<int>(state.range(0));
    const std::string path = SongFile(mb);
    const auto fileBytes = static_cast<int64_t>(std::filesystem::file_size(path));
    const LoadOptions o = Options();
    int64_t events = 0;
    size_t memory = 0;
    for (auto _ : state) {
        SongTable song;
        auto r = LoadSMF(path, song, o);
        if (!r.ok()) {
            state.SkipWithError(r.Message().c_str());
            return;
        }
        events = TotalEvents(song);
        memory = song.MemoryBytes();
        benchmark::DoNotOptimize(song.TotalMs);
    }
    state.SetBytesProcessed(state.iterations() * fileBytes);
    state.SetItemsProcessed(state.iterations() * events);
    state.counters["events"] = static_cast<double>(events);
    state.counters["bytes_per_event"] = static_cast<double>(memory) / static_cast<double>(events);
}
// Baseline: mapping the same file and touching every byte once, the least a
// loader of the whole file can do.
void BM_ReadFileBaseline(benchmark::State& state) {
    const std::string path = SongFile(static_cast<int>(state.range(0)));
    const auto fileBytes = static_cast<int64_t>(std::filesystem::file_size(path));
    for (auto _ : state) {
        sonfara::platform::FileImage image;
        if (!image.Open(path)) {
            state.SkipWithError("cannot read");
            return;
        }
        uint64_t sum = 0;
        for (uint8_t b : image.Bytes()) sum += b;
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(state.iterations() * fileBytes);
}
BENCHMARK(BM_ReadFileBaseline)
    ->Arg(1)
    ->Arg(10)
    ->Arg(100)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK(BM_LoadSMF)->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

std::string EventRunFile(int millions, bool tempo) {
    auto path =
        std::filesystem::temp_directory_path() /
        ("sonfara-bench-" + std::to_string(millions) + (tempo ? "m-tempo.mid" : "m-notes.mid"));
    if (!std::filesystem::exists(path)) {
        auto bytes =
            sonfara::bench::MakeEventRunSong(static_cast<size_t>(millions) * 1000 * 1000, tempo);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    return path.string();
}

// Millions of tempo events against as many notes: the tempo map must not
// make a song of tempo changes load much slower than one of notes.
void BM_LoadEventRun(benchmark::State& state) {
    const bool tempo = state.range(1) != 0;
    const std::string path = EventRunFile(static_cast<int>(state.range(0)), tempo);
    const LoadOptions o = Options();
    for (auto _ : state) {
        SongTable song;
        auto r = LoadSMF(path, song, o);
        if (!r.ok()) {
            state.SkipWithError(r.Message().c_str());
            return;
        }
        state.counters["tempo_entries"] = song.TempoCount();
        benchmark::DoNotOptimize(song.TotalMs);
    }
    state.SetLabel(tempo ? "tempo events" : "note events");
}
BENCHMARK(BM_LoadEventRun)
    ->ArgNames({"millions", "tempo"})
    ->Args({4, 0})
    ->Args({4, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

long MaxRssKb() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

long CurrentRssKb() {
    std::ifstream in("/proc/self/statm");
    long pages = 0, resident = 0;
    in >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

int Peak(const char* path) {
    const long before = CurrentRssKb();
    SongTable song;
    auto r = LoadSMF(path, song, Options());
    if (!r.ok()) {
        std::fprintf(stderr, "load failed: %s\n", r.Message().c_str());
        return 1;
    }
    const double fileBytes = static_cast<double>(std::filesystem::file_size(path));
    const double events = static_cast<double>(TotalEvents(song));
    const double peak = (MaxRssKb() - before) * 1024.0;
    std::printf(
        "file %.0f bytes, %.0f events, peak %.0f bytes above start (%.1f MB), resident after "
        "%.0f bytes, table %.2f bytes per event\n",
        fileBytes, events, peak, peak / 1e6, (CurrentRssKb() - before) * 1024.0,
        static_cast<double>(song.MemoryBytes()) / events);
    return 0;
}

double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6;
}

// One load (or, for the baseline, one read of every byte) in this fresh
// process: wall, user and system seconds of that step alone.
int Once(const char* path, bool load) {
    rusage r0{}, r1{};
    getrusage(RUSAGE_SELF, &r0);
    const auto t0 = std::chrono::steady_clock::now();
    if (load) {
        SongTable song;
        if (!LoadSMF(path, song, Options()).ok()) return 1;
        benchmark::DoNotOptimize(song.TotalMs);
    } else {
        sonfara::platform::FileImage image;
        if (!image.Open(path)) return 1;
        uint64_t sum = 0;
        for (uint8_t b : image.Bytes()) sum += b;
        benchmark::DoNotOptimize(sum);
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    getrusage(RUSAGE_SELF, &r1);
    std::printf("%.3f %.3f %.3f\n", wall, Seconds(r1.ru_utime) - Seconds(r0.ru_utime),
                Seconds(r1.ru_stime) - Seconds(r0.ru_stime));
    return 0;
}

double LoadSeconds(const char* path, int threads) {
    LoadOptions o = Options();
    o.threads = threads;
    SongTable song;
    const auto t0 = std::chrono::steady_clock::now();
    if (!LoadSMF(path, song, o).ok()) return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// The load on one core (one decoding thread, and the process pinned to one
// processor, so the page-zeroing helper shares it too) against two decoding
// threads on every core, in turn so both see the same machine load.
double OneCoreSeconds(const char* path) {
    cpu_set_t all, one;
    sched_getaffinity(0, sizeof all, &all);
    CPU_ZERO(&one);
    for (int c = 0; c < CPU_SETSIZE; ++c) {
        if (CPU_ISSET(c, &all)) {
            CPU_SET(c, &one);
            break;
        }
    }
    sched_setaffinity(0, sizeof one, &one);
    const double s = LoadSeconds(path, 1);
    sched_setaffinity(0, sizeof all, &all);
    return s;
}

int Ratio(const char* path, int rounds) {
    std::vector<double> one, two;
    for (int i = 0; i < rounds; ++i) {
        one.push_back(OneCoreSeconds(path));
        two.push_back(LoadSeconds(path, 2));
        if (one.back() < 0 || two.back() < 0) return 1;
        std::printf("round %d: one core %.3f s, 2 threads %.3f s\n", i + 1, one.back(), two.back());
    }
    std::printf("medians of %d: one core %.3f s, 2 threads %.3f s, ratio %.2f\n", rounds,
                Median(one), Median(two), Median(two) / Median(one));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && !std::strcmp(argv[1], "--threads")) {
        gThreads = std::atoi(argv[2]);
        argv[2] = argv[0];
        argv += 2;
        argc -= 2;
    }
    if ((argc == 3 || argc == 4) && !std::strcmp(argv[1], "--ratio"))
        return Ratio(argv[2], argc == 4 ? std::atoi(argv[3]) : 7);
    const bool format0 = argc == 4 && !std::strcmp(argv[1], "--write-format0");
    if (argc == 4 && (format0 || !std::strcmp(argv[1], "--write"))) {
        const size_t size = static_cast<size_t>(std::atol(argv[2])) * 1000 * 1000;
        auto bytes = format0 ? sonfara::bench::MakeDenseFormat0Song(size)
                             : sonfara::bench::MakeDenseSong(size);
        std::ofstream(argv[3], std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return 0;
    }
    if (argc == 5 && !std::strcmp(argv[1], "--write-run")) {
        auto bytes = sonfara::bench::MakeEventRunSong(static_cast<size_t>(std::atol(argv[3])),
                                                      !std::strcmp(argv[2], "tempo"));
        std::ofstream(argv[4], std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return 0;
    }
    if (argc == 3 && !std::strcmp(argv[1], "--peak")) return Peak(argv[2]);
    if (argc == 3 && !std::strcmp(argv[1], "--once")) return Once(argv[2], true);
    if (argc == 3 && !std::strcmp(argv[1], "--read")) return Once(argv[2], false);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
