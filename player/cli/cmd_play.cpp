// sonfara-cli play and render: the engine's player in real time through a
// MIDI port or the built-in synthesizer, or offline into a WAV file.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string_view>
#include <thread>

#include "player/cli/cli_common.h"
#include "player/cli/commands.h"
#include "player/files/engine_settings.h"
#include "player/files/paths.h"
#include "player/files/shaping_catalog.h"
#include "player/files/work_folder.h"
#include "player/platform/system_ports.h"
#include "player/platform/user_files.h"
#include "player/sequencer/messages.h"
#include "player/session/session.h"
#include "player/settings/settings_store.h"

namespace sonfara::cli {
namespace {

// The number of the signal that asked to stop, 0 while none has.
std::atomic<int> gStop{0};

// Exit status when no output port could be opened (the demo script then
// renders instead).
constexpr int kExitNoPort = 3;

void OnSignal(int sig) {
    gStop.store(sig);
}

// Every ordinary termination signal (a closed terminal too) gets the same
// clean stop: nothing may be left sounding at an external synthesizer.
void InstallSignals() {
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaction(sig, &sa, nullptr);
}

// After a signal stop: 128 + the signal, as a shell reports a killed command.
int SignalExitStatus() {
    return 128 + gStop.load();
}

std::string MinSec(int32_t ms) {
    char b[32];
    int32_t s = ms < 0 ? 0 : ms / 1000;
    std::snprintf(b, sizeof b, "%02d:%02d", s / 60, s % 60);
    return b;
}

// The file layer's messages on stderr. The port failure is left out: the
// player's own message, printed by the command, names the ports there are.
class CliNotifier final : public files::Notifier {
  public:
    void Error(const std::string& text) override {
        if (text != files::msg::kCannotOpenDevice) plain_.Error(text);
    }

  private:
    files::StderrNotifier plain_;
};

std::string CaptionList(const std::vector<std::string>& captions, const CodePage& cp) {
    std::string s;
    for (size_t i = 0; i < captions.size(); ++i)
        s += "\n  " + std::to_string(i + 1) + ": " + cp.ToUtf8(captions[i]);
    return s.empty() ? "\n  (none)" : s;
}

// Reads --name as a whole number within [lo, hi] into `value` (left as it
// is when the option is absent); false, with `complaint` printed, otherwise.
bool IntOption(const Args& a, const char* name, long lo, long hi, const char* complaint,
               int& value) {
    auto text = a.Value(name);
    if (!text) return true;
    auto v = ParseInt(*text);
    if (!v || *v < lo || *v > hi) {
        std::cerr << complaint << "\n";
        return false;
    }
    value = static_cast<int>(*v);
    return true;
}

// What play and render share: the work folder, the message sink and the
// settings store (read only: the command line never writes the player's
// settings). The session is made from them once the options are checked.
struct CliSession {
    CliNotifier notifier;
    files::WorkFolder work = files::WorkFolder::Create();
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<PlaybackSession> session;

    // False, with the reason printed, when the work folder is not safe to use.
    bool WorkOk() const {
        if (!work.Ok())
            std::cerr << Localized(files::msg::kWorkFolderUnsafe) << work.Error() << "\n";
        return work.Ok();
    }
};

// 0 when the store is open (or --no-settings), else the exit status.
int OpenStore(const Args& a, const char* cmd, std::unique_ptr<SettingsStore>& out) {
    if (a.Flag("no-settings")) return 0;
    const auto given = a.Value("settings");
    const std::string path = given.value_or(IniSettingsStore::DefaultPath());
    if (given && !files::FileExists(path)) {
        std::cerr << "sonfara-cli " << cmd << ": no settings file " << path << "\n";
        return 2;
    }
    SettingsOpenReport report;
    // A damaged file stays where it is for the player to set aside.
    out = IniSettingsStore::Open(path, false, &report);
    if (report.status == SettingsOpenReport::Status::kDamagedKept ||
        report.status == SettingsOpenReport::Status::kSetAside)
        std::cerr << "sonfara-cli " << cmd << ": settings file " << path
                  << " unreadable, defaults used (" << report.message << ")\n";
    return 0;
}

void MakeSession(CliSession& c, const Clock& clock, TimerService& timers, MidiOutputSystem& ports,
                 UiScheduler& ui, const CodePage& cp) {
    SessionEnv env{clock, timers, ports, ui, cp, c.notifier, c.work.Path()};
    env.settingsStore = c.store.get();
    env.saveSettings = false;
    env.shapingFolders = DefaultShapingFolders(ProgramFolder());
    c.session = std::make_unique<PlaybackSession>(std::move(env));
}

// --arrangement and --eq win over the stored selection; "none" clears it.
// 0, or the exit status with the message printed.
int SelectShaping(const Args& a, const char* cmd, PlaybackSession& s, const CodePage& cp) {
    const ShapingCatalog& catalog = s.Output().Catalog();
    if (auto name = a.Value("arrangement")) {
        const int item = *name == "none" ? 0 : FindArrangementItem(catalog, *name, cp);
        if (item == 0 && *name != "none") {
            std::cerr << "sonfara-cli " << cmd << ": no arrangement named '" << *name
                      << "'; arrangements:" << CaptionList(catalog.ArrangementCaptions(), cp)
                      << "\n";
            return 2;
        }
        s.Output().SelectArrangement(item);
    }
    if (auto name = a.Value("eq")) {
        const int item = *name == "none" ? 0 : FindEqItem(catalog, *name, cp);
        if (item == 0 && *name != "none") {
            std::cerr << "sonfara-cli " << cmd << ": no EQ preset named '" << *name
                      << "'; EQ presets:" << CaptionList(catalog.EqCaptions(), cp) << "\n";
            return 2;
        }
        s.Output().SelectEq(item);
    }
    return 0;
}

// Lists the songs the paths give (folders as the folder command finds
// them); 0, or 1 with "nothing to play".
int ListSongs(const Args& a, const char* cmd, CliSession& c, const CodePage& cp) {
    files::FileContext ctx{c.notifier, c.work.Path(), cp};
    std::vector<std::string> empty;
    const std::vector<std::string> paths = files::WithFolderSongs(a.positional, ctx, &empty);
    for (const std::string& f : empty)
        std::cerr << "sonfara-cli " << cmd << ": no songs in " << f << "\n";
    c.session->Library().OpenPaths(paths, OpenMode::kListOnly);
    if (c.session->Library().List().Count() == 0) {
        std::cerr << "sonfara-cli " << cmd << ": nothing to play\n";
        return 1;
    }
    return 0;
}

std::string ModuleText(const SessionSnapshot& s) {
    std::string flag = s.flagXG ? "XG" : s.flagGS ? "GS" : s.flagGM ? "GM" : "";
    if (!s.moduleName.empty() && !flag.empty()) return flag + " " + s.moduleName;
    return flag.empty() ? s.moduleName : flag;
}

// Cuts UTF-8 text to at most n code points.
std::string CutUtf8(const std::string& s, size_t n) {
    size_t count = 0, i = 0;
    for (; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (count == n) break;
            ++count;
        }
    }
    return s.substr(0, i);
}

struct PlayState : SessionObserver {
    bool playOnce = false;  // several files without --repeat: the list once
    bool tty = false;
    int attempted = 0;      // entries opened or tried
    int failuresInRow = 0;  // a list of unreadable files must not cycle forever
    bool stoppedAtEnd = false;
    bool failedOpen = false;
    PlaybackSession* session = nullptr;

    int ListCount() const { return session->Library().List().Count(); }
    void OnSongOpened(int index, bool ok, const std::string& text) override {
        ++attempted;
        if (!ok) {
            failedOpen = true;
            ++failuresInRow;
            // The port's message is the command's to print, once.
            if (!text.empty() && !session->Library().PortFailed())
                std::fprintf(stderr, "%s: %s\n", text.c_str(),
                             session->Library().List().Entry(index).FileName.c_str());
            return;
        }
        failuresInRow = 0;
        const SessionSnapshot s = session->Snapshot();
        std::string length = MinSec(s.totalMs);
        if (s.loopedTotalMs != s.totalMs)
            length += s.loopedTotalMs < 0 ? ", loops endlessly"
                                          : ", " + MinSec(s.loopedTotalMs) + " with loops";
        std::fprintf(stderr, "%s[%d/%d] %s  (%s, %s)\n", tty ? "\r\033[K" : "", index, ListCount(),
                     s.title.c_str(), s.fileKind.c_str(), length.c_str());
    }
    void OnStoppedAtEnd() override { stoppedAtEnd = true; }
    bool AllowAutoOpen(int) override { return !(playOnce && attempted >= ListCount()); }
};

// --- Loops ---------------------------------------------------------------------

bool AllDigits(std::string_view s) {
    return !s.empty() && s.size() <= 9 &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A song position as the player shows it: m:ss[.mmm] (minutes may pass 59),
// or bar[.beat], both counted from 1 in quarter-note beats of the song's
// time signature; nullopt when the text is neither or lies past the end.
std::optional<int32_t> SongPosition(const std::string& text, const SongTable& song) {
    const std::string_view t = text;
    const size_t colon = t.find(':');
    const size_t dot = t.find('.', colon == t.npos ? 0 : colon);
    const std::string_view whole = t.substr(0, dot);
    const std::string_view frac = dot == t.npos ? "" : t.substr(dot + 1);
    if (dot != t.npos && !AllDigits(frac)) return std::nullopt;
    int64_t ms = 0;
    if (colon != t.npos) {
        const std::string_view min = whole.substr(0, colon), sec = whole.substr(colon + 1);
        if (!AllDigits(min) || !AllDigits(sec) || sec.size() > 2 || frac.size() > 3)
            return std::nullopt;
        const int64_t seconds = std::stoll(std::string(sec));
        if (seconds >= 60) return std::nullopt;
        std::string thousandths(frac);
        thousandths.resize(3, '0');
        ms = (std::stoll(std::string(min)) * 60 + seconds) * 1000 + std::stoll(thousandths);
    } else {
        if (!AllDigits(whole)) return std::nullopt;
        const int64_t bar = std::stoll(std::string(whole));
        const int64_t beat = frac.empty() ? 1 : std::stoll(std::string(frac));
        const int64_t perBar = std::max<int>(1, song.BeatQuarters);
        if (bar < 1 || beat < 1 || beat > perBar) return std::nullopt;
        const int64_t tick = ((bar - 1) * perBar + beat - 1) * song.TicksPerQuarter();
        if (tick > INT32_MAX) return std::nullopt;
        ms = song.TickToMs(static_cast<int32_t>(tick));
    }
    if (ms > song.TotalMs) return std::nullopt;
    return static_cast<int32_t>(ms);
}

struct LoopOptions {
    std::optional<int> count;  // --loop-count; kEndlessLoops for endless
    std::optional<int> fade;   // --fade, seconds
    std::optional<std::string> ab;
};

// --loop-count N|endless, --fade S and --ab A,B; false with the complaint printed.
bool ReadLoopOptions(const Args& a, const char* cmd, LoopOptions& o) {
    const std::string prefix = std::string("sonfara-cli ") + cmd + ": ";
    if (auto text = a.Value("loop-count")) {
        auto v = *text == "endless" ? std::optional<long>(kEndlessLoops) : ParseInt(*text);
        if (!v || *v < 0 || *v > kEndlessLoops) {
            std::cerr << prefix << "--loop-count takes 0 to 9, or endless\n";
            return false;
        }
        o.count = static_cast<int>(*v);
    }
    int fade = -1;
    if (!IntOption(a, "fade", 0, 60, (prefix + "--fade takes 0 to 60 seconds").c_str(), fade))
        return false;
    if (fade >= 0) o.fade = fade;
    o.ab = a.Value("ab");
    return true;
}

// --ab on the song now loaded. With a finite --loop-count the section stands
// in for the song's loop points (repeated, then the song plays on or fades);
// otherwise it is the player's A-B repeat, which a render may not take since
// it never ends. 0, or the exit status with the message printed.
int ApplyAbOption(const LoopOptions& o, const char* cmd, PlaybackSession& s, bool mustEnd) {
    if (!o.ab) return 0;
    const std::string prefix = std::string("sonfara-cli ") + cmd + ": ";
    const bool asLoop = o.count && *o.count > 0 && *o.count < kEndlessLoops;
    if (mustEnd && !asLoop) {
        std::cerr << prefix << "--ab needs --loop-count 1 to 9 (a render has to end)\n";
        return 2;
    }
    const SongTable& song = s.Library().Song();
    const size_t comma = o.ab->find(',');
    const auto a = SongPosition(o.ab->substr(0, comma), song);
    const auto b =
        comma == std::string::npos ? std::nullopt : SongPosition(o.ab->substr(comma + 1), song);
    const bool ok =
        a && b && (asLoop ? s.Transport().SetLoopSection(*a, *b) : s.Transport().SetAB(*a, *b));
    if (!ok) {
        std::cerr << prefix << "--ab takes A,B as m:ss.mmm or bar.beat, B at least " << kMinLoopMs
                  << " ms after A and within the song (" << MinSec(song.TotalMs) << ")\n";
        return 2;
    }
    return 0;
}

// The loop state for the status line: "A-B", "loop 1/2", "loop 3/∞", "fade".
std::string LoopText(const SessionSnapshot& s) {
    if (s.pointA >= 0 && s.pointB >= 0) return "A-B";
    if (s.loopStartMs < 0 || s.loopCount == 0) return "";
    if (s.fading) return "fade";
    const std::string of = s.loopCount >= kEndlessLoops ? "∞" : std::to_string(s.loopCount);
    return "loop " + std::to_string(std::min(s.loopsDone, s.loopCount)) + "/" + of;
}

int ListPorts(SystemMidiOutput& ports) {
    auto names = ports.PortNames();
    std::printf("-1: MIDI Mapper (%s)\n",
                ports.SoundFont().path.empty() ? "the first port" : SystemMidiOutput::kSynthName);
    for (size_t i = 0; i < names.size(); ++i) std::printf("%zu: %s\n", i, names[i].c_str());
    if (!ports.RtMidiProblem().empty())
        std::fprintf(stderr, "MIDI ports: %s\n", ports.RtMidiProblem().c_str());
    if (ports.SoundFont().path.empty())
        std::fprintf(stderr, "%s\n", NoSoundFontMessage(ports.SoundFont()).c_str());
    return 0;
}

// --- Offline rendering ---------------------------------------------------------

// The one synthesizer of a render, handed out as the only port.
class OfflineSynthSystem final : public MidiOutputSystem {
  public:
    explicit OfflineSynthSystem(SynthPort& synth) : synth_(synth) {}
    std::vector<std::string> PortNames() override { return {SystemMidiOutput::kSynthName}; }
    PortOpenResult Open(int device) override {
        PortOpenResult r;
        if (device != kMapper && device != 0) {
            r.error = PortError::kNoDevice;
            return r;
        }
        r.port = std::make_unique<Forward>(synth_);
        return r;
    }

  private:
    class Forward final : public MidiOutPort {
      public:
        explicit Forward(SynthPort& s) : s_(s) {}
        void ShortMessage(uint32_t packed) override { s_.ShortMessage(packed); }
        void LongMessage(std::span<const uint8_t> b) override { s_.LongMessage(b); }
        void Reset() override { s_.Reset(); }
        void Close() override {}

      private:
        SynthPort& s_;
    };
    SynthPort& synth_;
};

class WavWriter {
  public:
    bool Open(const std::string& path, int rate) {
        f_ = std::fopen(path.c_str(), "wb");
        rate_ = rate;
        if (!f_) return false;
        uint8_t header[44] = {};
        return std::fwrite(header, 1, 44, f_) == 44;
    }
    bool Write(const int16_t* frames, size_t n) {
        // WAV data is little-endian, as is every machine this builds for.
        ok_ = ok_ && std::fwrite(frames, 4, n, f_) == n;
        frames_ += n;
        return ok_;
    }
    bool Close() {
        if (!f_) return false;
        uint32_t data = static_cast<uint32_t>(frames_ * 4);
        uint8_t h[44];
        auto put32 = [&](int at, uint32_t v) {
            for (int i = 0; i < 4; ++i) h[at + i] = static_cast<uint8_t>(v >> (8 * i));
        };
        auto put16 = [&](int at, uint16_t v) {
            h[at] = static_cast<uint8_t>(v);
            h[at + 1] = static_cast<uint8_t>(v >> 8);
        };
        std::memcpy(h, "RIFF", 4);
        put32(4, 36 + data);
        std::memcpy(h + 8, "WAVEfmt ", 8);
        put32(16, 16);
        put16(20, 1);  // PCM
        put16(22, 2);
        put32(24, static_cast<uint32_t>(rate_));
        put32(28, static_cast<uint32_t>(rate_) * 4);
        put16(32, 4);
        put16(34, 16);
        std::memcpy(h + 36, "data", 4);
        put32(40, data);
        ok_ = ok_ && std::fseek(f_, 0, SEEK_SET) == 0 && std::fwrite(h, 1, 44, f_) == 44;
        ok_ = (std::fclose(f_) == 0) && ok_;
        f_ = nullptr;
        return ok_;
    }
    uint64_t Frames() const { return frames_; }

  private:
    std::FILE* f_ = nullptr;
    int rate_ = 44100;
    uint64_t frames_ = 0;
    bool ok_ = true;
};

}  // namespace

int RunPlay(const std::vector<std::string>& words) {
    Args a = ParseArgs(words,
                       {"port", "repeat", "speed", "transpose", "soundfont", "codepage",
                        "arrangement", "eq", "settings", "loop-count", "fade", "ab"},
                       {"list-ports", "no-settings"});
    const char* usage =
        "usage: sonfara-cli play PATH... [--port NAME|--list-ports] [--repeat 0-3] [--speed PCT]\n"
        "                        [--transpose N] [--soundfont PATH] [--arrangement NAME] [--eq "
        "NAME]\n"
        "                        [--loop-count N|endless] [--fade S] [--ab A,B]\n"
        "                        [--settings FILE|--no-settings]\n";
    if (!a.error.empty()) {
        std::cerr << "sonfara-cli play: " << a.error << "\n" << usage;
        return 2;
    }
    SystemPortOptions po;
    po.soundFont = a.Value("soundfont").value_or("");
    SystemMidiOutput ports(po);
    if (a.Flag("list-ports")) return ListPorts(ports);
    if (a.positional.empty()) {
        std::cerr << usage;
        return 2;
    }
    int speed = 100, transpose = 0, repeatMode = -1;
    if (!IntOption(a, "speed", 10, 1000,
                   "sonfara-cli play: --speed takes a percentage from 10 to 1000", speed) ||
        !IntOption(a, "transpose", -24, 24,
                   "sonfara-cli play: --transpose takes -24 to 24 semitones", transpose) ||
        !IntOption(a, "repeat", 0, 3, "sonfara-cli play: --repeat takes 0, 1, 2 or 3",
                   repeatMode)) {
        return 2;
    }
    LoopOptions loops;
    if (!ReadLoopOptions(a, "play", loops)) return 2;

    const CodePage& cp = CliCodePage(a);
    CliSession c;
    if (!c.WorkOk()) return 1;
    if (int rc = OpenStore(a, "play", c.store)) return rc;
    ThreadTimerService timers;
    ManualUiScheduler ui;
    MakeSession(c, SteadyClock::Instance(), timers, ports, ui, cp);
    PlaybackSession& session = *c.session;
    if (int rc = SelectShaping(a, "play", session, cp)) return rc;

    SettingsValues values = session.Settings().Values();
    if (auto p = a.Value("port")) {
        values.MIDIOutPort = *p;
        values.OutDevice = ports.DeviceByName(*p);
    }
    const std::string portName =
        values.OutDevice >= 0 ? values.MIDIOutPort : std::string(kMidiMapper);
    if (values.OutDevice == MidiOutputSystem::kUnknownDevice) {
        std::cerr << sequencer::msg::NoSuchPort(values.MIDIOutPort) << "\n";
        for (const auto& n : ports.PortNames()) std::cerr << "  " << n << "\n";
        return 1;
    }
    if (int rc = ListSongs(a, "play", c, cp)) return rc;
    const int count = session.Library().List().Count();
    const RepeatMode stored = values.RepeatMode;
    if (repeatMode >= 0) {
        values.RepeatMode = RepeatMode(repeatMode);  // --repeat took 0..3
    } else if (stored != RepeatMode::kSong && stored != RepeatMode::kRandom) {
        // Unless repeating was chosen, a single song plays once and a list
        // plays through once.
        values.RepeatMode = count == 1 ? RepeatMode::kStopAtEnd : RepeatMode::kList;
    }
    values.LoopCount = loops.count.value_or(values.LoopCount);
    values.LoopFade = loops.fade.value_or(values.LoopFade);
    session.Settings().Edit([&](SettingsValues& v) { v = values; });
    session.Transport().SetSpeedPercent(speed);
    session.Transport().SetTranspose(transpose);

    PlayState state;
    state.playOnce = values.RepeatMode == RepeatMode::kList && repeatMode < 0 && count > 1;
    state.session = &session;
    state.tty = isatty(STDERR_FILENO);
    session.AddObserver(&state);

    InstallSignals();
    // The first song that loads starts the list; unreadable ones are passed over.
    bool playing = false;
    for (int i = 1; i <= count && !playing && !gStop; ++i) {
        playing = session.Library().PlayEntry(i);
        if (!playing && session.Library().PortFailed()) {
            std::cerr << Localized(session.Library().LastError()) << "\n";
            if (portName == kMidiMapper || portName == SystemMidiOutput::kSynthName)
                std::cerr << Localized(cli::msg::kRenderHint)
                          << "sonfara-cli render FILE -o OUT.wav\n";
            session.RemoveObserver(&state);
            return kExitNoPort;
        }
    }
    state.failedOpen = false;
    if (!playing) {
        session.RemoveObserver(&state);
        session.Shutdown();
        return gStop ? SignalExitStatus() : 1;
    }
    if (int rc = ApplyAbOption(loops, "play", session, false)) {
        session.RemoveObserver(&state);
        session.Shutdown();
        return rc;
    }

    // No status line over the monitor's own lines on the same terminal.
    const bool tty = isatty(STDERR_FILENO) &&
                     !(portName == SystemMidiOutput::kMonitorName && isatty(STDOUT_FILENO));
    auto lastStatus = std::chrono::steady_clock::now() - std::chrono::seconds(1);
    while (!gStop.load() && !state.stoppedAtEnd) {
        ui.RunPending();
        if (state.failedOpen && !session.Snapshot().playing && !ui.Pending()) {
            // The next song of the list could not be opened: go on past it.
            state.failedOpen = false;
            if (session.Library().PortFailed()) {
                std::cerr << Localized(session.Library().LastError()) << "\n";
                break;
            }
            if (count <= 1 || state.failuresInRow >= count) break;
            if (state.playOnce && state.attempted >= count) break;
            session.Library().Next();
        }
        auto now = std::chrono::steady_clock::now();
        if (tty && now - lastStatus >= std::chrono::milliseconds(100)) {
            lastStatus = now;
            const SessionSnapshot s = session.Snapshot();
            char line[256];
            std::snprintf(line, sizeof line, "%s / %s  %4d:%02d  ♩=%s  %d%%  %s",
                          MinSec(s.positionMs).c_str(), MinSec(s.totalMs).c_str(), s.bar + 1,
                          s.beat, s.bpmText.empty() ? "120" : s.bpmText.c_str(), s.speedPercent,
                          ModuleText(s).c_str());
            const std::string loop = LoopText(s);
            std::string text = std::string(line) + (loop.empty() ? "" : "  " + loop) + "  " +
                               CutUtf8(s.displayTextUtf8, 40);
            std::fprintf(stderr, "\r\033[K%s", text.c_str());
            std::fflush(stderr);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    session.RemoveObserver(&state);
    session.Shutdown();
    if (tty) std::fprintf(stderr, "\r\033[K");
    if (gStop.load()) {
        std::fprintf(stderr, "stopped\n");
        return SignalExitStatus();
    }
    return 0;
}

int RunRender(const std::vector<std::string>& words) {
    Args a = ParseArgs(words,
                       {"o", "output", "soundfont", "rate", "codepage", "arrangement", "eq",
                        "settings", "entry", "loop-count", "fade", "ab"},
                       {"no-settings"});
    const char* usage =
        "usage: sonfara-cli render PATH -o OUT.wav [--entry N] [--soundfont PATH] [--rate HZ]\n"
        "                          [--arrangement NAME] [--eq NAME] [--loop-count N] [--fade S]\n"
        "                          [--ab A,B] [--settings FILE|--no-settings]\n";
    std::string outPath = a.Value("o").value_or(a.Value("output").value_or(""));
    if (!a.error.empty() || a.positional.size() != 1 || outPath.empty()) {
        if (!a.error.empty()) std::cerr << "sonfara-cli render: " << a.error << "\n";
        std::cerr << usage;
        return 2;
    }
    int rate = 44100, entry = 1;
    if (!IntOption(a, "rate", 8000, 192000, "sonfara-cli render: --rate takes 8000 to 192000 Hz",
                   rate) ||
        !IntOption(a, "entry", 1, INT32_MAX,
                   "sonfara-cli render: --entry takes a song number from 1", entry)) {
        return 2;
    }
    LoopOptions loops;
    if (!ReadLoopOptions(a, "render", loops)) return 2;
    SoundFontSearch sf = FindSoundFont(a.Value("soundfont").value_or(""));
    if (sf.path.empty()) {
        std::cerr << NoSoundFontMessage(sf) << "\n";
        return 1;
    }
    std::string err;
    auto synth = SynthPort::OpenOffline(sf.path, rate, &err);
    if (!synth) {
        std::cerr << err << "\n";
        return 1;
    }

    const CodePage& cp = CliCodePage(a);
    CliSession c;
    if (!c.WorkOk()) return 1;
    if (int rc = OpenStore(a, "render", c.store)) return rc;
    // Virtual time: the same tick runs at every due moment, and the
    // synthesizer renders the audio in between.
    ManualClock clock(0);
    ManualTimerService timers(clock);
    ManualUiScheduler ui;
    OfflineSynthSystem ports(*synth);
    MakeSession(c, clock, timers, ports, ui, cp);
    PlaybackSession& session = *c.session;
    if (int rc = SelectShaping(a, "render", session, cp)) return rc;
    if (int rc = ListSongs(a, "render", c, cp)) return rc;
    const int count = session.Library().List().Count();
    if (entry > count) {
        std::cerr << "sonfara-cli render: --entry " << entry << " but the path holds " << count
                  << (count == 1 ? " song\n" : " songs\n");
        return 2;
    }
    if (count > 1 && !a.Value("entry"))
        std::cerr << "render: " << count << " songs; rendering the first (--entry N for another)\n";
    session.Settings().Edit([&](SettingsValues& v) {
        v.RepeatMode = RepeatMode::kStopAtEnd;
        v.MIDIOutPort = kMidiMapper;
        v.OutDevice = -1;
        v.LoopCount = loops.count.value_or(v.LoopCount);
        v.LoopFade = loops.fade.value_or(v.LoopFade);
    });
    if (!session.Library().PlayEntry(entry)) {
        if (session.Library().PortFailed())
            std::cerr << Localized(session.Library().LastError()) << "\n";
        else if (!session.Library().LastError().empty())
            std::cerr << Localized(session.Library().LastError()) << ": "
                      << session.Library().List().Entry(entry).FileName << "\n";
        return 1;
    }
    int refused = ApplyAbOption(loops, "render", session, true);
    if (!refused && session.Snapshot().loopedTotalMs < 0) {
        std::cerr << "sonfara-cli render: the song loops endlessly; give --loop-count 0 to 9\n";
        refused = 2;
    }
    if (refused) {
        session.Shutdown();  // before the timers and ports it plays through go
        return refused;
    }
    WavWriter wav;
    if (!wav.Open(outPath, rate)) {
        std::cerr << Localized(cli::msg::kCannotWrite) << outPath << " (" << std::strerror(errno)
                  << ")\n";
        return 1;
    }
    InstallSignals();
    const bool tty = isatty(STDERR_FILENO);
    // Through the loops: the length they give, not the song's.
    const double totalMs = std::max(1, session.Snapshot().loopedTotalMs);
    std::vector<int16_t> buf(2 * 4096);
    uint64_t done = 0;
    auto renderTo = [&](uint64_t target) {
        while (done < target) {
            int n = static_cast<int>(std::min<uint64_t>(4096, target - done));
            synth->Render(buf.data(), n);
            if (!wav.Write(buf.data(), static_cast<size_t>(n))) return false;
            done += static_cast<uint64_t>(n);
        }
        return true;
    };
    int lastPct = -1;
    bool ok = true;
    while (ok && timers.Active() && !gStop.load()) {
        const int64_t due = timers.NextDueUs();
        ok = renderTo(static_cast<uint64_t>(due) * static_cast<uint64_t>(rate) / 1000000u);
        timers.FireNext();
        ui.RunPending();
        if (tty) {
            const SessionSnapshot s = session.Snapshot();
            int pct = static_cast<int>(std::min(100.0, s.loopedPositionMs * 100.0 / totalMs));
            if (pct != lastPct) {
                lastPct = pct;
                std::fprintf(stderr, "\rrender: %3d%%  %s / %s", pct,
                             MinSec(s.loopedPositionMs).c_str(), MinSec(s.loopedTotalMs).c_str());
                std::fflush(stderr);
            }
        }
    }
    // The release tail, before the stop-at-end action resets the synthesizer
    // (its GM System On would cut the last notes off): until the output has
    // stayed near silence for 0.3 s (or no voice sounds), at most 3 s.
    const uint64_t tailMax = static_cast<uint64_t>(rate) * 3,
                   quietNeeded = static_cast<uint64_t>(rate) * 3 / 10;
    uint64_t tail = 0, quiet = 0;
    while (ok && !gStop.load() && tail < tailMax && quiet < quietNeeded) {
        const int n = 1024;
        synth->Render(buf.data(), n);
        int peak = 0;
        for (int i = 0; i < 2 * n; ++i) peak = std::max(peak, std::abs(static_cast<int>(buf[i])));
        quiet = peak <= 8 ? quiet + n : 0;
        if (synth->ActiveVoices() == 0 && peak <= 8) quiet = quietNeeded;
        ok = wav.Write(buf.data(), n);
        done += n;
        tail += n;
    }
    ui.RunPending();
    session.Shutdown();
    ok = wav.Close() && ok;
    if (tty) std::fprintf(stderr, "\r\033[K");
    if (!ok) {
        std::cerr << Localized(cli::msg::kCannotWrite) << outPath << "\n";
        return 1;
    }
    if (gStop.load()) {
        std::cerr << "stopped; partial file written: " << outPath << "\n";
        return SignalExitStatus();
    }
    std::fprintf(stderr, "%s: %.1f s of audio (%d Hz, %s)\n", outPath.c_str(),
                 static_cast<double>(wav.Frames()) / rate, rate, sf.path.c_str());
    return 0;
}

}  // namespace sonfara::cli
