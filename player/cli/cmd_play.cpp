// sonfara-cli play and render: the engine's player in real time through a
// MIDI port or the built-in synthesizer, or offline into audio files.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string_view>
#include <thread>

#include "player/cli/cli_common.h"
#include "player/cli/commands.h"
#include "player/cli/render_batch.h"
#include "player/files/paths.h"
#include "player/files/shaping_catalog.h"
#include "player/files/work_folder.h"
#include "player/platform/system_ports.h"
#include "player/platform/user_files.h"
#include "player/sequencer/messages.h"
#include "player/session/audio_export.h"
#include "player/session/engine_settings.h"
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

std::string CaptionList(const std::vector<std::string>& captions) {
    std::string s;
    for (size_t i = 0; i < captions.size(); ++i)
        s += "\n  " + std::to_string(i + 1) + ": " + captions[i];
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
    std::unique_ptr<settings::SettingsStore> store;
    std::unique_ptr<session::PlaybackSession> session;

    // False, with the reason printed, when the work folder is not safe to use.
    bool WorkOk() const {
        if (!work.Ok())
            std::cerr << platform::Localized(files::msg::kWorkFolderUnsafe) << work.Error() << "\n";
        return work.Ok();
    }
};

// 0 when the store is open (or --no-settings), else the exit status.
int OpenStore(const Args& a, const char* cmd, std::unique_ptr<settings::SettingsStore>& out) {
    if (a.Flag("no-settings")) return 0;
    const auto given = a.Value("settings");
    const std::string path = given.value_or(settings::IniSettingsStore::DefaultPath());
    if (given && !files::FileExists(path)) {
        std::cerr << "sonfara-cli " << cmd << ": no settings file " << path << "\n";
        return 2;
    }
    settings::SettingsOpenReport report;
    // A damaged file stays where it is for the player to set aside.
    out = settings::IniSettingsStore::Open(path, false, &report);
    if (report.status == settings::SettingsOpenReport::Status::kDamagedKept ||
        report.status == settings::SettingsOpenReport::Status::kSetAside)
        std::cerr << "sonfara-cli " << cmd << ": settings file " << path
                  << " unreadable, defaults used (" << report.message << ")\n";
    return 0;
}

void MakeSession(CliSession& c, const platform::Clock& clock, platform::TimerService& timers,
                 platform::MidiOutputSystem& ports, sequencer::UiScheduler& ui,
                 const platform::CodePage& cp) {
    session::SessionEnv env{clock, timers, ports, ui, cp, c.notifier, c.work.Path()};
    env.settingsStore = c.store.get();
    env.saveSettings = false;
    env.shapingFolders = files::DefaultShapingFolders(platform::ProgramFolder());
    c.session = std::make_unique<session::PlaybackSession>(std::move(env));
}

// --arrangement and --eq win over the stored selection; "none" clears it.
// 0, or the exit status with the message printed.
int SelectShaping(const Args& a, const char* cmd, session::PlaybackSession& s) {
    const files::ShapingCatalog& catalog = s.Output().Catalog();
    if (auto name = a.Value("arrangement")) {
        const int item = *name == "none" ? 0 : files::FindArrangementItem(catalog, *name);
        if (item == 0 && *name != "none") {
            std::cerr << "sonfara-cli " << cmd << ": no arrangement named '" << *name
                      << "'; arrangements:" << CaptionList(catalog.ArrangementMenuCaptions())
                      << "\n";
            return 2;
        }
        s.Output().SelectArrangement(item);
    }
    if (auto name = a.Value("eq")) {
        const int item = *name == "none" ? 0 : files::FindEqItem(catalog, *name);
        if (item == 0 && *name != "none") {
            std::cerr << "sonfara-cli " << cmd << ": no EQ preset named '" << *name
                      << "'; EQ presets:" << CaptionList(catalog.EqMenuCaptions()) << "\n";
            return 2;
        }
        s.Output().SelectEq(item);
    }
    return 0;
}

// Lists the songs the paths give (folders as the folder command finds
// them); 0, or 1 with "nothing to play".
int ListSongs(const Args& a, const char* cmd, CliSession& c, const platform::CodePage& cp) {
    files::FileContext ctx{c.notifier, c.work.Path(), cp};
    std::vector<std::string> empty;
    const std::vector<std::string> paths = files::WithFolderSongs(a.positional, ctx, &empty);
    for (const std::string& f : empty)
        std::cerr << "sonfara-cli " << cmd << ": no songs in " << f << "\n";
    c.session->Songs().OpenPaths(paths, session::OpenMode::kListOnly);
    if (c.session->Lists().List().Count() == 0) {
        std::cerr << "sonfara-cli " << cmd << ": nothing to play\n";
        return 1;
    }
    return 0;
}

std::string ModuleText(const session::SessionSnapshot& s) {
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

struct PlayState : session::SessionObserver {
    bool playOnce = false;  // several files without --repeat: the list once
    bool tty = false;
    int attempted = 0;      // entries opened or tried
    int failuresInRow = 0;  // a list of unreadable files must not cycle forever
    bool stoppedAtEnd = false;
    bool failedOpen = false;
    session::PlaybackSession* session = nullptr;

    int ListCount() const { return session->Lists().List().Count(); }
    void OnSongOpened(int index, bool ok, const std::string& text) override {
        ++attempted;
        if (!ok) {
            failedOpen = true;
            ++failuresInRow;
            // The port's message is the command's to print, once.
            if (!text.empty() && !session->Songs().PortFailed())
                std::fprintf(stderr, "%s: %s\n", text.c_str(),
                             session->Lists().List().Entry(index).FileName.c_str());
            return;
        }
        failuresInRow = 0;
        const session::SessionSnapshot s = session->Snapshot();
        std::string length = MinutesSeconds(s.totalMs);
        if (s.loops.totalMs != s.totalMs)
            length += s.loops.totalMs < 0 ? ", loops endlessly"
                                          : ", " + MinutesSeconds(s.loops.totalMs) + " with loops";
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
std::optional<int32_t> SongPosition(const std::string& text, const song::SongTable& song) {
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
        auto v =
            *text == "endless" ? std::optional<long>(sequencer::kEndlessLoops) : ParseInt(*text);
        if (!v || *v < 0 || *v > sequencer::kEndlessLoops) {
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

// Whether --ab is a loop section (a finite --loop-count) rather than the
// player's A-B repeat, which the stored loop count counts (or never ends).
bool AbIsLoop(const LoopOptions& o) {
    return o.count && *o.count > 0 && *o.count < sequencer::kEndlessLoops;
}

// --ab on the song now loaded. As a loop section it stands in for the
// song's loop points (repeated, then the song plays on or fades); otherwise
// it is the player's A-B repeat. "" or the complaint.
std::string ApplyAb(const LoopOptions& o, session::PlaybackSession& s) {
    if (!o.ab) return {};
    const song::SongTable& song = s.Songs().Song();
    const size_t comma = o.ab->find(',');
    const auto a = SongPosition(o.ab->substr(0, comma), song);
    const auto b =
        comma == std::string::npos ? std::nullopt : SongPosition(o.ab->substr(comma + 1), song);
    const bool ok =
        a && b &&
        (AbIsLoop(o) ? s.Transport().SetLoopSection(*a, *b) : s.Transport().SetAB(*a, *b));
    if (ok) return {};
    return "--ab takes A,B as m:ss.mmm or bar.beat, B at least " +
           std::to_string(song::kMinLoopMs) + " ms after A and within the song (" +
           MinutesSeconds(song.TotalMs) + ")";
}

// A render has to end: --ab only as a loop section. False with the complaint printed.
bool AbCanEnd(const LoopOptions& o) {
    if (!o.ab || AbIsLoop(o)) return true;
    std::cerr << "sonfara-cli render: --ab needs --loop-count 1 to 9 (a render has to end)\n";
    return false;
}

// The loop state for the status line: "A-B", "loop 1/2", "loop 3/∞", "fade".
std::string LoopText(const session::SessionSnapshot& s) {
    if (s.loops.pointA >= 0 && s.loops.pointB >= 0) return "A-B";
    if (s.loops.startMs < 0 || s.loops.count == 0) return "";
    if (s.loops.fading) return "fade";
    const std::string of =
        s.loops.count >= sequencer::kEndlessLoops ? "∞" : std::to_string(s.loops.count);
    return "loop " + std::to_string(std::min(s.loops.done, s.loops.count)) + "/" + of;
}

int ListPorts(platform::SystemMidiOutput& ports) {
    auto names = ports.PortNames();
    std::printf("-1: MIDI Mapper (%s)\n", ports.SoundFont().path.empty()
                                              ? "the first port"
                                              : platform::SystemMidiOutput::kSynthName);
    for (size_t i = 0; i < names.size(); ++i) std::printf("%zu: %s\n", i, names[i].c_str());
    if (!ports.RtMidiProblem().empty())
        std::fprintf(stderr, "MIDI ports: %s\n", ports.RtMidiProblem().c_str());
    if (ports.SoundFont().path.empty())
        std::fprintf(stderr, "%s\n", platform::NoSoundFontMessage(ports.SoundFont()).c_str());
    return 0;
}

// --- Offline rendering ---------------------------------------------------------

// The ports a render's listing session sees: the synthesizer's name only.
// The songs play in the export jobs' own sessions.
class ListingPorts final : public platform::MidiOutputSystem {
  public:
    std::vector<std::string> PortNames() override {
        return {platform::SystemMidiOutput::kSynthName};
    }
    platform::PortOpenResult Open(int) override {
        platform::PortOpenResult r;
        r.error = platform::PortError::kNoDevice;
        return r;
    }
};

struct RenderOptions {
    int rate = 44100;
    int entry = 1;
    int jobs = 1;
    std::optional<session::AudioFormat> format;  // --format
};

// 0, or the exit status with the complaint printed.
int ReadRenderOptions(const Args& a, RenderOptions& o) {
    o.jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    if (!IntOption(a, "rate", 8000, 192000, "sonfara-cli render: --rate takes 8000 to 192000 Hz",
                   o.rate) ||
        !IntOption(a, "entry", 1, INT32_MAX,
                   "sonfara-cli render: --entry takes a song number from 1", o.entry) ||
        !IntOption(a, "jobs", 1, 64, "sonfara-cli render: --jobs takes 1 to 64", o.jobs)) {
        return 2;
    }
    if (auto name = a.Value("format")) {
        o.format = session::AudioFormatNamed(*name);
        if (!o.format) {
            std::cerr << "sonfara-cli render: --format takes wav, flac or ogg\n";
            return 2;
        }
    }
    return 0;
}

// -o names a folder when it is one, ends in '/', or has no audio file
// extension while several songs are rendered whole (no --entry).
bool OutputIsFolder(const Args& a, const std::string& out, int songs) {
    if (files::FolderExists(out) || out.back() == '/') return true;
    return !session::AudioFormatOfPath(out) && !a.Value("entry") &&
           (songs > 1 || a.positional.size() > 1);
}

bool EntryHeld(int entry, int count) {
    if (entry <= count) return true;
    std::cerr << "sonfara-cli render: --entry " << entry << " but the path holds " << count
              << (count == 1 ? " song\n" : " songs\n");
    return false;
}

// -o FILE: the one song, --entry N or the first. 0, or the exit status.
int PlanOneSong(const Args& a, const files::PlayList& list, int entry, const std::string& out,
                std::vector<RenderTask>& tasks) {
    if (!EntryHeld(entry, list.Count())) return 2;
    if (list.Count() > 1 && !a.Value("entry"))
        std::cerr << "render: " << list.Count()
                  << " songs; rendering the first (--entry N for another)\n";
    tasks.push_back({list.Entry(entry), out});
    return 0;
}

// -o FOLDER: every song (or --entry N), each named after its song.
int PlanFolder(const Args& a, const files::PlayList& list, int entry, const std::string& folder,
               session::AudioFormat format, std::vector<RenderTask>& tasks) {
    std::vector<files::FileEntry> songs = list.Entries();
    if (a.Value("entry")) {
        if (!EntryHeld(entry, list.Count())) return 2;
        songs = {list.Entry(entry)};
    }
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!files::FolderExists(folder)) {
        std::cerr << "sonfara-cli render: cannot make the folder " << folder << "\n";
        return 1;
    }
    const std::vector<std::string> paths =
        OutputPaths(songs, folder, session::AudioFormatExtension(format));
    for (size_t i = 0; i < songs.size(); ++i) tasks.push_back({songs[i], paths[i]});
    return 0;
}

// The songs and the request they share, from a listing session: the stored
// settings, --arrangement and --eq, the play list the paths make. Each song
// then plays in an export job of its own. 0, or the exit status.
int PlanRender(const Args& a, const RenderOptions& opt, const LoopOptions& loops,
               const std::string& out, CliSession& c, std::vector<RenderTask>& tasks,
               session::AudioExportRequest& proto, bool& folder) {
    const platform::CodePage& cp = CliCodePage(a);
    platform::ManualClock clock(0);
    platform::ManualTimerService timers(clock);
    sequencer::ManualUiScheduler ui;
    ListingPorts ports;
    MakeSession(c, clock, timers, ports, ui, cp);
    // It goes before the platform pieces it was made with.
    struct Drop {
        CliSession& c;
        ~Drop() { c.session.reset(); }
    } drop{c};
    session::PlaybackSession& listing = *c.session;
    if (int rc = SelectShaping(a, "render", listing)) return rc;
    if (int rc = ListSongs(a, "render", c, cp)) return rc;
    const files::PlayList& list = listing.Lists().List();
    folder = OutputIsFolder(a, out, list.Count());
    proto.format = opt.format.value_or(
        folder ? session::AudioFormat::kWav
               : session::AudioFormatOfPath(out).value_or(session::AudioFormat::kWav));
    proto.sampleRate = opt.rate;
    proto.values = listing.Settings().Values();
    proto.values.loopCount = loops.count.value_or(proto.values.loopCount);
    proto.values.loopFadeSeconds = loops.fade.value_or(proto.values.loopFadeSeconds);
    // --ab in each song's own bars, and nothing that never ends.
    proto.onOpened = [loops](session::PlaybackSession& s) {
        std::string complaint = ApplyAb(loops, s);
        if (complaint.empty() && s.Snapshot().loops.totalMs < 0)
            complaint = "the song loops endlessly; give --loop-count 0 to 9";
        return complaint;
    };
    proto.shapingFolders = files::DefaultShapingFolders(platform::ProgramFolder());
    proto.workFolder = c.work.Path();
    proto.codePage = &cp;
    return folder ? PlanFolder(a, list, opt.entry, out, proto.format, tasks)
                  : PlanOneSong(a, list, opt.entry, out, tasks);
}

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
    platform::SystemPortOptions po;
    po.soundFont = a.Value("soundfont").value_or("");
    platform::SystemMidiOutput ports(po);
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

    const platform::CodePage& cp = CliCodePage(a);
    CliSession c;
    if (!c.WorkOk()) return 1;
    if (int rc = OpenStore(a, "play", c.store)) return rc;
    platform::ThreadTimerService timers;
    sequencer::ManualUiScheduler ui;
    MakeSession(c, platform::SteadyClock::Instance(), timers, ports, ui, cp);
    session::PlaybackSession& session = *c.session;
    if (int rc = SelectShaping(a, "play", session)) return rc;

    settings::SettingsValues values = session.Settings().Values();
    if (auto p = a.Value("port")) {
        values.midiOutPort = *p;
        values.outDevice = ports.DeviceByName(*p);
    }
    const std::string portName =
        values.outDevice >= 0 ? values.midiOutPort : std::string(settings::kMidiMapper);
    if (values.outDevice == platform::MidiOutputSystem::kUnknownDevice) {
        std::cerr << sequencer::msg::NoSuchPort(values.midiOutPort) << "\n";
        for (const auto& n : ports.PortNames()) std::cerr << "  " << n << "\n";
        return 1;
    }
    if (int rc = ListSongs(a, "play", c, cp)) return rc;
    const int count = session.Lists().List().Count();
    const platform::RepeatMode stored = values.repeatMode;
    if (repeatMode >= 0) {
        values.repeatMode = platform::RepeatMode(repeatMode);  // --repeat took 0..3
    } else if (stored != platform::RepeatMode::kSong && stored != platform::RepeatMode::kRandom) {
        // Unless repeating was chosen, a single song plays once and a list
        // plays through once.
        values.repeatMode =
            count == 1 ? platform::RepeatMode::kStopAtEnd : platform::RepeatMode::kList;
    }
    values.loopCount = loops.count.value_or(values.loopCount);
    values.loopFadeSeconds = loops.fade.value_or(values.loopFadeSeconds);
    session.Settings().Edit([&](settings::SettingsValues& v) { v = values; });
    session.Transport().SetSpeedPercent(speed);
    session.Transport().SetTranspose(transpose);

    PlayState state;
    state.playOnce =
        values.repeatMode == platform::RepeatMode::kList && repeatMode < 0 && count > 1;
    state.session = &session;
    state.tty = isatty(STDERR_FILENO);
    session.AddObserver(&state);

    InstallSignals();
    // The first song that loads starts the list; unreadable ones are passed over.
    bool playing = false;
    for (int i = 1; i <= count && !playing && !gStop; ++i) {
        playing = session.Songs().PlayEntry(i);
        if (!playing && session.Songs().PortFailed()) {
            std::cerr << platform::Localized(session.Songs().LastError()) << "\n";
            if (portName == settings::kMidiMapper ||
                portName == platform::SystemMidiOutput::kSynthName)
                std::cerr << platform::Localized(cli::msg::kRenderHint)
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
    if (const std::string complaint = ApplyAb(loops, session); !complaint.empty()) {
        std::cerr << "sonfara-cli play: " << complaint << "\n";
        session.RemoveObserver(&state);
        session.Shutdown();
        return 2;
    }

    // No status line over the monitor's own lines on the same terminal.
    const bool tty =
        isatty(STDERR_FILENO) &&
        !(portName == platform::SystemMidiOutput::kMonitorName && isatty(STDOUT_FILENO));
    auto lastStatus = std::chrono::steady_clock::now() - std::chrono::seconds(1);
    while (!gStop.load() && !state.stoppedAtEnd) {
        ui.RunPending();
        if (state.failedOpen && !session.Snapshot().playing && !ui.Pending()) {
            // The next song of the list could not be opened: go on past it.
            state.failedOpen = false;
            if (session.Songs().PortFailed()) {
                std::cerr << platform::Localized(session.Songs().LastError()) << "\n";
                break;
            }
            if (count <= 1 || state.failuresInRow >= count) break;
            if (state.playOnce && state.attempted >= count) break;
            session.Songs().Next();
        }
        auto now = std::chrono::steady_clock::now();
        if (tty && now - lastStatus >= std::chrono::milliseconds(100)) {
            lastStatus = now;
            const session::SessionSnapshot s = session.Snapshot();
            char line[256];
            std::snprintf(line, sizeof line, "%s / %s  %4d:%02d  ♩=%s  %d%%  %s",
                          MinutesSeconds(s.positionMs).c_str(), MinutesSeconds(s.totalMs).c_str(),
                          s.bar + 1, s.beat, s.bpmText.empty() ? "120" : s.bpmText.c_str(),
                          s.speedPercent, ModuleText(s).c_str());
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
                        "settings", "entry", "format", "jobs", "loop-count", "fade", "ab"},
                       {"no-settings"});
    const char* usage =
        "usage: sonfara-cli render PATH -o OUT.wav|OUT.flac|OUT.ogg [--entry N]\n"
        "       sonfara-cli render PATH... -o FOLDER [--jobs N]\n"
        "         options: [--format wav|flac|ogg] [--soundfont PATH] [--rate HZ]\n"
        "                  [--arrangement NAME] [--eq NAME] [--loop-count N] [--fade S]\n"
        "                  [--ab A,B] [--settings FILE|--no-settings]\n";
    const std::string out = a.Value("o").value_or(a.Value("output").value_or(""));
    const bool severalToFile =
        a.positional.size() > 1 && session::AudioFormatOfPath(out) && !files::FolderExists(out);
    if (!a.error.empty() || a.positional.empty() || out.empty() || severalToFile) {
        if (!a.error.empty()) std::cerr << "sonfara-cli render: " << a.error << "\n";
        std::cerr << usage;
        return 2;
    }
    RenderOptions opt;
    if (int rc = ReadRenderOptions(a, opt)) return rc;
    LoopOptions loops;
    if (!ReadLoopOptions(a, "render", loops) || !AbCanEnd(loops)) return 2;
    platform::SoundFontSearch sf = platform::FindSoundFont(a.Value("soundfont").value_or(""));
    if (sf.path.empty()) {
        std::cerr << platform::NoSoundFontMessage(sf) << "\n";
        return 1;
    }
    CliSession c;
    if (!c.WorkOk()) return 1;
    if (int rc = OpenStore(a, "render", c.store)) return rc;
    std::vector<RenderTask> tasks;
    session::AudioExportRequest proto;
    bool folder = false;
    if (int rc = PlanRender(a, opt, loops, out, c, tasks, proto, folder)) return rc;
    // A SoundFont that does not load is told once, not once per song (a
    // single song's job tells it itself, without loading it twice).
    if (tasks.size() > 1) {
        if (const platform::OfflineSynth tried =
                platform::SynthPort::OpenOffline(sf.path, opt.rate);
            !tried.synth) {
            std::cerr << tried.status.Message() << "\n";
            return 1;
        }
    }
    proto.soundFont = sf.path;
    InstallSignals();
    const RenderOutcome done = RenderAll(tasks, proto, opt.jobs, folder, gStop);
    if (done.stopped) {
        std::cerr << "stopped\n";
        return SignalExitStatus();
    }
    if (folder)
        std::cerr << "rendered " << done.rendered << " of " << tasks.size() << " songs into " << out
                  << "\n";
    if (!folder && done.refused > 0) return 2;  // what the options asked cannot be rendered
    return done.failed + done.refused > 0 ? 1 : 0;
}

}  // namespace sonfara::cli
