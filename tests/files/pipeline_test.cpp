// The open pipeline driving the real player through the playback session on
// a manual clock, manual timer and recording port: a list of a plain SMF, an
// RMI and a ZIP member played through to the end of each song, and the
// player's own next/previous going through the same pipeline.
#include <algorithm>
#include <map>
#include <memory>

#include "player/platform/midi_port.h"
#include "player/platform/timer.h"
#include "player/session/session.h"
#include "tests/files/files_fixture.h"

namespace sonfara::files::test {
namespace {

std::string RmiOf(const std::string& smf) {
    std::string data = "data" + std::string(4, '\0') + smf;
    return "RIFF" + std::string(4, '\0') + "RMID" + data;
}

struct PipelineRig : session::SessionObserver {
    explicit PipelineRig(platform::RepeatMode mode) {
        session::SessionEnv env(clock, timers, ports, ui, cp, notifier, work.Path() + "/");
        env.libs.rcpConverter = [] { return false; };
        env.libs.smfkConverter = [] { return false; };
        session = std::make_unique<session::PlaybackSession>(std::move(env));
        session->Settings().Edit([mode](settings::SettingsValues& v) { v.repeatMode = mode; });
        session->AddObserver(this);

        WriteBytes(songs / "a.mid", SongBytes(60));
        WriteBytes(songs / "b.rmi", RmiOf(SongBytes(62)));
        WriteZip(songs / "pack.zip", {{"c.mid", SongBytes(64)}});
    }
    ~PipelineRig() override { session->RemoveObserver(this); }

    void OnSongOpened(int index, bool ok, const std::string&) override {
        if (ok) opened.push_back(index);
    }
    void OnStoppedAtEnd() override { ++stoppedAtEnd; }

    void Open() { Lib().OpenPaths({songs / "a.mid", songs / "b.rmi", songs / "pack.zip"}); }
    session::SessionSongs& Lib() { return session->Songs(); }
    session::SessionLists& Lists() { return session->Lists(); }
    const song::SongTable& Song() { return Lib().Song(); }
    bool Playing() { return session->Snapshot().playing; }

    void RunMs(int64_t ms) {
        const int64_t end = clock.NowUs() + ms * 1000;
        while (clock.NowUs() < end) {
            timers.RunUntilUs(std::min(end, clock.NowUs() + 1000));
            ui.RunPending();
        }
    }

    // Notes switched on, in order, over every port opened.
    std::vector<int> NotesStarted() const {
        std::vector<int> v;
        for (const auto& p : ports.Opened()) {
            for (const auto& m : p->Messages()) {
                if (m.bytes.size() == 3 && (m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] > 0)
                    v.push_back(m.bytes[1]);
            }
        }
        return v;
    }

    TempDir work, songs;
    platform::ManualClock clock;
    platform::ManualTimerService timers{clock};
    platform::RecordingOutputSystem ports{clock};
    sequencer::ManualUiScheduler ui;
    platform::CodePage cp{"CP932"};
    RecordingNotifier notifier;
    std::unique_ptr<session::PlaybackSession> session;
    std::vector<int> opened;
    int stoppedAtEnd = 0;
};

// Each song is one beat at 120 BPM: 500 ms.
constexpr int64_t kSongMs = 500;

TEST(PlayerPipeline, ListPlaysThroughInOrderAndWraps) {
    PipelineRig r(platform::RepeatMode::kList);
    r.Open();
    ASSERT_TRUE(r.Playing());
    EXPECT_EQ(r.Lib().CurrentSource().FileName, "a.mid");
    EXPECT_EQ(r.Song().FileKindLabel, "SMF Format 0");

    r.RunMs(kSongMs + 100);
    EXPECT_EQ(r.Lib().CurrentSource().FileName, "b.rmi");
    EXPECT_EQ(r.Song().FileKindLabel, "RMI Format 0");
    // The song has no title of its own: the user's file name, not the work copy's.
    EXPECT_EQ(r.Song().SongTitle, "b.rmi");
    EXPECT_EQ(r.Lists().List().Index(), 2);

    r.RunMs(kSongMs + 100);
    EXPECT_EQ(r.Lib().CurrentSource().FileName, "c.mid");
    EXPECT_EQ(r.Lib().CurrentSource().ArchivePath, r.songs / "pack.zip");
    EXPECT_EQ(r.Lists().List().Checked(), 3);

    r.RunMs(kSongMs + 100);
    EXPECT_EQ(r.Lists().List().Index(), 1);
    EXPECT_EQ(r.NotesStarted(), (std::vector<int>{60, 62, 64, 60}));
    EXPECT_EQ(r.opened, (std::vector<int>{1, 2, 3, 1}));
    EXPECT_EQ(r.ports.Opened().size(), 1u) << "the port is reset between songs, not reopened";

    // Most recent first: the list's songs were opened one by one.
    const auto& recent = r.Lists().Recent().Items();
    EXPECT_EQ(recent[0], r.songs / "a.mid");
    EXPECT_EQ(recent[1], r.songs / "pack.zip");
    EXPECT_EQ(recent[2], r.songs / "b.rmi");
    EXPECT_EQ(recent[3], "");

    r.session->Shutdown();
    EXPECT_EQ(r.ports.Latest()->NotesOnCount(), 0);
    EXPECT_TRUE(r.notifier.messages.empty());
}

TEST(PlayerPipeline, RandomModeOpensOnlyListEntriesThroughThePipeline) {
    PipelineRig r(platform::RepeatMode::kRandom);
    r.Open();
    const std::map<int, int> noteOf = {{1, 60}, {2, 62}, {3, 64}};
    for (int i = 0; i < 6; ++i) r.RunMs(kSongMs + 100);
    ASSERT_GE(r.opened.size(), 6u);
    std::vector<int> expected;
    for (int k : r.opened) {
        ASSERT_TRUE(noteOf.count(k)) << k;
        expected.push_back(noteOf.at(k));
    }
    std::vector<int> started = r.NotesStarted();
    started.resize(std::min(started.size(), expected.size()));
    EXPECT_EQ(started, std::vector<int>(expected.begin(), expected.begin() + started.size()));
    EXPECT_EQ(r.Lists().List().Index(), r.opened.back());
    EXPECT_EQ(r.Lists().List().Checked(), r.opened.back());
    r.session->Shutdown();
    EXPECT_EQ(r.ports.Latest()->NotesOnCount(), 0);
}

TEST(PlayerPipeline, NextAndPreviousGoThroughThePipelineWithoutHangingNotes) {
    PipelineRig r(platform::RepeatMode::kList);
    r.Open();
    r.RunMs(100);  // the note of a.mid sounds
    ASSERT_EQ(r.ports.Latest()->NotesOnCount(), 1);
    r.Lib().Next();
    EXPECT_EQ(r.Lib().CurrentSource().FileName, "b.rmi");
    EXPECT_EQ(r.ports.Latest()->NotesOnCount(), 0) << "a.mid's note was cut by the reset";
    r.Lib().Previous();
    r.Lib().Previous();
    EXPECT_EQ(r.Lib().CurrentSource().FileName, "c.mid");
    EXPECT_EQ(r.Lists().List().Index(), 3);
    EXPECT_EQ(r.opened, (std::vector<int>{1, 2, 1, 3}));
    r.RunMs(100);
    EXPECT_EQ(r.NotesStarted().back(), 64);
    r.session->Shutdown();
    EXPECT_EQ(r.ports.Latest()->NotesOnCount(), 0);
}

TEST(PlayerPipeline, BrokenSongLeavesNothingSoundingAndIsReported) {
    PipelineRig r(platform::RepeatMode::kList);
    WriteBytes(r.songs / "bad.mid", "MThd junk");
    r.Lib().OpenPaths({r.songs / "a.mid", r.songs / "bad.mid"});
    r.RunMs(100);
    r.Lib().PlayEntry(2);
    EXPECT_FALSE(r.Playing());
    EXPECT_FALSE(r.Song().Loaded);
    EXPECT_EQ(r.ports.Latest()->NotesOnCount(), 0);
    EXPECT_NE(r.Lib().LastError().find("読み込みエラー"), std::string::npos);
    EXPECT_EQ(r.Lib().CurrentSource().FileName, "a.mid")
        << "the current record keeps the last good song";
}

TEST(PlayerPipeline, PortThatCannotOpenIsReported) {
    PipelineRig r(platform::RepeatMode::kList);
    r.ports.failing = {"Rec A", "Rec B"};
    r.session->Settings().Edit([&](settings::SettingsValues& v) {
        v.midiOutPort = "Rec A";
        v.outDevice = r.ports.DeviceByName("Rec A");
    });
    r.Open();
    EXPECT_TRUE(r.Lib().PortFailed());
    EXPECT_FALSE(r.Playing());
    ASSERT_FALSE(r.notifier.messages.empty());
    // The box says why below the short text (no SoundFont: where it looked).
    EXPECT_EQ(r.notifier.messages[0], std::string(msg::kCannotOpenDevice) + "\nport unavailable");
}

}  // namespace
}  // namespace sonfara::files::test
