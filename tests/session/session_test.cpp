// The playback session as a front end drives it: the transport through a
// song's life, the held stepping arithmetic, the labels, the channel
// switches and the end-of-song actions at shut-down.
#include <gtest/gtest.h>

#include <algorithm>

#include "player/files/lha_writer.h"
#include "player/session/messages.h"
#include "tests/session/session_fixture.h"

namespace sonfara {
namespace {

using test::BuildSmf;
using test::SessionRig;
using test::TrackBuilder;
using test::WriteSong;

struct Opened : session::SessionObserver {
    std::vector<int> ok, failed;
    int stoppedAtEnd = 0;
    std::vector<std::string> titles;
    void OnSongOpened(int index, bool success, const std::string& title) override {
        (success ? ok : failed).push_back(index);
        titles.push_back(title);
    }
    void OnStoppedAtEnd() override { ++stoppedAtEnd; }
};

bool Sent(platform::RecordingPort& port, const std::string& hex) {
    for (const auto& m : port.Messages())
        if (platform::HexLine(m.bytes) == hex) return true;
    return false;
}

TEST(Session, OpenPlayPauseSeekNextStopShutdown) {
    SessionRig r;
    const std::string a = WriteSong(r.folder, "a.mid", test::TenSecondSong(60));
    const std::string b = WriteSong(r.folder, "b.mid", test::TenSecondSong(72));
    Opened seen;
    r.S().AddObserver(&seen);
    session::SessionSnapshot s = r.Snap();
    EXPECT_FALSE(s.loaded);
    EXPECT_EQ(s.playListCount, 0);

    r.S().Songs().OpenPaths({a, b});
    s = r.Snap();
    EXPECT_TRUE(s.loaded);
    EXPECT_TRUE(s.playing);
    EXPECT_EQ(s.playListCount, 2);
    EXPECT_EQ(s.playListIndex, 1);
    EXPECT_EQ(s.fileName, "a.mid");
    EXPECT_EQ(s.title, "a.mid");
    EXPECT_EQ(s.fileKind, "SMF Format 0");
    EXPECT_EQ(s.positionMs, 0);
    EXPECT_EQ(seen.ok, std::vector<int>{1});
    EXPECT_EQ(seen.titles, std::vector<std::string>{"a.mid"});

    r.RunMs(2500);
    s = r.Snap();
    EXPECT_TRUE(s.started);
    EXPECT_NEAR(s.positionMs, 2500, 5);
    EXPECT_EQ(s.elapsedSeconds, 2);
    // The last event passed is at tick 2000: quarter 4 of a 4/4 song.
    EXPECT_EQ(s.currentTick, 2000);
    EXPECT_EQ(s.bar, 1);
    EXPECT_EQ(s.beat, 1);
    EXPECT_EQ(r.Port().NotesOnCount(), 1);

    r.S().Transport().Pause();
    r.S().Transport().Pause();  // a second pause changes nothing
    const int32_t pausedAt = r.Snap().positionMs;
    r.RunMs(1000);
    s = r.Snap();
    EXPECT_TRUE(s.paused);
    EXPECT_FALSE(s.playing);
    EXPECT_EQ(s.positionMs, pausedAt);
    EXPECT_EQ(r.Port().NotesOnCount(), 0);

    r.S().Transport().SeekTo(6000);
    s = r.Snap();
    EXPECT_TRUE(s.paused);
    EXPECT_EQ(s.positionMs, 6000);
    r.S().Transport().Play();
    r.RunMs(500);
    s = r.Snap();
    EXPECT_FALSE(s.paused);
    EXPECT_NEAR(s.positionMs, 6500, 5);
    EXPECT_TRUE(Sent(r.Port(), "90 42 64"));  // the note at 6 s

    r.S().Songs().Next();
    s = r.Snap();
    EXPECT_EQ(s.playListIndex, 2);
    EXPECT_EQ(s.fileName, "b.mid");
    EXPECT_EQ(s.positionMs, 0);
    EXPECT_EQ(seen.ok, (std::vector<int>{1, 2}));
    r.RunMs(100);
    EXPECT_TRUE(Sent(r.Port(), "90 48 64"));

    r.S().Transport().Stop();
    s = r.Snap();
    EXPECT_TRUE(s.paused);
    EXPECT_EQ(s.positionMs, 0);
    EXPECT_EQ(r.Port().NotesOnCount(), 0);

    r.S().Shutdown();
    r.S().Shutdown();
    EXPECT_TRUE(r.Port().Closed());
    EXPECT_FALSE(r.timers.Active());
    r.S().RemoveObserver(&seen);
}

TEST(Session, HeldStepsAccelerateWhilePlayingAndClampAtTheEnds) {
    SessionRig r;
    TrackBuilder t;
    t.Ev(0, {0x90, 0x3C, 0x64}).Ev(60000, {0x80, 0x3C, 0x40});
    r.S().Songs().OpenPaths({WriteSong(r.folder, "long.mid", BuildSmf(0, {t}))});
    r.RunMs(1000);

    // Paused: the press step and four timer steps in 2 s move 5 s.
    r.S().Transport().Pause();
    const int32_t p0 = r.Snap().positionMs;
    r.S().Transport().BeginStep(true);
    for (int i = 0; i < 4; ++i) {
        r.clock.AdvanceMs(500);
        r.S().Transport().Step();
    }
    EXPECT_TRUE(r.Snap().stepping);
    EXPECT_EQ(r.Snap().positionMs, p0 + 5000);
    r.S().Transport().EndStep();
    EXPECT_TRUE(r.Snap().paused);
    EXPECT_EQ(r.Snap().positionMs, p0 + 5000);

    // Playing: 1 + 2 + 3 + 4 + 5 s plus the 2 s held, no note sounding.
    r.S().Transport().Play();
    const int32_t p1 = r.Snap().positionMs;
    r.S().Transport().BeginStep(true);
    EXPECT_EQ(r.Port().NotesOnCount(), 0);
    for (int i = 0; i < 4; ++i) {
        r.clock.AdvanceMs(500);
        r.S().Transport().Step();
    }
    EXPECT_EQ(r.Snap().positionMs, p1 + 15000 + 2000);
    r.S().Transport().EndStep();
    EXPECT_TRUE(r.Snap().playing);
    EXPECT_NEAR(r.Snap().positionMs, p1 + 17000, 1);

    r.S().Transport().BeginStep(false);
    for (int i = 0; i < 8; ++i) r.S().Transport().Step();
    r.S().Transport().EndStep();
    EXPECT_LE(r.Snap().positionMs, 1);
    r.S().Transport().Pause();
    r.S().Transport().SeekTo(59500);
    r.S().Transport().BeginStep(true);
    r.S().Transport().EndStep();
    EXPECT_EQ(r.Snap().positionMs, r.Snap().totalMs);
}

TEST(Session, SpeedAndKeySteps) {
    SessionRig r;
    r.S().Songs().OpenPaths({WriteSong(r.folder, "a.mid", test::TenSecondSong())});
    EXPECT_EQ(r.Snap().speedPercent, 100);
    std::vector<int> speeds;
    for (int i = 0; i < 10; ++i) {
        r.S().Transport().SpeedDown();
        speeds.push_back(r.Snap().speedPercent);
    }
    EXPECT_EQ(speeds, (std::vector<int>{90, 80, 70, 60, 50, 40, 30, 20, 10, 10}));
    r.S().Transport().SpeedUp();
    EXPECT_EQ(r.Snap().speedPercent, 20);

    EXPECT_EQ(r.Snap().transpose, 0);
    std::vector<int> keys;
    for (int i = 0; i < 3; ++i) {
        r.S().Transport().KeyUp();
        keys.push_back(r.Snap().transpose);
    }
    for (int i = 0; i < 5; ++i) {
        r.S().Transport().KeyDown();
        keys.push_back(r.Snap().transpose);
    }
    EXPECT_EQ(keys, (std::vector<int>{1, 2, 3, 2, 1, 0, -1, -2}));
}

TEST(Session, ChannelSwitchesSoloAndInstrumentMenu) {
    SessionRig r;
    TrackBuilder t;
    t.Ev(0, {0x90, 0x3C, 0x64}).Ev(0, {0x91, 0x40, 0x64}).Ev(5000, {0x80, 0x3C, 0x40});
    r.S().Songs().OpenPaths({WriteSong(r.folder, "two.mid", BuildSmf(0, {t}))});
    r.RunMs(100);
    EXPECT_EQ(r.Port().NotesOnCount(), 2);

    r.S().Output().ToggleSolo(2);
    EXPECT_EQ(r.Snap().soloChannel, 1);
    EXPECT_EQ(r.Port().NotesOn(), std::vector<int>{1 << 8 | 0x40});
    EXPECT_EQ(r.S().Output().Channel(1).Enabled.load(), 0);
    EXPECT_NE(r.S().Output().Channel(2).Enabled.load(), 0);
    r.S().Output().ToggleSolo(2);  // the same channel again: all sixteen on
    EXPECT_EQ(r.Snap().soloChannel, -1);
    for (int c = 1; c <= 16; ++c) EXPECT_NE(r.S().Output().Channel(c).Enabled.load(), 0) << c;

    r.S().Output().SetChannelEnabled(2, false);
    EXPECT_EQ(r.Port().NotesOnCount(), 0);
    EXPECT_EQ(r.S().Output().Channel(2).NoteCount.load(), 0);
    EXPECT_NE(r.S().Output().Channel(2).KeyDirty.load(), 0);

    // "ベース" item 3 on channel 10.
    r.S().Output().ChangeProgram(10, 32 + 2);
    EXPECT_TRUE(Sent(r.Port(), "C9 22"));
    EXPECT_EQ(r.S().Output().Channel(10).Program.load(), 34);
    EXPECT_EQ(session::msg::InstMenuHeader(3), "Track3 演奏楽器変更");
}

TEST(Session, EndOfSongActionsAreDroppedAtShutDownAndSettingsSaved) {
    settings::MemorySettingsStore store;
    {
        SessionRig r(&store);
        TrackBuilder t;
        t.Ev(0, {0x90, 0x3C, 0x64}).Ev(100, {0x80, 0x3C, 0x40});
        const auto bytes = BuildSmf(0, {t});
        Opened seen;
        r.S().AddObserver(&seen);
        r.S().Songs().OpenPaths(
            {WriteSong(r.folder, "a.mid", bytes), WriteSong(r.folder, "b.mid", bytes)});
        r.S().Transport().SetRepeatMode(platform::RepeatMode::kList);
        r.S().Transport().SetRepeatMode(platform::RepeatMode::kRandom);
        EXPECT_EQ(r.Snap().repeatMode, platform::RepeatMode::kRandom);
        // The end of the song queues the next open for the UI thread...
        r.timers.RunForMs(300);
        ASSERT_GT(r.ui.Pending(), 0u);
        r.S().Shutdown();
        const size_t sent = r.Port().Messages().size();
        // ...which finds the session shut down and does nothing.
        r.ui.RunPending();
        EXPECT_EQ(seen.ok, std::vector<int>{1});
        EXPECT_EQ(r.Port().Messages().size(), sent);
        EXPECT_FALSE(r.timers.Active());
        r.S().RemoveObserver(&seen);
    }
    EXPECT_EQ(store.values["RepeatMode"], "2");
    SessionRig again(&store);
    EXPECT_EQ(again.Snap().repeatMode, platform::RepeatMode::kRandom);
    EXPECT_EQ(again.S().Lists().RecentMenu().captions[0].empty(), false);
}

// Every hide and the exit save again; a settings folder that cannot be
// written is told once.
TEST(Session, FailedSettingsSaveIsToldOnce) {
    const std::string path = test::ScratchFolder() + "/blocker/Sonfara.ini";
    auto store = settings::IniSettingsStore::Open(path, true);
    SessionRig r(store.get());
    WriteSong(r.folder, "blocker", {});  // a file where the settings folder should be
    r.S().Suspend();
    r.S().Suspend();
    r.S().Shutdown();
    ASSERT_EQ(r.notifier.texts.size(), 1u);
    EXPECT_EQ(r.notifier.texts[0].rfind(settings::msg::kSaveFailed, 0), 0u);
    EXPECT_NE(r.notifier.texts[0].find(path), std::string::npos) << r.notifier.texts[0];
}

TEST(Session, FileListClickOnThePlayingEntryDoesNothing) {
    SessionRig r;
    const auto bytes = test::TenSecondSong();
    Opened seen;
    r.S().AddObserver(&seen);
    r.S().Songs().OpenPaths(
        {WriteSong(r.folder, "a.mid", bytes), WriteSong(r.folder, "b.mid", bytes)});
    r.S().Lists().FileListClick(0);
    EXPECT_EQ(seen.ok, std::vector<int>{1});
    r.S().Lists().FileListClick(1);
    EXPECT_EQ(seen.ok, (std::vector<int>{1, 2}));
    EXPECT_EQ(r.Snap().playListIndex, 2);
    const auto menu = r.S().Lists().PlayListMenu();
    ASSERT_EQ(menu.size(), 2u);
    EXPECT_TRUE(menu[1].checked);
    r.S().Songs().Next();  // on the last entry: the first
    EXPECT_EQ(r.Snap().playListIndex, 1);
    r.S().RemoveObserver(&seen);
}

// Each list notice names the menu to rebuild, and only that one.
TEST(Session, ListNoticesNameTheListThatChanged) {
    SessionRig r;
    struct Lists : session::SessionObserver {
        std::vector<session::SessionList> seen;
        void OnListChanged(session::SessionList which) override { seen.push_back(which); }
        int Count(session::SessionList which) const { return std::ranges::count(seen, which); }
    } lists;
    r.S().AddObserver(&lists);
    const auto bytes = test::TenSecondSong();
    r.S().Songs().OpenPaths(
        {WriteSong(r.folder, "a.mid", bytes), WriteSong(r.folder, "b.mid", bytes)});
    EXPECT_GT(lists.Count(session::SessionList::kPlayList), 0);
    EXPECT_GT(lists.Count(session::SessionList::kRecent), 0);
    EXPECT_EQ(lists.Count(session::SessionList::kFavorites), 0);

    lists.seen.clear();
    EXPECT_TRUE(r.S().Lists().RemoveEntry(2));
    EXPECT_EQ(lists.seen, std::vector<session::SessionList>{session::SessionList::kPlayList});
    lists.seen.clear();
    r.S().Lists().ClearRecent();
    EXPECT_EQ(lists.seen, std::vector<session::SessionList>{session::SessionList::kRecent});
    r.S().RemoveObserver(&lists);
}

}  // namespace
}  // namespace sonfara

namespace sonfara {
namespace {

struct PriorityLog final : platform::ProcessPriority {
    bool Set(platform::PriorityClass c) override {
        asked.push_back(c);
        return true;
    }
    std::vector<platform::PriorityClass> asked;
};

struct SettingsSeen : session::SessionObserver {
    std::vector<int32_t> taskTypes;
    void OnSettingsChanged(const settings::SettingsValues& v) override {
        taskTypes.push_back(v.taskType);
    }
};

// One edit path: only what changed is applied, and observers hear every edit.
TEST(Session, SettingsEditAppliesOnlyWhatChanged) {
    PriorityLog priority;
    test::SessionRig r(nullptr, &priority);
    SettingsSeen seen;
    r.S().AddObserver(&seen);
    r.S().Songs().OpenPaths({WriteSong(r.folder, "a.mid", test::TenSecondSong())});
    r.RunMs(100);
    const size_t sent = r.Port().Messages().size();

    // A switch the output does not read: no programs again, no timer restart.
    r.S().Settings().Edit([](settings::SettingsValues& v) { v.easyDeltaTime = false; });
    EXPECT_EQ(r.Port().Messages().size(), sent);
    EXPECT_TRUE(r.Snap().playing);
    EXPECT_TRUE(priority.asked.empty());

    r.S().Settings().Edit([](settings::SettingsValues& v) {
        v.threadMode = 4;
        v.taskType = 1;
    });
    EXPECT_EQ(priority.asked, std::vector<platform::PriorityClass>{platform::PriorityClass::kIdle});
    EXPECT_EQ(seen.taskTypes, (std::vector<int32_t>{2, 1}));
    r.S().RemoveObserver(&seen);
}

std::vector<uint8_t> BytesOf(const std::string& s) {
    return std::vector<uint8_t>(s.begin(), s.end());
}

// The song's texts follow the encoding decided for it, and the setting's
// choice at once: title, display text (and what peers get) and lyrics.
TEST(Session, SongTextsFollowTheirEncodingAndTheSetting) {
    test::SessionRig r;
    TrackBuilder t;
    t.Meta(0, 0x03, BytesOf("Don\x92t Stop"))
        .Meta(0, 0x05, BytesOf("you\x92re/"))
        .Ev(100, {0x90, 60, 0x64})
        .Ev(900, {0x80, 60, 0x40});
    r.S().Songs().OpenPaths({WriteSong(r.folder, "w.kar", test::BuildSmf(0, {t}))});
    r.RunMs(50);
    session::SessionSnapshot s = r.Snap();
    EXPECT_EQ(s.title, "Don’t Stop");
    EXPECT_EQ(s.displayTextUtf8, "♪you’re/");
    EXPECT_EQ(s.displayText, r.cp.FromUtf8("♪you’re/")) << "peers get the system code page";
    ASSERT_NE(r.S().Songs().SongLyrics(), nullptr);
    EXPECT_EQ(r.S().Songs().SongLyrics()->Text(), "you’re");

    r.S().Settings().Edit([](settings::SettingsValues& v) { v.textEncoding = 1; });  // CP932
    s = r.Snap();
    EXPECT_EQ(s.title, r.cp.ToUtf8("Don\x92t Stop"));
    EXPECT_EQ(r.S().Songs().Song().TextCodePage().Name(), "CP932");
    EXPECT_EQ(r.S().Songs().SongLyrics()->Text(), r.cp.ToUtf8("you\x92re"));
    r.S().Settings().Edit([](settings::SettingsValues& v) { v.textEncoding = 0; });
    EXPECT_EQ(r.Snap().title, "Don’t Stop");
}

struct StateCount : session::SessionObserver {
    int changes = 0;
    void OnStateChanged(const session::SessionSnapshot&) override { ++changes; }
};

// A-B set while paused and while playing, seeks inside and outside the
// section, the song's own loop suspended meanwhile, and a new song.
TEST(Session, ABRepeatWhilePausedAndAcrossSeeks) {
    SessionRig r;
    TrackBuilder t, mark;
    mark.Ev(4000, {0xB0, 111, 0});  // the song's loop: 4 s to its end at 9.9 s
    for (int i = 0; i < 10; ++i)
        t.Ev(i * 1000, {0x90, static_cast<uint8_t>(60 + i), 0x64})
            .Ev(i * 1000 + 900, {0x80, static_cast<uint8_t>(60 + i), 0x40});
    StateCount seen;
    r.S().AddObserver(&seen);
    r.S().Settings().Edit([](settings::SettingsValues& v) { v.loopCount = 1; });
    r.S().Songs().OpenPaths({WriteSong(r.folder, "a.mid", BuildSmf(1, {t, mark}))});
    session::SessionSnapshot s = r.Snap();
    EXPECT_EQ(s.loops.startMs, 4000);
    EXPECT_EQ(s.loops.endMs, 9900);
    EXPECT_EQ(s.loops.totalMs, 9900 + 5900);

    r.RunMs(1505);
    r.S().Transport().Pause();
    // With the loop count off, A-B repeats until it is cleared.
    r.S().Settings().Edit([](settings::SettingsValues& v) { v.loopCount = 0; });
    const int before = seen.changes;
    EXPECT_TRUE(r.S().Transport().SetPointA());
    r.S().Transport().SeekTo(3000);
    EXPECT_TRUE(r.S().Transport().SetPointB());
    r.S().Transport().SeekTo(1550);
    EXPECT_FALSE(r.S().Transport().SetPointB());  // too close after A
    EXPECT_EQ(seen.changes, before + 5);
    s = r.Snap();
    EXPECT_EQ(s.loops.pointA, 1500);
    EXPECT_EQ(s.loops.pointB, 3000);
    EXPECT_EQ(s.loops.totalMs, -1);

    // Paused past B: playing again goes straight back to A.
    r.S().Transport().SeekTo(6000);
    r.Port().ClearLog();
    r.S().Transport().Play();
    r.RunMs(10);
    EXPECT_FALSE(Sent(r.Port(), "90 42 64"));
    EXPECT_NEAR(r.Snap().positionMs, 1505, 5);
    // Two passes of 1.5 s strike the note at 2 s twice, and nothing past B.
    r.RunMs(2990);
    EXPECT_LT(r.Snap().positionMs, 3000);
    int strikes = 0;
    for (const auto& m : r.Port().Messages()) strikes += platform::HexLine(m.bytes) == "90 3E 64";
    EXPECT_EQ(strikes, 2);
    EXPECT_FALSE(Sent(r.Port(), "90 3F 64"));
    // Before A: playing runs into the section.
    r.S().Transport().SeekTo(500);
    r.RunMs(2600);
    EXPECT_TRUE(Sent(r.Port(), "90 3D 64"));
    EXPECT_LT(r.Snap().positionMs, 3000);

    // Cleared: on through the song's own loop, which counts again.
    r.S().Settings().Edit([](settings::SettingsValues& v) { v.loopCount = 1; });
    r.S().Transport().ClearAB();
    r.S().Transport().SeekTo(9800);
    r.RunMs(300);
    s = r.Snap();
    EXPECT_EQ(s.loops.done, 1);
    EXPECT_NEAR(s.positionMs, 4200, 5);
    EXPECT_EQ(s.loops.positionMs, s.positionMs + 5900);

    EXPECT_FALSE(r.S().Transport().SetAB(2000, 10000));  // past the end
    EXPECT_TRUE(r.S().Transport().SetAB(2000, 5000));
    r.S().Songs().OpenPaths({WriteSong(r.folder, "b.mid", test::TenSecondSong())});
    s = r.Snap();
    EXPECT_EQ(s.loops.pointA, -1);
    EXPECT_EQ(s.loops.pointB, -1);
    EXPECT_EQ(s.loops.startMs, -1);
    r.S().RemoveObserver(&seen);
}

// A finite loop count repeats an A-B section that often, then the song plays
// on past B; the lengths shown count those passes. An endless count loops.
TEST(Session, ABRepeatsAsOftenAsTheLoopCountSays) {
    SessionRig r;
    TrackBuilder t;
    for (int i = 0; i < 10; ++i)
        t.Ev(i * 1000, {0x90, static_cast<uint8_t>(60 + i), 0x64})
            .Ev(i * 1000 + 900, {0x80, static_cast<uint8_t>(60 + i), 0x40});
    r.S().Settings().Edit([](settings::SettingsValues& v) { v.loopCount = 2; });
    r.S().Songs().OpenPaths({WriteSong(r.folder, "a.mid", BuildSmf(1, {t}))});
    const int32_t total = r.Snap().totalMs;
    r.RunMs(1000);
    ASSERT_TRUE(r.S().Transport().SetAB(2000, 4000));
    EXPECT_EQ(r.Snap().loops.totalMs, total + 2 * 2000);
    auto strikes = [&](const char* noteOn) {
        int n = 0;
        for (const auto& m : r.Port().Messages()) n += platform::HexLine(m.bytes) == noteOn;
        return n;
    };
    // Three passes of the section (the first and two repeats), then on.
    r.RunMs(3000 + 2 * 2000 + 1500);
    EXPECT_EQ(strikes("90 3F 64"), 3);  // the note at 3 s
    EXPECT_EQ(strikes("90 41 64"), 1);  // the note at 5 s, past B
    EXPECT_EQ(r.Snap().loops.done, 2);
    EXPECT_NEAR(r.Snap().positionMs, 5500, 5);
    EXPECT_NEAR(r.Snap().loops.positionMs, 5500 + 2 * 2000, 5);

    // With an endless count the section never ends.
    r.S().Settings().Edit(
        [](settings::SettingsValues& v) { v.loopCount = sequencer::kEndlessLoops; });
    r.S().Transport().SeekTo(2500);
    EXPECT_EQ(r.Snap().loops.totalMs, -1);
    r.Port().ClearLog();
    r.RunMs(20000);
    EXPECT_LT(r.Snap().positionMs, 4000);
    EXPECT_EQ(strikes("90 41 64"), 0);
}

TEST(Session, LibraryEntriesPlayOrJoinTheList) {
    SessionRig r;
    const std::string a = WriteSong(r.folder, "a.mid", test::TenSecondSong(60));
    const std::string b = WriteSong(r.folder, "b.mid", test::TenSecondSong(72));
    const files::FileStatus packed = files::WriteLhaArchive(
        r.folder + "/pack.lzh", {{"a.mid", a}, {"sub/b.mid", b}}, platform::SystemCodePage());
    ASSERT_TRUE(packed.ok()) << packed.Message();
    // One member of an archive, as a library row names it, plays alone.
    r.S().Songs().OpenEntries({{"sub/b.mid", r.folder, "pack.lzh", ""}},
                              session::OpenMode::kReplace);
    session::SessionSnapshot s = r.Snap();
    EXPECT_TRUE(s.playing);
    EXPECT_EQ(s.playListCount, 1);
    EXPECT_EQ(s.fileName, "b.mid");  // extracted by its own name
    // Appending keeps the song playing and its place in the list.
    r.S().Songs().OpenEntries({{"a.mid", r.folder, "", ""}}, session::OpenMode::kAppend);
    s = r.Snap();
    EXPECT_EQ(s.playListCount, 2);
    EXPECT_EQ(s.playListIndex, 1);
    EXPECT_EQ(s.fileName, "b.mid");  // extracted by its own name
    // Nothing to open changes nothing.
    r.S().Songs().OpenEntries({}, session::OpenMode::kReplace);
    EXPECT_EQ(r.Snap().playListCount, 2);
}

}  // namespace
}  // namespace sonfara
