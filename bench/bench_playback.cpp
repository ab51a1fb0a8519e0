// Playback timing and cost.
//
//   build/release/bench/bench_playback                      Google Benchmark: tick cost
//   build/release/bench/bench_playback --lateness [SEC [NOTES]]  real clock and timer thread:
//        lateness of every message against its event's time, periodic tick and
//        event-timed wakes, plus processor time per second of playback; with
//        NOTES, the song plays that many notes per second across 16 channels
//   build/release/bench/bench_playback --write-song PATH [SEC [NOTES]]  writes that song
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "player/platform/midi_port.h"
#include "player/platform/timer.h"
#include "player/sequencer/player.h"
#include "player/song/smf_reader.h"
#include "tests/support_code/test_opener.h"

namespace {

using namespace sonfara;

void Vlq(std::vector<uint8_t>& d, uint32_t v) {
    uint8_t tmp[5];
    int n = 0;
    tmp[n++] = v & 0x7F;
    while (v >>= 7) tmp[n++] = static_cast<uint8_t>(0x80 | (v & 0x7F));
    while (n) d.push_back(tmp[--n]);
}

// 16 tracks, one per channel; each plays 80 ms notes at a random 100-220 ms
// pace with 0x80 note-offs: about 200 messages per second. Division 500 at
// the default tempo: one tick is one millisecond.
// With notesPerSecond, each channel instead plays notesPerSecond / 16 notes a
// second, evenly spread (several at one tick where they must), 80 ms long.
std::vector<uint8_t> DenseSong(int seconds, int notesPerSecond = 0) {
    std::mt19937 rng(42);
    std::vector<uint8_t> f = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 16, 0x01, 0xF4};
    for (int c = 0; c < 16; ++c) {
        std::vector<uint8_t> d;
        int last = 0;
        auto ev = [&](int t, std::initializer_list<uint8_t> b) {
            Vlq(d, static_cast<uint32_t>(t - last));
            last = t;
            d.insert(d.end(), b.begin(), b.end());
        };
        auto note = [&](int t) {
            uint8_t key = static_cast<uint8_t>(36 + rng() % 60);
            ev(t, {static_cast<uint8_t>(0x90 | c), key, static_cast<uint8_t>(1 + rng() % 126)});
            return key;
        };
        if (notesPerSecond > 0) {
            // Note-ons and note-offs merged by time in one track.
            std::multimap<int, std::vector<uint8_t>> at;
            const int64_t perChannel = int64_t{notesPerSecond} * (seconds - 1) / 16;
            for (int64_t i = 0; i < perChannel; ++i) {
                const int t = static_cast<int>(5 + i * 16000 / notesPerSecond);
                const auto key = static_cast<uint8_t>(36 + rng() % 60);
                at.insert(
                    {t,
                     {static_cast<uint8_t>(0x90 | c), key, static_cast<uint8_t>(1 + rng() % 126)}});
                at.insert({t + 80, {static_cast<uint8_t>(0x80 | c), key, 0x40}});
            }
            for (const auto& [t, b] : at) {
                Vlq(d, static_cast<uint32_t>(t - last));
                last = t;
                d.insert(d.end(), b.begin(), b.end());
            }
        } else {
            for (int t = 5 + c; t < seconds * 1000 - 100;
                 t += 100 + static_cast<int>(rng() % 120)) {
                const uint8_t key = note(t);
                ev(t + 80, {static_cast<uint8_t>(0x80 | c), key, 0x40});
            }
        }
        ev(last, {0xFF, 0x2F, 0x00});
        uint32_t n = static_cast<uint32_t>(d.size());
        f.insert(f.end(),
                 {'M', 'T', 'r', 'k', static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16),
                  static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)});
        f.insert(f.end(), d.begin(), d.end());
    }
    return f;
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    size_t i = static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

int MeasureLateness(int seconds, int notesPerSecond) {
    const auto bytes = DenseSong(seconds, notesPerSecond);
    platform::CodePage cp("CP932");
    std::printf(
        "dense song: %d s, 16 tracks, %s notes per second; MTimer 5; real clock and timer "
        "thread\n",
        seconds, notesPerSecond ? std::to_string(notesPerSecond).c_str() : "about 100");
    std::printf("%-22s %8s %9s %9s %9s %9s %14s\n", "mode", "messages", "p50 ms", "p99 ms",
                "max ms", "late>1ms", "cpu ms per s");
    bool raised = false;
    for (bool precise : {false, true}) {
        platform::ThreadTimerService timers;
        platform::RecordingOutputSystem ports(platform::SteadyClock::Instance(), {"rec"});
        sequencer::ManualUiScheduler ui;
        sequencer::PlaybackSettings s;
        s.repeatMode = platform::RepeatMode::kStopAtEnd;
        s.preciseTiming = precise;
        sequencer::Player player(
            sequencer::PlayerEnv{platform::SteadyClock::Instance(), timers, ports, ui, cp}, s);
        test::TestOpener opener(player,
                                [&](const std::string&, song::SongTable& t, std::string* m) {
                                    song::LoadOptions opt;
                                    opt.codePage = &cp;
                                    auto r = song::LoadSMFBytes(bytes, t, opt);
                                    *m = r.Message();
                                    return r.ok();
                                });
        opener.Assign({"dense"});
        const double cpu0 = CpuSeconds();
        if (!player.PlayEntry(1)) {
            std::fprintf(stderr, "cannot start: %s\n", opener.LastError().c_str());
            return 1;
        }
        ports.Latest()->ClearLog();
        while (player.Seq().SongEnded() == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const double cpu = CpuSeconds() - cpu0;
        const int64_t originUs = int64_t{player.Seq().SpeedBase()} * 1000;
        player.Shutdown();

        // Expected times per message, in order of occurrence.
        std::map<uint32_t, std::vector<int32_t>> due;
        const song::SongTable& song = player.Song();
        for (int t = 1; t <= song.NTracks; ++t) {
            for (const auto& e : song.TrackEvents(t)) {
                if ((e.status & 0xE0) != 0x80) continue;
                due[e.status | e.data1 << 8 | e.data2 << 16].push_back(e.TimeMs());
            }
        }
        for (auto& [k, v] : due) std::sort(v.begin(), v.end());
        std::map<uint32_t, size_t> used;
        std::vector<double> late;
        for (const auto& m : ports.Opened()[0]->Messages()) {
            if (m.isReset || m.bytes.size() != 3) continue;
            uint32_t key = m.bytes[0] | m.bytes[1] << 8 | m.bytes[2] << 16;
            auto it = due.find(key);
            if (it == due.end()) continue;
            size_t& i = used[key];
            if (i >= it->second.size()) continue;
            late.push_back(static_cast<double>(m.us - originUs - int64_t{it->second[i++]} * 1000) /
                           1000.0);
        }
        size_t over = static_cast<size_t>(
            std::count_if(late.begin(), late.end(), [](double x) { return x > 1.0; }));
        std::printf("%-22s %8zu %9.3f %9.3f %9.3f %9zu %14.2f\n",
                    precise ? "event-timed wakes" : "periodic tick only", late.size(),
                    Percentile(late, 0.5), Percentile(late, 0.99),
                    late.empty() ? 0.0 : *std::max_element(late.begin(), late.end()), over,
                    cpu * 1000.0 / seconds);
        std::fflush(stdout);
        raised = timers.RaisedPriority();
    }
    std::printf("timer thread priority raised: %s\n", raised ? "yes" : "no");
    return 0;
}

// A port that drops everything: the cost of the engine alone.
class NullSystem final : public platform::MidiOutputSystem {
  public:
    std::vector<std::string> PortNames() override { return {"null"}; }
    platform::PortOpenResult Open(int) override {
        platform::PortOpenResult r;
        r.port = std::make_unique<Null>();
        return r;
    }

  private:
    class Null final : public platform::MidiOutPort {
        void ShortMessage(uint32_t) override {}
        void LongMessage(std::span<const uint8_t>) override {}
        void Reset() override {}
        void Close() override {}
    };
};

// Virtual-time playback of the dense song: every tick and every message
// through the filter chain, per second of song.
void BM_PlaySecondOfDenseSong(benchmark::State& state) {
    const auto bytes = DenseSong(30);
    platform::CodePage cp("CP932");
    platform::ManualClock clock(0);
    platform::ManualTimerService timers(clock);
    NullSystem ports;
    sequencer::ManualUiScheduler ui;
    sequencer::PlaybackSettings s;
    s.repeatMode = platform::RepeatMode::kSong;
    s.preciseTiming = state.range(0) != 0;
    sequencer::Player player(sequencer::PlayerEnv{clock, timers, ports, ui, cp}, s);
    test::TestOpener opener(player, [&](const std::string&, song::SongTable& t, std::string*) {
        song::LoadOptions opt;
        opt.codePage = &cp;
        return song::LoadSMFBytes(bytes, t, opt).ok();
    });
    opener.Assign({"dense"});
    player.PlayEntry(1);
    for (auto _ : state) {
        timers.RunForMs(1000);
        ui.RunPending();
    }
    state.SetLabel(s.preciseTiming ? "event-timed wakes" : "periodic tick");
}
BENCHMARK(BM_PlaySecondOfDenseSong)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && !std::strcmp(argv[1], "--lateness")) {
        return MeasureLateness(argc >= 3 ? std::atoi(argv[2]) : 30,
                               argc >= 4 ? std::atoi(argv[3]) : 0);
    }
    if (argc >= 3 && !std::strcmp(argv[1], "--write-song")) {
        auto b = DenseSong(argc >= 4 ? std::atoi(argv[3]) : 30, argc >= 5 ? std::atoi(argv[4]) : 0);
        std::ofstream(argv[2], std::ios::binary)
            .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
