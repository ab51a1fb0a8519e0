// WRD presentation costs: translating a long script, and playing a 4-minute
// presentation (text, drawing, pictures) through the 50 ms WRD timer.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "player/platform/user_files.h"
#include "player/song/song_table.h"
#include "player/wrd/hex_font.h"
#include "player/wrd/runtime.h"
#include "tests/wrd/tools/mag_encoder.h"

namespace {

using namespace sonfara::wrd;
namespace fs = std::filesystem;

// A script of `lines` lines: text, colours, cursor moves, drawing, waits.
std::string Script(int lines, bool pictures) {
    std::string s = "@WMODE(11);\r\n";
    int measure = 1;
    for (int i = 0; i < lines; ++i) {
        switch (i % 10) {
            case 0:
                s += "@WAIT(" + std::to_string(measure++) + ");\r\n";
                break;
            case 1:
                s += "@COLOR(" + std::to_string(31 + i % 7) + ");\r\n";
                break;
            case 2:
                s += "@LOCATE(" + std::to_string(1 + i % 60) + "," + std::to_string(1 + i % 25) +
                     ");\r\n";
                break;
            case 3:
                s += "Lyrics line number " + std::to_string(i) + " goes here\r\n";
                break;
            case 4:
                s += "\x1b[20;5f"
                     "\x83\x5c\x83\x93\x83\x74\x83\x40\x83\x89|ab|c;\r\n";
                break;
            case 5:
                s += "@GLINE(" + std::to_string(i % 600) + ",10,600,390," + std::to_string(i % 16) +
                     ",1,0);\r\n";
                break;
            case 6:
                s += "@GCIRCLE(320,200," + std::to_string(10 + i % 150) + ",7,2,3);\r\n";
                break;
            case 7:
                s += pictures && i % 40 == 7
                         ? "@MAG(pic" + std::to_string(i / 40 % 4) + ".mag);\r\n"
                         : "@TCLS(1,1,80,3);\r\n";
                break;
            case 8:
                s += "_word_by_word_\r\n";
                break;
            default:
                s += "@PAL(#2,000,00F,F00,F0F,0F0,0FF,FF0,FFF);\r\n";
                break;
        }
    }
    return s;
}

class Timing : public WrdTiming {
  public:
    // 120 beats per minute, 480 ticks per quarter.
    int32_t Division() const override { return 480; }
    int32_t TickToMs(int32_t tick) const override {
        return static_cast<int32_t>(tick * 1000LL / 960);
    }
    int32_t EndTick() const override { return 240 * 960; }
};

class Clock : public WrdClock {
  public:
    int32_t SongPositionMs() const override { return ms; }
    int32_t ms = 0;
};

class CountingWindow : public WrdWindow {
  public:
    void Present(const Surface&) override { ++frames; }
    int64_t frames = 0;
};

void BM_CompileScript5000Lines(benchmark::State& state) {
    const std::string script = Script(5000, false);
    sonfara::song::SongTable song;
    song.Division = 480;
    song.ResetTempoMap();
    size_t events = 0;
    for (auto _ : state) {
        auto ev = CompileWrdScript(script, song);
        events = ev.size();
        benchmark::DoNotOptimize(ev.data());
    }
    state.counters["events"] = static_cast<double>(events);
    state.counters["lines/s"] =
        benchmark::Counter(5000.0 * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CompileScript5000Lines)->Unit(benchmark::kMillisecond);

// Baseline: composing one frame from a page and the text layer.
void BM_ComposeFrameOnly(benchmark::State& state) {
    Clock clock;
    CountingWindow window;
    WrdRuntime rt(clock, window);
    for (auto _ : state) benchmark::DoNotOptimize(&rt.ComposeFrame());
}
BENCHMARK(BM_ComposeFrameOnly)->Unit(benchmark::kMicrosecond);

// 240 s of a 2,000-line script with four 640 x 400 pictures, driven by the
// 50 ms timer; reports the time per frame composed (pictures decoded once
// per run, as for a freshly opened song).
void BM_Presentation4Minutes(benchmark::State& state) {
    const fs::path dir =
        fs::temp_directory_path() / ("sonfara_bench_wrd_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    for (int p = 0; p < 4; ++p) {
        tools::MagImage img;
        img.width = 640;
        img.height = 400;
        img.pixels.resize(640 * 400);
        for (int y = 0; y < 400; ++y)
            for (int x = 0; x < 640; ++x)
                img.pixels[y * 640 + x] = static_cast<uint8_t>(((x / (8 + p)) ^ (y / 10)) % 16);
        for (int i = 0; i < 16; ++i) img.palette[i] = i * 0x101010u;
        const auto bytes = tools::EncodeMag(img);
        std::ofstream(dir / ("pic" + std::to_string(p) + ".mag"), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    const std::string script = Script(2000, true);
    int64_t frames = 0;
    for (auto _ : state) {
        Clock clock;
        CountingWindow window;
        WrdRuntime rt(clock, window);
        rt.LoadScriptText(script, Timing(), dir.string());
        for (clock.ms = 0; clock.ms <= 240000; clock.ms += 50) rt.RunDueWrdEvents();
        frames = window.frames;
    }
    fs::remove_all(dir);
    state.counters["frames"] = static_cast<double>(frames);
    state.counters["s/frame"] =
        benchmark::Counter(static_cast<double>(frames) * state.iterations(),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Presentation4Minutes)->Unit(benchmark::kMillisecond);

// The one-time cost of the Japanese glyphs: reading the installed hex font
// and parsing it into the glyph table (the first character drawn pays it).
// Baseline: reading the file alone.
void BM_HexFontReadOnly(benchmark::State& state) {
    std::string text;
    for (auto _ : state) {
        if (sonfara::platform::ReadWholeFile(kDefaultWrdFontPath, text) !=
            sonfara::platform::ReadStatus::kOk) {
            state.SkipWithError("unifont_jp.hex is absent");
            return;
        }
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(BM_HexFontReadOnly)->Unit(benchmark::kMillisecond);

void BM_HexFontLoad(benchmark::State& state) {
    std::string text;
    size_t glyphs = 0;
    for (auto _ : state) {
        if (sonfara::platform::ReadWholeFile(kDefaultWrdFontPath, text) !=
            sonfara::platform::ReadStatus::kOk) {
            state.SkipWithError("unifont_jp.hex is absent");
            return;
        }
        const HexFont font = HexFont::Parse(text);
        glyphs = font.Size();
        benchmark::DoNotOptimize(&font);
    }
    state.counters["glyphs"] = static_cast<double>(glyphs);
}
BENCHMARK(BM_HexFontLoad)->Unit(benchmark::kMillisecond);

// Drawing one line of 40 full-width characters after the font is loaded
// (code-page conversion cached after the first pass).
void BM_DrawJapaneseLine(benchmark::State& state) {
    const sonfara::platform::CodePage cp932("CP932");
    const HexFontGlyphs glyphs(cp932);
    std::string line;
    for (int i = 0; i < 40; ++i) line += cp932.FromUtf8(i % 2 ? "歌" : "ソ");
    Surface s(kFrameWidth, kFrameHeight);
    for (auto _ : state) {
        for (size_t i = 0; i < line.size(); i += 2)
            s.DrawGlyph(static_cast<int>(8 * i), 0, glyphs.Glyph(line.substr(i, 2), 2), 0xFFFFFF,
                        kTextKey);
        benchmark::DoNotOptimize(s.Row(0));
    }
}
BENCHMARK(BM_DrawJapaneseLine)->Unit(benchmark::kMicrosecond);

}  // namespace
