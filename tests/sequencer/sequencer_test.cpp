// The tick, the end of a song and the transport operations, on a manual
// clock with recording ports.
#include "player/sequencer/sequencer.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "tests/sequencer/rig.h"
#include "tests/support_code/test_opener.h"

namespace sonfara {
namespace {

using test::BuildSmf;
using test::Rig;
using test::TrackBuilder;

sequencer::PlaybackSettings Periodic() {
    sequencer::PlaybackSettings s;
    s.preciseTiming = false;
    return s;
}

// Short messages with their clock time relative to song position 0.
std::vector<std::string> Timed(Rig& r) {
    std::vector<std::string> v;
    int64_t origin = int64_t{r.Seq().SpeedBase()} * 1000;
    for (const auto& m : r.Port().Messages()) {
        if (m.isReset || m.bytes[0] == 0xF0) continue;
        v.push_back(std::to_string((m.us - origin) / 1000) + " " + platform::HexLine(m.bytes));
    }
    return v;
}

std::vector<uint8_t> TwoTrackSong() {
    TrackBuilder t1, t2;
    t1.Ev(0, {0xC0, 0x05}).Ev(10, {0x90, 0x3C, 0x64}).Ev(13, {0x80, 0x3C, 0x00});
    t2.Ev(10, {0x91, 0x40, 0x64}).Ev(10, {0xB1, 0x07, 0x50}).Ev(13, {0x81, 0x40, 0x00});
    t2.Ev(1000, {0xB1, 0x07, 0x51});  // keeps the song going
    return BuildSmf(1, {t1, t2});
}

TEST(SequencerTick, SendsDueEventsTrackByTrackOnPeriodicTicks) {
    Rig r(Periodic());
    r.Start(TwoTrackSong());
    r.RunMs(40);
    // Position 0 is the first tick (one period after the start); the events
    // at 13 ms wait for the tick at 15 ms.
    EXPECT_EQ(Timed(r), (std::vector<std::string>{"0 C0 05", "10 90 3C 64", "10 91 40 64",
                                                  "10 B1 07 50", "15 80 3C 00", "15 81 40 00"}));
    // The benchmarks' lateness: the 2 ms the note-offs waited for the tick.
    EXPECT_NEAR(static_cast<double>(r.Seq().Lateness().Percentile(1.0)), 2000, 100);
}

TEST(SequencerTick, PreciseTimingWakesAtEachEvent) {
    Rig r;
    r.Start(TwoTrackSong());
    r.RunMs(40);
    EXPECT_EQ(Timed(r), (std::vector<std::string>{"0 C0 05", "10 90 3C 64", "10 91 40 64",
                                                  "10 B1 07 50", "13 80 3C 00", "13 81 40 00"}));
    EXPECT_EQ(r.Seq().Lateness().Percentile(1.0), 0u);
}

TEST(SequencerTick, PortMetaStopsOnlyItsTrack) {
    Rig r;
    TrackBuilder t1, t2;
    t1.Ev(0, {0x90, 0x30, 0x40}).Ev(200, {0x80, 0x30, 0x00});
    t2.Ev(0, {0x91, 0x31, 0x40}).Meta(100, 0x21, {0x01}).Ev(200, {0x81, 0x31, 0x00});
    t1.Ev(1000, {0xB0, 0x07, 0x51});
    r.Start(BuildSmf(1, {t1, t2}));
    r.RunMs(250);
    auto lines = Timed(r);
    EXPECT_EQ(lines, (std::vector<std::string>{"0 90 30 40", "0 91 31 40", "200 80 30 00"}));
    EXPECT_EQ(r.player->Cursors().TrackPortSkip(2), 1);
}

// The cursors belong to the player, not the song: a new song must find them
// at rest and sized for its own tracks, or its first tick would start
// mid-song, skip a track or write past the set.
TEST(SequencerTick, NextSongFindsTheCursorsAtRestAndSizedForIt) {
    Rig r;
    TrackBuilder t1, t2;
    t1.Ev(0, {0x90, 0x30, 0x40}).Ev(200, {0x80, 0x30, 0x00}).Ev(1000, {0xB0, 0x07, 0x51});
    t2.Ev(0, {0x91, 0x31, 0x40}).Meta(100, 0x21, {0x01}).Ev(200, {0x81, 0x31, 0x00});
    std::vector<TrackBuilder> many(20);
    for (int i = 0; i < 20; ++i) many[i].Ev(10 * i, {0xB0, 0x07, static_cast<uint8_t>(i)});
    many[0].Ev(1000, {0xB0, 0x07, 0x7F});  // still playing when looked at
    r.Start({BuildSmf(1, {t1, t2}), BuildSmf(1, many)});
    r.RunMs(250);
    const sequencer::SongCursors& cursors = r.player->Cursors();
    EXPECT_EQ(cursors.NextEvent(1), 3);
    EXPECT_EQ(cursors.TrackPortSkip(2), 1);
    EXPECT_GT(cursors.ListNext(1), 1);

    ASSERT_TRUE(r.player->PlayEntry(2));
    for (int t = 1; t <= 2; ++t) {
        EXPECT_EQ(cursors.NextEvent(t), 0) << t;
        EXPECT_EQ(cursors.TrackPortSkip(t), 0) << t;
        EXPECT_EQ(cursors.ListNext(t), 0) << t;
    }
    r.Port().ClearLog();
    r.RunMs(250);
    EXPECT_EQ(r.Port().Messages().size(), 20u) << "every track of the larger song plays";
    EXPECT_EQ(cursors.NextEvent(20), 3) << "past its controller and end of track";
    EXPECT_EQ(cursors.ListNext(20), 3);
}

TEST(SequencerTick, EndsAtFirstTickPastTheLastEvent) {
    for (bool precise : {false, true}) {
        sequencer::PlaybackSettings s;
        s.preciseTiming = precise;
        s.repeatMode = platform::RepeatMode::kStopAtEnd;
        Rig r(s);
        TrackBuilder t;
        t.Ev(0, {0x90, 0x3C, 0x64}).Ev(10000, {0x80, 0x3C, 0x00});
        r.Start(BuildSmf(0, {t}));
        const int64_t origin = r.clock.NowUs() + 5000;
        r.timers.RunUntilUs(origin + 10000'000);
        EXPECT_TRUE(r.Seq().TimerRunning());
        EXPECT_EQ(r.Seq().SongEnded(), 0);
        r.timers.RunUntilUs(origin + 10000'000 + (precise ? 1000 : 5000));
        EXPECT_FALSE(r.Seq().TimerRunning()) << precise;
        EXPECT_EQ(r.Seq().SongEnded(), 1);
        EXPECT_EQ(r.stoppedAtEnd, 0);
        r.ui.RunPending();
        EXPECT_EQ(r.stoppedAtEnd, 1);
        EXPECT_TRUE(r.Seq().Paused());
        EXPECT_EQ(r.Port().NotesOnCount(), 0);
    }
}

TEST(SequencerTick, RepeatModes) {
    TrackBuilder t;
    t.Ev(0, {0x90, 0x3C, 0x64}).Ev(50, {0x80, 0x3C, 0x00});
    auto song = BuildSmf(0, {t});
    {
        // One song, mode 0: the song repeats with a fresh timer.
        Rig r;
        r.Start(song);
        r.RunMs(200);
        int ons = 0;
        for (auto& l : Timed(r)) ons += l.find("90 3C 64") != std::string::npos;
        EXPECT_GE(ons, 3);
        EXPECT_EQ(r.opened, std::vector<int>{1});
        EXPECT_TRUE(r.Seq().TimerRunning());
    }
    {
        // Three songs, mode 0: the third is followed by the first.
        Rig r;
        r.Start({song, song, song});
        r.RunMs(300);
        ASSERT_GE(r.opened.size(), 4u);
        EXPECT_EQ(std::vector<int>(r.opened.begin(), r.opened.begin() + 4),
                  (std::vector<int>{1, 2, 3, 1}));
    }
    {
        // Mode 1 repeats the song whatever the list holds.
        sequencer::PlaybackSettings s;
        s.repeatMode = platform::RepeatMode::kSong;
        Rig r(s);
        r.Start({song, song});
        r.RunMs(300);
        EXPECT_EQ(r.opened, std::vector<int>{1});
    }
    {
        // Mode 2 picks any entry of the list.
        sequencer::PlaybackSettings s;
        s.repeatMode = platform::RepeatMode::kRandom;
        Rig r(s);
        r.Start({song, song, song, song});
        r.RunMs(1000);
        ASSERT_GT(r.opened.size(), 5u);
        for (int i : r.opened) {
            EXPECT_GE(i, 1);
            EXPECT_LE(i, 4);
        }
    }
    {
        // Mode 3 stops after the song, also within a list.
        sequencer::PlaybackSettings s;
        s.repeatMode = platform::RepeatMode::kStopAtEnd;
        Rig r(s);
        r.Start({song, song});
        r.RunMs(300);
        EXPECT_EQ(r.opened, std::vector<int>{1});
        EXPECT_EQ(r.stoppedAtEnd, 1);
        EXPECT_FALSE(r.timers.Active());
    }
}

// The UI thread's kill arriving while the tick repeats the song in place.
struct KillAtReset : sequencer::OutputObserver {
    sequencer::Sequencer* seq = nullptr;
    bool armed = false;
    void OnClearMeters() override {
        if (!armed) return;
        armed = false;
        seq->KillTimer();
    }
};

TEST(SequencerTick, KillDuringRepeatingTickIsFinal) {
    KillAtReset k;  // outlives the rig: the rig's shut-down resets the output once more
    Rig r;
    TrackBuilder t;
    t.Ev(0, {0x90, 0x3C, 0x64}).Ev(50, {0x80, 0x3C, 0x00});
    r.Start(BuildSmf(0, {t}));
    k.seq = &r.Seq();
    r.Out().AddObserver(&k);
    r.RunMs(30);
    k.armed = true;
    r.RunMs(40);
    ASSERT_FALSE(k.armed);
    EXPECT_FALSE(r.Seq().TimerRunning());
    EXPECT_FALSE(r.timers.Active());
    r.Port().ClearLog();
    r.RunMs(500);
    EXPECT_TRUE(r.Port().Messages().empty());
}

// The same with the real timer thread: kills at random moments of a song
// that repeats every few milliseconds (also run under ThreadSanitizer).
TEST(SequencerTick, KillIsFinalOnTheRealTimerThread) {
    platform::ThreadTimerService timers;
    platform::RecordingOutputSystem ports(platform::SteadyClock::Instance());
    sequencer::ManualUiScheduler ui;
    platform::CodePage cp("CP932");
    sequencer::PlaybackSettings s;
    s.repeatMode = platform::RepeatMode::kSong;
    s.mainTimerMs = 1;
    sequencer::Player player(
        sequencer::PlayerEnv{platform::SteadyClock::Instance(), timers, ports, ui, cp}, s);
    TrackBuilder t;
    t.Ev(0, {0x90, 0x3C, 0x64}).Ev(3, {0x80, 0x3C, 0x00});
    const auto song = BuildSmf(0, {t});
    test::TestOpener opener(player, test::TestOpener::Bytes(song, cp));
    opener.Assign({"a"});
    ASSERT_TRUE(player.PlayEntry(1));
    platform::RecordingPort& port = *ports.Latest();
    std::mt19937 rng(3);
    for (int i = 0; i < 150; ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % 4000));
        player.Seq().KillTimer();
        port.ClearLog();
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
        ASSERT_TRUE(port.Messages().empty()) << "a tick ran after the kill, round " << i;
        ASSERT_TRUE(player.Seq().StartTimer());
    }
}

TEST(SequencerTick, EmptySongsStopInsteadOfFlooding) {
    const auto empty = BuildSmf(0, {TrackBuilder()});
    TrackBuilder t;
    t.Ev(0, {0x90, 0x3C, 0x64}).Ev(50, {0x80, 0x3C, 0x00});
    const auto song = BuildSmf(0, {t});
    auto run = [](Rig& r) {
        size_t n = 0;
        for (int s = 0; s < 4; ++s) {
            r.RunMs(500);
            n += r.Port().Messages().size();
            r.Port().ClearLog();
        }
        return n;
    };
    for (int mode : {0, 1, 2}) {
        // One empty song that would repeat: it stops at its end.
        sequencer::PlaybackSettings s;
        s.repeatMode = platform::RepeatMode(mode);
        Rig one(s);
        one.Start(empty);
        EXPECT_LT(run(one), 5000u) << mode;
        EXPECT_EQ(one.stoppedAtEnd, 1) << mode;
        EXPECT_FALSE(one.timers.Active()) << mode;
    }
    for (int mode : {0, 2}) {
        // A list of empty songs: one pass, then it stops.
        sequencer::PlaybackSettings s;
        s.repeatMode = platform::RepeatMode(mode);
        Rig list(s);
        list.Start({empty, empty, empty});
        EXPECT_LT(run(list), 12000u) << mode;
        EXPECT_LE(list.opened.size(), 4u) << mode;
        EXPECT_EQ(list.stoppedAtEnd, 1) << mode;
    }
    // One song that plays keeps the list going.
    Rig mixed;
    mixed.Start({empty, song, empty});
    mixed.RunMs(1000);
    EXPECT_GT(mixed.opened.size(), 10u);
    EXPECT_EQ(mixed.stoppedAtEnd, 0);
}

TEST(SequencerTick, JumpPastTheEndSendsWhatWasDue) {
    sequencer::PlaybackSettings s = Periodic();
    s.repeatMode = platform::RepeatMode::kStopAtEnd;
    s.mainTimerMs = 20;
    Rig r(s);
    TrackBuilder t1, t2;
    t1.Ev(0, {0x90, 0x3C, 0x64}).Ev(100, {0x80, 0x3C, 0x00}).Escape(100, {0xFC});
    t2.Ev(0, {0x91, 0x3D, 0x64}).Ev(150, {0x81, 0x3D, 0x00});
    r.Start(BuildSmf(1, {t1, t2}));
    r.Seq().SetSpeedDelta(900);  // 1000 %: the second tick is at 200 ms
    r.timers.RunForMs(45);
    EXPECT_EQ(r.Seq().SongEnded(), 1);
    EXPECT_EQ(r.ShortLines(),
              (std::vector<std::string>{"90 3C 64", "91 3D 64", "80 3C 00", "FC", "81 3D 00"}));
    EXPECT_EQ(r.Port().NotesOnCount(), 0);
}

TEST(SequencerTick, EasyDeltaTimeShowsEventTicks) {
    TrackBuilder t;
    t.Ev(0, {0x90, 0x3C, 0x64}).Ev(100, {0x80, 0x3C, 0x00}).Ev(1000, {0x90, 0x3C, 0x00});
    for (bool easy : {true, false}) {
        sequencer::PlaybackSettings s = Periodic();
        s.easyDeltaTime = easy;
        Rig r(s);
        r.Start(BuildSmf(0, {t}));
        r.RunMs(5 + 500);
        // Tick = ms here: with event ticks the display stays at the last
        // event sent; otherwise it follows the clock.
        EXPECT_EQ(r.Seq().CurrentTick(), easy ? 100 : 500);
        EXPECT_EQ(r.Seq().ElapsedSeconds(), 0);
        r.RunMs(10);
        EXPECT_EQ(r.Seq().CurrentTick(), easy ? 100 : 510);
        EXPECT_EQ(r.Seq().ElapsedSeconds(), 1);  // 0.51 s rounds up
    }
}

TEST(SequencerTick, TempoMapTimesAndTempoText) {
    Rig r(Periodic());
    TrackBuilder t1, t2;
    t1.Meta(0, 0x51, {0x07, 0xA1, 0x20}).Meta(100, 0x51, {0x03, 0xD0, 0x90});
    t2.Ev(0, {0x90, 0x40, 0x40}).Ev(300, {0x80, 0x40, 0x00}).Ev(2000, {0xB0, 0x07, 0x51});
    r.Start(BuildSmf(1, {t1, t2}));
    r.RunMs(400);
    // 100 ticks at 500000 µs/q then 200 at 250000 µs/q: 100 + 100 ms.
    auto lines = Timed(r);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "200 80 40 00");
    EXPECT_EQ(r.Out().BPMText.Get(), "240");
}

TEST(Transport, SpeedArithmetic) {
    Rig r;
    TrackBuilder t;
    t.Ev(0, {0x90, 0x3C, 0x64}).Ev(60000, {0x80, 0x3C, 0x00});
    r.Start(BuildSmf(0, {t}));
    r.RunMs(1005);
    EXPECT_EQ(r.Seq().PositionMs(), 1000);
    r.Seq().SpeedUp();
    r.RunMs(1000);
    EXPECT_EQ(r.Seq().PositionMs(), 2100);
    for (int i = 0; i < 12; ++i) r.Seq().SpeedDown();
    EXPECT_EQ(r.Seq().SpeedDelta(), -90);  // 10 % is the floor
    r.RunMs(1000);
    EXPECT_EQ(r.Seq().PositionMs(), 2200);
    r.Seq().SpeedDown();
    EXPECT_EQ(r.Seq().SpeedDelta(), -90);
    r.Seq().SetSpeedDelta(0);
    for (int i = 0; i < 3; ++i) r.Seq().SpeedDown();
    EXPECT_EQ(100 + r.Seq().SpeedDelta(), 70);
}

TEST(Transport, PauseKeepsPositionAtSpeed) {
    Rig r;
    TrackBuilder t;
    t.Ev(0, {0x90, 0x3C, 0x64}).Ev(2000, {0x90, 0x3E, 0x64}).Ev(9000, {0x80, 0x3C, 0x00});
    r.Start(BuildSmf(0, {t}));
    r.Seq().SetSpeedDelta(50);
    r.RunMs(5 + 2000);
    r.Seq().PauseSong();
    EXPECT_EQ(r.Seq().PausedPosMs(), 3000);
    EXPECT_EQ(r.Port().NotesOnCount(), 0);
    EXPECT_FALSE(r.timers.Active());
    r.RunMs(5000);
    EXPECT_EQ(r.Seq().PositionMs(), 3000);
    r.Port().ClearLog();
    r.Seq().ResumeSong();
    r.RunMs(4000);  // 6000 song ms at 150 %: reaches 9000
    auto lines = Timed(r);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().substr(lines.back().find(' ') + 1), "80 3C 00");
}

TEST(Transport, PauseLiftsHeldPedalsAndResumePutsThemBack) {
    Rig r;
    TrackBuilder t;
    t.Ev(0, {0xB0, 0x40, 0x7F})
        .Ev(0, {0xB1, 0x42, 0x7F})
        .Ev(0, {0xB2, 0x40, 0x20})  // below the half-way mark: up
        .Ev(0, {0x90, 0x3C, 0x64})
        .Ev(0, {0x91, 0x40, 0x64})
        .Ev(1000, {0x90, 0x3E, 0x64})
        .Ev(3000, {0x80, 0x3C, 0x00});
    r.Start(BuildSmf(0, {t}));
    r.RunMs(505);
    r.Seq().PauseSong();
    EXPECT_TRUE(r.Port().PedalsDown().empty());
    EXPECT_EQ(r.Port().NotesOnCount(), 0);
    // A chase while paused puts the pedals down, and up again.
    r.Seq().SeekTo(600);
    EXPECT_EQ(r.Port().NotesOnCount(), 0);
    r.Port().ClearLog();
    r.Seq().ResumeSong();
    r.RunMs(500);
    EXPECT_EQ(r.ShortLines(), (std::vector<std::string>{"B0 40 7F", "B1 42 7F", "90 3E 64"}));
    EXPECT_EQ(r.Port().PedalsDown(), (std::vector<int>{0x040, 0x142}));
    // Stopped while paused: playing again starts from the beginning with
    // nothing put back.
    r.Seq().PauseSong();
    r.Seq().StopSong();
    r.Port().ClearLog();
    r.Seq().ResumeSong();
    EXPECT_TRUE(r.Port().Messages().empty());
}

TEST(Transport, SeekChasesControllersAndProgramsButNotNotes) {
    Rig r;
    TrackBuilder t1, t2;
    t1.Ev(0, {0xB0, 0x07, 0x50})
        .Ev(10000, {0xC0, 0x10})
        .Ev(20000, {0x90, 0x3C, 0x64})
        .Ev(25000, {0xE0, 0x00, 0x50})
        .Ev(40000, {0x80, 0x3C, 0x00});
    t2.SysEx(5000, {0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7})
        .Meta(6000, 0x05, {'o', 'k'})
        .Ev(35000, {0x91, 0x40, 0x40})
        .Ev(41000, {0x81, 0x40, 0x00});
    r.Start(BuildSmf(1, {t1, t2}));
    r.RunMs(5);
    r.Port().ClearLog();
    r.Seq().SeekTo(30000);
    auto all = r.ShortLines();
    std::vector<std::string> chase;
    bool afterReset = false;
    for (auto& l : all) {
        if (l == "RESET")
            afterReset = true;
        else if (afterReset && l != "F0 7E 7F 09 01 F7")
            chase.push_back(l);
    }
    EXPECT_EQ(chase, (std::vector<std::string>{
                         "B0 07 50", "C0 10", "E0 00 50", "F0 41 10 42 12 40 00 7F 00 41 F7",
                         // programs resent on every channel
                         "C0 10", "C1 00", "C2 00", "C3 00", "C4 00", "C5 00", "C6 00", "C7 00",
                         "C8 00", "C9 00", "CA 00", "CB 00", "CC 00", "CD 00", "CE 00", "CF 00"}));
    EXPECT_EQ(r.Out().ModuleName.Get(), "ID 10");
    EXPECT_EQ(r.Port().NotesOnCount(), 0);
    EXPECT_EQ(r.Seq().PositionMs(), 30000);
    const sequencer::SongCursors& cursors = r.player->Cursors();
    EXPECT_EQ(cursors.NextEvent(1), 5);
    EXPECT_EQ(cursors.NextEvent(2), 3);
    // Display lists: entries at or before the position count as passed.
    EXPECT_EQ(cursors.ListNext(1), 5);
    EXPECT_EQ(cursors.ListNext(2), 3);
    r.Port().ClearLog();
    r.RunMs(5000 + 10);
    EXPECT_EQ(Timed(r), (std::vector<std::string>{"35000 91 40 40"}));

    // Backwards before the first event of list 2.
    r.Seq().SeekTo(1000);
    EXPECT_EQ(cursors.ListNext(2), 1);
    EXPECT_EQ(cursors.NextEvent(2), 1);
}

TEST(Transport, SeekWhilePausedStaysPaused) {
    Rig r;
    TrackBuilder t;
    t.Ev(0, {0x90, 0x3C, 0x64}).Ev(5000, {0x90, 0x3E, 0x64}).Ev(9000, {0x80, 0x3C, 0x00});
    r.Start(BuildSmf(0, {t}));
    r.RunMs(1000);
    r.Seq().PauseSong();
    r.Seq().SeekTo(4990);
    EXPECT_TRUE(r.Seq().Paused());
    EXPECT_FALSE(r.timers.Active());
    EXPECT_EQ(r.Seq().PausedPosMs(), 4990);
    r.Port().ClearLog();
    r.Seq().ResumeSong();
    r.RunMs(20);
    EXPECT_EQ(Timed(r), (std::vector<std::string>{"5000 90 3E 64"}));
}

TEST(Transport, SeekInSongWithEmptyFirstTrackKeepsPosition) {
    Rig r;
    TrackBuilder t2;
    t2.Ev(0, {0x90, 0x3C, 0x64}).Ev(3000, {0x90, 0x3E, 0x64}).Ev(4000, {0x80, 0x3C, 0x00});
    // Track 1 is a chunk without a single event.
    auto smf = BuildSmf(1, {t2});
    smf[11] = 2;
    const std::vector<uint8_t> empty = {'M', 'T', 'r', 'k', 0, 0, 0, 0};
    smf.insert(smf.begin() + 14, empty.begin(), empty.end());
    r.Start(smf);
    r.RunMs(10);
    r.Seq().SeekTo(2990);
    r.Port().ClearLog();
    r.RunMs(20);
    EXPECT_EQ(Timed(r), (std::vector<std::string>{"3000 90 3E 64"}));
}

TEST(Transport, StopRestartAndResume) {
    Rig r;
    TrackBuilder t;
    t.Ev(0, {0x90, 0x3C, 0x64}).Ev(3000, {0x80, 0x3C, 0x00});
    r.Start(BuildSmf(0, {t}));
    r.RunMs(500);
    r.Seq().StopSong();
    EXPECT_TRUE(r.Seq().Paused());
    EXPECT_EQ(r.Seq().PausedPosMs(), 0);
    EXPECT_EQ(r.player->Cursors().NextEvent(1), 0);
    EXPECT_EQ(r.Port().NotesOnCount(), 0);
    r.Port().ClearLog();
    r.Seq().ResumeSong();
    r.RunMs(10);
    EXPECT_EQ(Timed(r), (std::vector<std::string>{"0 90 3C 64"}));
    r.RunMs(500);
    r.Port().ClearLog();
    r.Seq().RestartSong();
    r.RunMs(10);
    EXPECT_EQ(Timed(r).back(), "0 90 3C 64");
}

TEST(Transport, PortChangeKeepsThePosition) {
    Rig r;
    TrackBuilder t;
    t.Ev(0, {0xC0, 0x07})
        .Ev(0, {0x90, 0x3C, 0x64})
        .Ev(1000, {0x90, 0x3E, 0x64})
        .Ev(2000, {0x80, 0x3C, 0x00});
    r.Start(BuildSmf(0, {t}));
    r.RunMs(505);
    auto first = r.ports.Latest();
    EXPECT_TRUE(r.Seq().ChangeOutputPort(1).ok());
    EXPECT_EQ(first->NotesOnCount(), 0);
    EXPECT_TRUE(first->Closed());
    auto second = r.ports.Latest();
    ASSERT_NE(first, second);
    EXPECT_EQ(r.ports.OpenedDevices().back(), 1);
    EXPECT_EQ(r.Seq().PositionMs(), 500);
    // The new port got the program, then continues at 1000 ms.
    auto msgs = second->Messages();
    bool program = false;
    for (auto& m : msgs)
        if (platform::HexLine(m.bytes) == "C0 07") program = true;
    EXPECT_TRUE(program);
    second->ClearLog();
    r.RunMs(600);
    EXPECT_EQ(Timed(r), (std::vector<std::string>{"1000 90 3E 64"}));
}

TEST(Transport, NextAndPreviousWrapAround) {
    TrackBuilder t;
    t.Ev(0, {0x90, 0x3C, 0x64}).Ev(100, {0x80, 0x3C, 0x00});
    auto s = BuildSmf(0, {t});
    Rig r;
    r.Start({s, s, s, s, s});
    r.Seq().PlayPrevSong();
    EXPECT_EQ(r.opener->Index(), 5);
    r.Seq().PlayNextSong();
    EXPECT_EQ(r.opener->Index(), 1);
    EXPECT_EQ(r.opened, (std::vector<int>{1, 5, 1}));
    Rig one;
    one.Start(s);
    one.Seq().PlayNextSong();
    one.Seq().PlayPrevSong();
    EXPECT_EQ(one.opened, std::vector<int>{1});
}

TEST(Transport, RestartTimerUsesNewPeriod) {
    Rig r(Periodic());
    TrackBuilder t;
    t.Ev(0, {0x90, 0x3C, 0x64}).Ev(1000, {0x80, 0x3C, 0x00});
    r.Start(BuildSmf(0, {t}));
    r.RunMs(5);
    sequencer::PlaybackSettings s = r.player->Settings();
    s.mainTimerMs = 20;
    r.player->ApplySettings(s);
    r.Seq().RestartTimer();
    int64_t before = r.clock.NowUs();
    EXPECT_EQ(r.timers.NextDueUs() - before, 20000);
    r.Seq().PauseSong();
    int created = r.timers.CreatedCount();
    r.Seq().RestartTimer();  // paused: nothing
    EXPECT_EQ(r.timers.CreatedCount(), created);
}

TEST(Transport, TransposeWhilePlayingLeavesNoHangingNote) {
    Rig r;
    TrackBuilder t;
    t.Ev(0, {0x90, 0x3C, 0x64}).Ev(1000, {0x80, 0x3C, 0x00});
    r.Start(BuildSmf(0, {t}));
    r.RunMs(100);
    r.player->SetTranspose(4);
    EXPECT_EQ(r.Port().NotesOnCount(), 0);
    r.RunMs(850);
    EXPECT_EQ(r.Port().NotesOnCount(), 0);
}

TEST(Transport, LoadFailureSilencesThePreviousSong) {
    Rig r;
    TrackBuilder t;
    t.Ev(0, {0x90, 0x3C, 0x64}).Ev(1000, {0x80, 0x3C, 0x00});
    r.Start({BuildSmf(0, {t}), std::vector<uint8_t>(20, 'x')});
    r.RunMs(100);
    EXPECT_FALSE(r.player->PlayEntry(2));
    EXPECT_EQ(r.Port().NotesOnCount(), 0);
    EXPECT_FALSE(r.timers.Active());
    EXPECT_NE(r.opener->LastError().find("Header Error"), std::string::npos);
}

TEST(Transport, UnknownPortNameListsThePorts) {
    sequencer::PlaybackSettings s;
    s.midiOutPort = "Nowhere";
    Rig r(s);
    TrackBuilder t;
    t.Ev(0, {0x90, 0x3C, 0x64});
    r.files["a"] = BuildSmf(0, {t});
    r.opener->Assign({"a"});
    EXPECT_FALSE(r.player->PlayEntry(1));
    const std::string& e = r.opener->LastError();
    EXPECT_NE(e.find("MIDIデバイスが開けません"), std::string::npos);
    EXPECT_NE(e.find("Rec A"), std::string::npos);
    EXPECT_NE(e.find("Rec B"), std::string::npos);
}

}  // namespace
}  // namespace sonfara
