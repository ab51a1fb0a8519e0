// The session with the real timer thread while one thread takes snapshots
// every millisecond and another adds and removes observers. Meant for the
// tsan preset (.ci/run runs it there).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "tests/session/session_fixture.h"

namespace sonfara {
namespace {

using test::BuildSmf;
using test::TrackBuilder;

struct Counting : session::SessionObserver {
    std::atomic<int> modules{0}, opened{0};
    void OnModuleIndicator() override { modules.fetch_add(1, std::memory_order_relaxed); }
    void OnSongOpened(int, bool, const std::string&) override { opened.fetch_add(1); }
};

std::vector<uint8_t> DenseSong(int lengthMs) {
    TrackBuilder t;
    t.SysEx(0, {0x7E, 0x7F, 0x09, 0x01, 0xF7});
    for (int ms = 0; ms < lengthMs; ms += 10) {
        const uint8_t ch = static_cast<uint8_t>((ms / 10) % 16);
        const uint8_t note = static_cast<uint8_t>(40 + (ms / 10) % 40);
        t.Ev(ms, {static_cast<uint8_t>(0xB0 | ch), 7, static_cast<uint8_t>(ms % 128)})
            .Ev(ms, {static_cast<uint8_t>(0x90 | ch), note, 0x50})
            .Ev(ms + 8, {static_cast<uint8_t>(0x80 | ch), note, 0x40});
    }
    return BuildSmf(0, {t});
}

TEST(SessionThreads, RealTimerWithSnapshotReaderAndObserverChurn) {
    const std::string folder = test::ScratchFolder();
    platform::ThreadTimerService timers;
    platform::RecordingOutputSystem ports(platform::SteadyClock::Instance());
    sequencer::ManualUiScheduler ui;
    platform::CodePage cp("CP932");
    test::RecordingNotifier notifier;
    session::SessionEnv env(platform::SteadyClock::Instance(), timers, ports, ui, cp, notifier,
                            folder + "/work/");
    session::PlaybackSession session(std::move(env));
    session.Songs().OpenPaths({test::WriteSong(folder, "a.mid", DenseSong(300)),
                               test::WriteSong(folder, "b.mid", DenseSong(400))});
    ASSERT_TRUE(session.Snapshot().playing) << session.Songs().LastError();

    // What the display reads and takes, from a thread of its own.
    sequencer::OutputLayer& layer = session.Output().Layer();
    std::atomic<bool> done{false};
    std::atomic<long> snapshots{0};
    std::thread reader([&] {
        long sum = 0;
        while (!done.load()) {
            const session::SessionSnapshot s = session.Snapshot();
            sum += s.positionMs + s.bar + static_cast<long>(s.title.size() + s.displayText.size());
            for (int c = 1; c <= 16; ++c) sum += session.Output().Channel(c).NoteCount.load();
            sum += layer.DotRows[0].load();
            layer.Channel(1 + static_cast<int>(sum & 15)).Dirty.exchange(0);
            snapshots.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_NE(sum, -1);
    });
    Counting kept;
    session.AddObserver(&kept);
    std::thread churn([&] {
        while (!done.load()) {
            Counting passing;
            session.AddObserver(&passing);
            std::this_thread::sleep_for(std::chrono::microseconds(300));
            session.RemoveObserver(&passing);
        }
    });

    // The UI thread meanwhile: its queue (end-of-song opens) and transport.
    for (int i = 0; i < 60; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ui.RunPending();
        switch (i % 10) {
            case 2:
                session.Transport().SeekTo(100);
                break;
            case 4:
                session.Transport().Pause();
                break;
            case 5:
                session.Transport().Play();
                break;
            case 6:
                session.Transport().KeyUp();
                break;
            case 7:
                session.Output().ToggleSolo(3);
                break;
            case 8:
                session.Output().ToggleSolo(3);
                break;
            case 9:
                session.Transport().SpeedUp();
                break;
            default:
                break;
        }
    }
    session.Shutdown();
    done.store(true);
    reader.join();
    churn.join();
    ui.RunPending();
    session.RemoveObserver(&kept);
    EXPECT_GT(snapshots.load(), 100);
    EXPECT_GT(kept.modules.load(), 0);
    EXPECT_EQ(ports.Latest()->NotesOnCount(), 0);
}

// A large song is read on a worker thread while the UI thread goes on; an
// open that comes meanwhile wins, and the first song's result is dropped.
TEST(SessionThreads, LargeSongsLoadOnAWorkerAndTheNewestOpenWins) {
    test::SessionRig r(nullptr, nullptr, /*backgroundLoadBytes=*/0);
    struct Opened : session::SessionObserver {
        std::vector<std::pair<bool, std::string>> songs;
        std::vector<std::string> failures;
        void OnSongOpened(int, bool ok, const std::string& t) override {
            songs.push_back({ok, t});
            if (!ok && !t.empty()) failures.push_back(t);
        }
    } seen;
    r.S().AddObserver(&seen);
    const auto waitForLoad = [&] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (r.Snap().loading && std::chrono::steady_clock::now() < end) {
            r.ui.RunPending();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return !r.Snap().loading;
    };
    const std::string a = test::WriteSong(r.folder, "a.mid", test::TenSecondSong(60));
    const std::string b = test::WriteSong(r.folder, "b.mid", test::TenSecondSong(70));
    r.S().Songs().OpenPaths({a}, session::OpenMode::kReplace);
    EXPECT_TRUE(r.Snap().loading);
    EXPECT_FALSE(r.Snap().loaded);
    r.S().Songs().OpenPaths({b}, session::OpenMode::kReplace);
    ASSERT_TRUE(waitForLoad());
    ASSERT_EQ(seen.songs.size(), 1u);
    EXPECT_EQ(seen.songs[0], std::make_pair(true, std::string("b.mid")));
    EXPECT_TRUE(r.Snap().loaded);
    r.RunMs(50);
    const auto notes = r.Port().NotesOn();
    EXPECT_EQ(notes, std::vector<int>{70});

    const std::string bad = test::WriteSong(r.folder, "bad.mid", {'M', 'T', 'h', 'd', 0, 0});
    r.S().Songs().OpenPaths({bad}, session::OpenMode::kReplace);
    ASSERT_TRUE(waitForLoad());
    ASSERT_EQ(seen.songs.size(), 2u);
    EXPECT_FALSE(seen.songs[1].first);
    ASSERT_EQ(seen.failures.size(), 1u);
    EXPECT_EQ(seen.failures[0].rfind("読み込みエラー", 0), 0u) << seen.failures[0];
    EXPECT_FALSE(r.Snap().loaded);
    r.S().RemoveObserver(&seen);
}

}  // namespace
}  // namespace sonfara
