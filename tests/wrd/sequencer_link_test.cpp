// The WRD presentation performed with the real sequencer: a song and its
// script on disk, the player on a manual clock and manual timers, the WRD
// window timer run every 50 ms, and the frame checked by pixels.
#include "player/wrd/sequencer_link.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "player/platform/midi_port.h"
#include "player/platform/timer.h"
#include "player/sequencer/player.h"
#include "tests/sequencer/smf_builder.h"
#include "tests/support_code/test_opener.h"

namespace sonfara::wrd {
namespace {

namespace fs = std::filesystem;
using test::BuildSmf;
using test::TrackBuilder;

constexpr uint32_t kWhite = 0xFFFFFF, kRed = 0xFF0000, kGreen = 0x00FF00;

// Division 500 without tempo events: one tick is one millisecond and a
// 4/4 measure (the script's step) is 2,000 ms.
//   0 ms  "A" at column 1        500 ms  red box (10,10)-(50,50)
//   1000  "B" at column 2        2000    green box (100,100)-(150,150)
//   2500  text cleared           song end 4000
const char* kScript =
    "@WAIT(1);\r\n"
    "A;\r\n"
    "@WAIT(1,48);\r\n"
    "@GLINE(10,10,50,50,2,2,2);\r\n"
    "@WAIT(1,96);\r\n"
    "B;\r\n"
    "@WAIT(2);\r\n"
    "@GLINE(100,100,150,150,4,2,4);\r\n"
    "@WAIT(2,48);\r\n"
    "@TCLS(0,0,0,0);\r\n";

std::vector<uint8_t> Song(int endMs) {
    TrackBuilder t;
    t.Ev(0, {0x90, 60, 100}).Ev(endMs - 100, {0x80, 60, 0});
    return BuildSmf(0, {t}, 500);
}

bool CellHasText(const Surface& f, int col, int row) {
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 8; ++x)
            if (f.Pixel(8 * (col - 1) + x, kBand + 16 * (row - 1) + y) == kWhite) return true;
    return false;
}
bool RedBox(const Surface& f) {
    return f.Pixel(30, kBand + 30) == kRed;
}
bool GreenBox(const Surface& f) {
    return f.Pixel(125, kBand + 125) == kGreen;
}
bool SameFrame(const Surface& a, const Surface& b) {
    for (int y = 0; y < a.Height(); ++y)
        if (std::memcmp(a.Row(y), b.Row(y), sizeof(uint32_t) * a.Width()) != 0) return false;
    return true;
}
std::string Describe(const Surface& f) {
    std::ostringstream s;
    s << "A=" << CellHasText(f, 1, 1) << " B=" << CellHasText(f, 2, 1) << " red=" << RedBox(f)
      << " green=" << GreenBox(f);
    return s.str();
}

fs::path TempDir(const std::string& tag) {
    fs::path d = fs::temp_directory_path() /
                 ("sonfara_wrdlink_" + std::to_string(::getpid()) + "_" + tag + "_" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(d);
    return d;
}

void WriteFile(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}
void WriteFile(const fs::path& p, const std::vector<uint8_t>& bytes) {
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// A player on manual time with the WRD link attached as its owner would:
// every song the player opens is handed to the link.
struct Rig : sequencer::PlayerObserver {
    explicit Rig(const fs::path& songPath, sequencer::PlaybackSettings s = {},
                 ExternalWrdPlayer* external = nullptr)
        : path(songPath.string()) {
        player = std::make_unique<sequencer::Player>(
            sequencer::PlayerEnv{clock, timers, ports, ui, cp}, s);
        opener = std::make_unique<test::TestOpener>(*player, test::TestOpener::Files(cp));
        link = std::make_unique<WrdSequencerLink>(player->Seq(), player->Song(), window, external);
        player->AddObserver(this);
    }
    ~Rig() override {
        link.reset();  // leaves the sequencer before the player goes
        opener.reset();
    }
    void OnSongOpened(int index, bool ok) override {
        if (ok)
            link->SongLoaded(opener->PathAt(index));
        else
            link->SongUnloaded();
    }
    void Open(std::vector<std::string> list = {}) {
        opener->Assign(list.empty() ? std::vector<std::string>{path} : list);
        ASSERT_TRUE(player->PlayEntry(1)) << opener->LastError();
        nextWrdUs = clock.NowUs() + 50'000;
    }
    int32_t Pos() const { return link->Clock().SongPositionMs(); }
    // Sequencer ticks, UI queue and the WRD timer for `ms` of clock time.
    void RunMs(int64_t ms) {
        const int64_t end = clock.NowUs() + ms * 1000;
        while (clock.NowUs() < end) {
            timers.RunUntilUs(std::min(end, clock.NowUs() + 1000));
            ui.RunPending();
            if (clock.NowUs() >= nextWrdUs) {
                link->Tick();
                nextWrdUs += 50'000;
            }
        }
    }
    // Plays until the song position reaches posMs; one more WRD tick there.
    void PlayTo(int32_t posMs) {
        for (int guard = 0; Pos() < posMs && guard < 100'000; ++guard) RunMs(1);
        link->Tick();
    }
    const Surface& Frame() const { return window.Frame(); }
    sequencer::Sequencer& Seq() { return player->Seq(); }

    std::string path;
    platform::ManualClock clock;
    platform::ManualTimerService timers{clock};
    platform::RecordingOutputSystem ports{clock};
    sequencer::ManualUiScheduler ui;
    platform::CodePage cp{"CP932"};
    HeadlessWrdWindow window;
    std::unique_ptr<sequencer::Player> player;
    std::unique_ptr<test::TestOpener> opener;
    std::unique_ptr<WrdSequencerLink> link;
    int64_t nextWrdUs = 0;
};

class WrdLink : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = TempDir("b");
        song = dir / "tune.mid";
        WriteFile(song, Song(4000));
        WriteFile(dir / "tune.wrd", std::string(kScript));
    }
    void TearDown() override { fs::remove_all(dir); }
    // The frame a fresh run shows when it reaches posMs.
    Surface FreshFrame(int32_t posMs) {
        Rig r(song);
        r.Open();
        r.PlayTo(posMs);
        return r.Frame();
    }
    fs::path dir, song;
};

TEST_F(WrdLink, PerformsInTimeWithTheSong) {
    Rig r(song);
    r.Open();
    EXPECT_TRUE(r.link->BuiltinWrdActive());
    EXPECT_FALSE(r.link->ExternalWrdActive());
    EXPECT_TRUE(r.window.Visible());
    EXPECT_TRUE(r.window.TimerRunning());

    r.PlayTo(250);
    EXPECT_EQ(Describe(r.Frame()), "A=1 B=0 red=0 green=0");
    r.PlayTo(480);
    EXPECT_FALSE(RedBox(r.Frame())) << "the box is due at 500 ms";
    r.PlayTo(750);
    EXPECT_EQ(Describe(r.Frame()), "A=1 B=0 red=1 green=0");
    r.PlayTo(1250);
    EXPECT_EQ(Describe(r.Frame()), "A=1 B=1 red=1 green=0");
    r.PlayTo(2250);
    EXPECT_EQ(Describe(r.Frame()), "A=1 B=1 red=1 green=1");
    r.PlayTo(3000);
    EXPECT_EQ(Describe(r.Frame()), "A=0 B=0 red=1 green=1");
    // The window's background bands stay black.
    EXPECT_EQ(r.Frame().Pixel(30, 10), 0u);
}

TEST_F(WrdLink, SeeksShowWhatAFreshRunShows) {
    const Surface at700 = FreshFrame(700), at2200 = FreshFrame(2200), at3200 = FreshFrame(3200);
    ASSERT_EQ(Describe(at700), "A=1 B=0 red=1 green=0");
    ASSERT_EQ(Describe(at2200), "A=1 B=1 red=1 green=1");
    ASSERT_EQ(Describe(at3200), "A=0 B=0 red=1 green=1");

    Rig r(song);
    r.Open();
    r.PlayTo(3000);
    // Backwards: the screen is redone at once, before any WRD tick.
    r.Seq().SeekTo(700);
    EXPECT_TRUE(SameFrame(r.Frame(), at700)) << Describe(r.Frame());
    r.RunMs(120);
    EXPECT_EQ(Describe(r.Frame()), "A=1 B=0 red=1 green=0");
    // Forwards, then playing on.
    r.Seq().SeekTo(2200);
    EXPECT_TRUE(SameFrame(r.Frame(), at2200)) << Describe(r.Frame());
    r.PlayTo(3200);
    EXPECT_TRUE(SameFrame(r.Frame(), at3200)) << Describe(r.Frame());

    // A seek while paused redoes the screen too, and stays there.
    r.Seq().PauseSong();
    r.Seq().SeekTo(700);
    EXPECT_TRUE(SameFrame(r.Frame(), at700));
    r.RunMs(1000);
    EXPECT_TRUE(SameFrame(r.Frame(), at700));
    r.Seq().ResumeSong();
    r.PlayTo(2200);
    EXPECT_TRUE(SameFrame(r.Frame(), at2200)) << Describe(r.Frame());
}

TEST_F(WrdLink, PauseKeepsTheFrame) {
    Rig r(song);
    r.Open();
    r.PlayTo(700);
    r.Seq().PauseSong();
    const Surface before = r.Frame();
    const int presented = r.window.Presented();
    r.RunMs(2000);  // the WRD timer keeps running
    EXPECT_EQ(r.window.Presented(), presented);
    EXPECT_TRUE(SameFrame(r.Frame(), before));
    EXPECT_EQ(r.Pos(), r.Seq().PausedPosMs());

    r.Seq().ResumeSong();
    r.PlayTo(1100);
    EXPECT_EQ(Describe(r.Frame()), "A=1 B=1 red=1 green=0");
}

TEST_F(WrdLink, RepeatClearsAndReplaysFromTheStart) {
    sequencer::PlaybackSettings s;
    s.repeatMode = platform::RepeatMode::kSong;
    Rig r(song, s);
    r.Open();
    r.PlayTo(3500);
    ASSERT_EQ(Describe(r.Frame()), "A=0 B=0 red=1 green=1");
    // Past the end: the sequencer repeats, the WRD screen starts over.
    r.RunMs(600);
    ASSERT_LT(r.Pos(), 1000);
    ASSERT_TRUE(r.Seq().TimerRunning());
    const Surface fresh = FreshFrame(r.Pos());
    EXPECT_TRUE(SameFrame(r.Frame(), fresh)) << Describe(r.Frame());
    EXPECT_FALSE(GreenBox(r.Frame()));
    EXPECT_TRUE(CellHasText(r.Frame(), 1, 1));
    r.PlayTo(2250);
    EXPECT_EQ(Describe(r.Frame()), "A=1 B=1 red=1 green=1");
}

TEST_F(WrdLink, PlayAfterStopStartsTheScriptOver) {
    Rig r(song);
    r.Open();
    r.PlayTo(2250);
    r.Seq().StopSong();
    r.RunMs(200);
    EXPECT_EQ(Describe(r.Frame()), "A=1 B=1 red=1 green=1") << "a stop keeps the frame";
    r.Seq().ResumeSong();
    r.PlayTo(250);
    EXPECT_EQ(Describe(r.Frame()), "A=1 B=0 red=0 green=0");
    EXPECT_TRUE(SameFrame(r.Frame(), FreshFrame(250)));
}

TEST_F(WrdLink, AStartWaitingForItsFirstTickIsAtZero) {
    Rig r(song);
    r.Open();
    r.PlayTo(3000);
    // Loading the song again: before the first tick the time base still
    // holds the previous run; the script must not jump ahead.
    ASSERT_TRUE(r.player->PlayEntry(1));
    EXPECT_EQ(r.Pos(), 0);
    r.link->Tick();
    EXPECT_EQ(Describe(r.Frame()), "A=1 B=0 red=0 green=0");
}

TEST_F(WrdLink, TheNextSongOfTheListStartsOnAClearScreen) {
    const fs::path second = dir / "plain.mid";
    WriteFile(second, Song(1000));
    Rig r(song);
    r.Open({song.string(), second.string()});
    r.PlayTo(3000);
    ASSERT_EQ(Describe(r.Frame()), "A=0 B=0 red=1 green=1");
    // The song ends; the WRD timer runs before the next song is opened.
    r.timers.RunForMs(1100);
    ASSERT_EQ(r.ui.Pending(), 1u);
    r.link->Tick();
    EXPECT_EQ(Describe(r.Frame()), "A=0 B=0 red=0 green=0");
    EXPECT_EQ(r.link->Runtime().NextEvent(), 0u) << "nothing of the old script is performed";
    r.ui.RunPending();
    EXPECT_EQ(r.opener->Index(), 2);
    EXPECT_FALSE(r.link->BuiltinWrdActive());
    EXPECT_FALSE(r.window.Visible());
}

TEST_F(WrdLink, SongsWithoutAScriptHideTheWindow) {
    fs::remove(dir / "tune.wrd");
    Rig r(song);
    r.window.Show();
    r.Open();
    EXPECT_FALSE(r.link->BuiltinWrdActive());
    EXPECT_FALSE(r.window.Visible());
    EXPECT_FALSE(r.window.TimerRunning());
    r.RunMs(500);
    EXPECT_EQ(r.window.Presented(), 0);
}

// --- The plug-in path ----------------------------------------------------

std::string PluginLog() {
    void* lib =
        dlopen((fs::path(FAKE_WRD_PLUGIN_DIR) / "libdswrd.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!lib) return "<not loaded>";
    std::string s = reinterpret_cast<const char* (*)()>(dlsym(lib, "fakeWrdLog"))();
    reinterpret_cast<void (*)()>(dlsym(lib, "fakeWrdClearLog"))();
    dlclose(lib);
    return s;
}
int PluginForeignCalls() {
    void* lib =
        dlopen((fs::path(FAKE_WRD_PLUGIN_DIR) / "libdswrd.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!lib) return -1;
    const int n = reinterpret_cast<int (*)()>(dlsym(lib, "fakeWrdForeignCalls"))();
    dlclose(lib);
    return n;
}

// "process 16 1234 500;" entries become "p1234"; others stay as they are.
std::vector<std::string> Calls(const std::string& log) {
    std::vector<std::string> out;
    std::istringstream in(log);
    for (std::string item; std::getline(in, item, ';');) {
        if (item.rfind("process 16 ", 0) == 0) {
            std::istringstream f(item.substr(11));
            int tick = 0, division = 0;
            f >> tick >> division;
            EXPECT_EQ(division, 500);
            out.push_back("p" + std::to_string(tick));
        } else {
            out.push_back(item);
        }
    }
    return out;
}
int TickOf(const std::string& call) {
    return call.size() > 1 && call[0] == 'p' ? std::stoi(call.substr(1)) : -1;
}

class WrdLinkPlugin : public WrdLink {
  protected:
    void SetUp() override {
        WrdLink::SetUp();
        WriteFile(dir / "tune.sry", std::string("plug-in script\n"));
        PluginLog();
    }
    SharedLibraryWrdPlugin loader{{FAKE_WRD_PLUGIN_DIR}};
};

TEST_F(WrdLinkPlugin, HooksReachThePluginInOrder) {
    HeadlessWrdWindow pluginWindow;
    ExternalWrdPlayer ext(loader, pluginWindow, &pluginWindow);
    ext.Attach();
    ASSERT_TRUE(ext.Attached());
    sequencer::PlaybackSettings s;
    s.repeatMode = platform::RepeatMode::kSong;
    Rig r(song, s, &ext);
    PluginLog();
    r.Open();
    EXPECT_TRUE(r.link->ExternalWrdActive());
    EXPECT_FALSE(r.link->BuiltinWrdActive()) << "the .wrd beside it is left alone";
    EXPECT_EQ(Calls(PluginLog()), std::vector<std::string>{"open tune.sry"});

    // The WRD timer hands over the sequencer's tick, which moves smoothly
    // while the plug-in presents.
    r.PlayTo(1000);
    auto calls = Calls(PluginLog());
    ASSERT_GE(calls.size(), 15u);
    for (const auto& c : calls) EXPECT_EQ(c[0], 'p') << c;
    EXPECT_NEAR(TickOf(calls.back()), 1000, 10);

    // Seek: rewind and catch up in one go.
    r.Seq().SeekTo(2500);
    EXPECT_EQ(Calls(PluginLog()), (std::vector<std::string>{"restart", "p2500"}));
    r.PlayTo(2700);
    calls = Calls(PluginLog());
    EXPECT_NEAR(TickOf(calls.back()), 2700, 10);

    // Pause: the tick stands still; resume goes on from there.
    r.Seq().PauseSong();
    r.RunMs(300);
    calls = Calls(PluginLog());
    ASSERT_FALSE(calls.empty());
    for (const auto& c : calls) EXPECT_NEAR(TickOf(c), 2700, 10) << c;
    r.Seq().ResumeSong();
    r.RunMs(300);
    EXPECT_GT(TickOf(Calls(PluginLog()).back()), 2900);

    // Stop rewinds at once; playing again starts from tick 0.
    r.Seq().StopSong();
    EXPECT_EQ(Calls(PluginLog()), std::vector<std::string>{"restart"});
    r.Seq().ResumeSong();
    r.PlayTo(200);
    calls = Calls(PluginLog());
    EXPECT_LE(TickOf(calls.front()), 60);

    // Song end with repeat: rewind, then ticks from the start again.
    r.PlayTo(3900);
    PluginLog();
    r.RunMs(400);
    calls = Calls(PluginLog());
    auto restart = std::find(calls.begin(), calls.end(), "restart");
    ASSERT_NE(restart, calls.end());
    ASSERT_NE(restart + 1, calls.end());
    EXPECT_LE(TickOf(*(restart + 1)), 60);
    for (auto it = calls.begin(); it != restart; ++it) EXPECT_GE(TickOf(*it), 3900) << *it;
    EXPECT_EQ(PluginForeignCalls(), 0);
}

// --- Real timer thread ------------------------------------------------------

// The sequencer's own thread reaches the end of the song and repeats it
// while the UI thread runs the WRD timer: the requests it leaves are acted
// on by the UI thread, and the plug-in is only ever called from there.
void RunRealTime(const fs::path& song, ExternalWrdPlayer* ext, int* starts) {
    platform::ThreadTimerService timers;
    platform::RecordingOutputSystem ports{platform::SteadyClock::Instance()};
    sequencer::ManualUiScheduler ui;
    platform::CodePage cp{"CP932"};
    sequencer::PlaybackSettings s;
    s.repeatMode = platform::RepeatMode::kSong;
    sequencer::Player player(
        sequencer::PlayerEnv{platform::SteadyClock::Instance(), timers, ports, ui, cp}, s);
    HeadlessWrdWindow window;
    test::TestOpener opener(player, test::TestOpener::Files(cp));
    WrdSequencerLink link(player.Seq(), player.Song(), window, ext);
    opener.Assign({song.string()});
    ASSERT_TRUE(player.PlayEntry(1));
    link.SongLoaded(song.string());
    int32_t last = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (*starts < 3 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ui.RunPending();
        link.Tick();
        const int32_t pos = link.Clock().SongPositionMs();
        if (pos < last) ++*starts;
        last = pos;
        // Built-in: after a repeat the first event is performed again.
        if (!ext) {
            EXPECT_GE(link.Runtime().NextEvent(), 1u);
        }
    }
    player.Seq().StopSong();
    link.Tick();
}

TEST_F(WrdLink, RepeatOnTheTimerThread) {
    WriteFile(song, Song(300));
    int starts = 0;
    RunRealTime(song, nullptr, &starts);
    EXPECT_EQ(starts, 3);
}

TEST_F(WrdLinkPlugin, RepeatOnTheTimerThread) {
    WriteFile(song, Song(300));
    HeadlessWrdWindow pluginWindow;
    ExternalWrdPlayer ext(loader, pluginWindow, &pluginWindow);
    ext.Attach();
    int starts = 0;
    RunRealTime(song, &ext, &starts);
    EXPECT_EQ(starts, 3);
    const auto calls = Calls(PluginLog());
    EXPECT_GE(std::count(calls.begin(), calls.end(), "restart"), 3);
    EXPECT_EQ(PluginForeignCalls(), 0);
}

}  // namespace
}  // namespace sonfara::wrd
