// sonfara-cli wrd: the compiled WRD events of a song, or its composed frame
// at a song position written as a PNG picture.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <iostream>
#include <optional>

#include "player/cli/cli_common.h"
#include "player/cli/commands.h"
#include "player/cli/json.h"
#include "player/cli/png_writer.h"
#include "player/files/work_folder.h"
#include "player/platform/timer.h"
#include "player/session/session.h"
#include "player/song/song_table.h"
#include "player/wrd/hex_font.h"
#include "player/wrd/messages.h"
#include "player/wrd/runtime.h"
#include "player/wrd/sequencer_link.h"

namespace sonfara::cli {
namespace {

// Loading and listing the events need no time.
class ZeroClock : public wrd::WrdClock {
  public:
    int32_t SongPositionMs() const override { return 0; }
};

// A port that takes everything and sounds nothing: the frame needs the
// sequencer's time, not its output.
class SilentPort final : public platform::MidiOutPort {
  public:
    void ShortMessage(uint32_t) override {}
    void LongMessage(std::span<const uint8_t>) override {}
    void Reset() override {}
    void Close() override {}
};
class SilentOutput final : public platform::MidiOutputSystem {
  public:
    std::vector<std::string> PortNames() override { return {"silent"}; }
    platform::PortOpenResult Open(int) override {
        platform::PortOpenResult r;
        r.port = std::make_unique<SilentPort>();
        return r;
    }
};

// Plays the song at virtual time through a playback session (its player,
// sequencer and WRD link), with the WRD timer every 50 ms, up to song
// position atMs (at most the song's end), and composes the frame the
// window shows there.
bool PerformToPosition(const std::string& path, const platform::CodePage& cp, int32_t atMs,
                       wrd::Surface& frame) {
    platform::ManualClock clock;
    platform::ManualTimerService timers(clock);
    SilentOutput ports;
    sequencer::ManualUiScheduler ui;
    files::StderrNotifier notifier;
    const files::WorkFolder work = files::WorkFolder::Create();
    wrd::HeadlessWrdWindow window;
    session::SessionEnv env{clock, timers, ports, ui, cp, notifier, work.Path()};
    env.wrdWindow = &window;
    session::PlaybackSession session(std::move(env));
    // The run ends with the song.
    session.Settings().Edit(
        [](settings::SettingsValues& v) { v.repeatMode = platform::RepeatMode::kStopAtEnd; });
    session.Songs().OpenPaths({path}, session::OpenMode::kReplace);
    session::SessionSnapshot s = session.Snapshot();
    if (!s.loaded || !s.playing) return false;
    const int32_t target = std::min(atMs, s.totalMs);
    constexpr int64_t kWrdPeriodUs = 50'000;
    int64_t nextWrdUs = clock.NowUs() + kWrdPeriodUs;
    for (;;) {
        s = session.Snapshot();
        if (s.positionMs >= target || !s.playing) break;
        // Never step past the target, nor past the sequencer's own period.
        const int64_t stepUs =
            std::clamp<int64_t>(int64_t{target - s.positionMs} * 1000, 1000, 5000);
        timers.RunUntilUs(std::min(clock.NowUs() + stepUs, nextWrdUs));
        ui.RunPending();
        if (clock.NowUs() >= nextWrdUs) {
            session.Presentation().WrdTick();
            nextWrdUs += kWrdPeriodUs;
        }
    }
    session.Presentation().WrdTick();
    frame = session.Presentation().WrdFrame();
    session.Shutdown();
    return true;
}

// Arguments on one text line: control characters written as escapes.
std::string Printable(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c == '\t')
            out += "\\t";
        else if (c < 0x20 || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else
            out += static_cast<char>(c);
    }
    return out;
}

}  // namespace

int RunWrd(const std::vector<std::string>& words) {
    Args a = ParseArgs(words, {"codepage", "at", "o"}, {"json", "events"});
    const char* usage = "usage: sonfara-cli wrd SONG [--events] [--json] [--at MS -o FRAME.png]\n";
    if (!a.error.empty() || a.positional.size() != 1) {
        if (!a.error.empty()) std::cerr << "sonfara-cli wrd: " << a.error << "\n";
        std::cerr << usage;
        return 2;
    }
    std::optional<long> at;
    if (auto v = a.Value("at")) {
        at = ParseInt(*v);
        if (!at || *at < 0 || !a.Value("o")) {
            std::cerr << "sonfara-cli wrd: --at needs a position in ms (0 or more) and -o FILE\n"
                      << usage;
            return 2;
        }
    } else if (a.Value("o")) {
        std::cerr << "sonfara-cli wrd: -o needs --at MS\n" << usage;
        return 2;
    }
    const platform::CodePage& cp = CliCodePage(a);
    const std::string& path = a.positional[0];
    song::SongTable song;
    if (!LoadSongForCli(path, song, cp)) return 1;

    ZeroClock clock;
    wrd::WrdWindow window;
    wrd::WrdRuntime rt(clock, window);
    const wrd::WrdLoad load = rt.LoadWrdScript(path, song, wrd::WrdSettings{});
    if (load == wrd::WrdLoad::kNoScript) {
        std::cerr << "sonfara-cli wrd: no WRD script beside " << path << "\n";
        return 1;
    }
    if (load != wrd::WrdLoad::kActive) {
        std::cerr << "sonfara-cli wrd: "
                  << (load == wrd::WrdLoad::kRefused ? wrd::WrdFaultMessage(rt.LastFault())
                                                     : wrd::msg::kScriptUnreadable)
                  << "\n";
        return 1;
    }

    if (at) {
        // The frame's own run loads the script again; one copy is enough.
        if (!a.Flag("events")) rt.Deactivate();
        wrd::Surface f(wrd::kFrameWidth, wrd::kFrameHeight);
        if (!PerformToPosition(path, cp, static_cast<int32_t>(std::min<long>(*at, INT32_MAX)), f))
            return 1;
        const std::string out = *a.Value("o");
        if (!WritePng(out, f.Width(), f.Height(), f.Row(0), f.Width())) {
            std::cerr << "sonfara-cli wrd: cannot write " << out << "\n";
            return 1;
        }
        if (!a.Flag("events")) return 0;
    }

    const auto& events = rt.Events();
    if (a.Flag("json")) {
        JsonWriter j;
        j.BeginArray();
        for (size_t i = 0; i < events.size(); ++i) {
            const auto& e = events[i];
            j.BeginObject();
            j.Key("n");
            j.Int(static_cast<int64_t>(i) + 1);
            j.Key("opcode");
            j.Int(e.opcode);
            j.Key("tick");
            j.Int(e.tick);
            j.Key("ms");
            j.Int(e.ms);
            j.Key("arg");
            j.String(cp.ToUtf8(e.arg));
            j.EndObject();
        }
        j.EndArray();
        std::cout << j.Text() << "\n";
        return 0;
    }
    for (size_t i = 0; i < events.size(); ++i) {
        const auto& e = events[i];
        std::cout << (i + 1) << '\t' << int(e.opcode) << '\t' << e.tick << '\t' << e.ms << '\t'
                  << Printable(cp.ToUtf8(e.arg)) << '\n';
    }
    return 0;
}

}  // namespace sonfara::cli
