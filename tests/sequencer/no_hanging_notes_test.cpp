// Properties over generated songs and random operations: no note is left on
// at the port after any silencing operation, and a real timer thread with a
// concurrent reader of the channel state (run under ThreadSanitizer).
#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "tests/sequencer/rig.h"

namespace sonfara {
namespace {

using test::BuildSmf;
using test::Rig;
using test::TrackBuilder;

// A song of 1-4 tracks with overlapping notes, controllers, pitch bends,
// programs and SysEx, every note released before the end; with a loop from
// loopStartMs (controller 111) to a marked end at 1100 ms when it is given.
std::vector<uint8_t> RandomSong(std::mt19937& rng, int lengthMs, int loopStartMs = -1) {
    std::uniform_int_distribution<int> tracksD(1, 4), chD(0, 15), noteD(20, 110), velD(1, 127);
    const int nTracks = tracksD(rng);
    std::vector<TrackBuilder> tracks(nTracks);
    for (auto& t : tracks) {
        struct Ev {
            int tick;
            std::vector<uint8_t> b;
        };
        std::vector<Ev> evs;
        const int n = std::uniform_int_distribution<int>(5, 60)(rng);
        for (int i = 0; i < n; ++i) {
            int at = std::uniform_int_distribution<int>(0, lengthMs - 50)(rng);
            uint8_t c = static_cast<uint8_t>(chD(rng));
            switch (std::uniform_int_distribution<int>(0, 5)(rng)) {
                case 0:
                    evs.push_back({at,
                                   {static_cast<uint8_t>(0xB0 | c),
                                    static_cast<uint8_t>(
                                        std::uniform_int_distribution<int>(0, 127)(rng) % 100),
                                    static_cast<uint8_t>(velD(rng))}});
                    break;
                case 1:
                    evs.push_back(
                        {at, {static_cast<uint8_t>(0xC0 | c), static_cast<uint8_t>(velD(rng))}});
                    break;
                case 2:
                    evs.push_back(
                        {at, {static_cast<uint8_t>(0xE0 | c), 0, static_cast<uint8_t>(velD(rng))}});
                    break;
                default: {
                    uint8_t note = static_cast<uint8_t>(noteD(rng));
                    int len = std::uniform_int_distribution<int>(1, 400)(rng);
                    int off = std::min(at + len, lengthMs);
                    evs.push_back(
                        {at,
                         {static_cast<uint8_t>(0x90 | c), note, static_cast<uint8_t>(velD(rng))}});
                    // Note-offs in both spellings.
                    if (rng() & 1)
                        evs.push_back({off, {static_cast<uint8_t>(0x80 | c), note, 0x40}});
                    else
                        evs.push_back({off, {static_cast<uint8_t>(0x90 | c), note, 0}});
                }
            }
        }
        if (loopStartMs >= 0 && &t == &tracks[0]) evs.push_back({loopStartMs, {0xB0, 111, 0}});
        std::stable_sort(evs.begin(), evs.end(),
                         [](const Ev& a, const Ev& b) { return a.tick < b.tick; });
        for (auto& e : evs) {
            if (e.b.size() == 3)
                t.Ev(e.tick, {e.b[0], e.b[1], e.b[2]});
            else
                t.Ev(e.tick, {e.b[0], e.b[1]});
        }
    }
    tracks[0].SysEx(tracks[0].Last(), {0x7E, 0x7F, 0x09, 0x01, 0xF7});
    if (loopStartMs >= 0)
        tracks.push_back(TrackBuilder().Meta(1100, 0x06, {'l', 'o', 'o', 'p', 'E', 'n', 'd'}));
    return BuildSmf(1, tracks);
}

// Sound left on at any port: notes, and held pedals unless the song plays
// on (a chase puts the song's pedals back down).
int NotesOnAnywhere(Rig& r, bool pedalsToo = true) {
    int n = 0;
    for (auto& p : r.ports.Opened())
        n += pedalsToo ? p->NotesOnCount() : static_cast<int>(p->NotesOn().size());
    return n;
}

TEST(NoHangingNotes, RandomOperationsOverGeneratedSongs) {
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        std::mt19937 rng(seed);
        sequencer::PlaybackSettings s;
        s.repeatMode = platform::RepeatMode(std::uniform_int_distribution<int>(0, 3)(rng));
        s.preciseTiming = rng() & 1;
        // Loop jumps in a quarter of the runs, with a fade in half of those.
        s.loopCount = seed % 4 == 0 ? 2 : 0;
        s.loopFadeSeconds = seed % 8 == 0 ? 1 : 0;
        Rig r(s);
        std::vector<std::vector<uint8_t>> songs;
        const int lengthMs = 1500;
        for (int i = 0; i < 3; ++i) songs.push_back(RandomSong(rng, lengthMs, 300 + 100 * i));
        r.Start(songs);
        for (int step = 0; step < 40; ++step) {
            const int op = std::uniform_int_distribution<int>(0, 11)(rng);
            bool mustBeSilent = false;
            switch (op) {
                case 0:
                    r.Seq().StopSong();
                    mustBeSilent = true;
                    break;
                case 1:
                    r.Seq().PauseSong();
                    mustBeSilent = r.Seq().Paused();
                    break;
                case 2:
                    r.Seq().ResumeSong();
                    break;
                case 3:
                    r.Seq().SeekTo(std::uniform_int_distribution<int>(0, lengthMs)(rng));
                    mustBeSilent = true;
                    break;
                case 4:
                    EXPECT_TRUE(r.Seq().ChangeOutputPort(static_cast<int>(rng() % 2)).ok());
                    mustBeSilent = true;
                    break;
                case 5:
                    r.player->SetTranspose(std::uniform_int_distribution<int>(-12, 12)(rng));
                    mustBeSilent = true;
                    break;
                case 6:
                    r.player->SwitchChannel(static_cast<int>(rng() % 16) + 1, rng() & 1);
                    break;
                case 7:
                    (rng() & 1) ? r.Seq().SpeedUp() : r.Seq().SpeedDown();
                    break;
                case 8:
                    (rng() & 1) ? r.Seq().PlayNextSong() : r.Seq().PlayPrevSong();
                    break;
                default:
                    r.RunMs(std::uniform_int_distribution<int>(1, 700)(rng));
                    // What sounds at the port is what the song holds down, also
                    // after the jumps of a loop.
                    ASSERT_EQ(static_cast<int>(r.Port().NotesOn().size()),
                              r.Out().SoundingNotes.load())
                        << "seed " << seed << " step " << step;
            }
            ASSERT_FALSE(mustBeSilent && NotesOnAnywhere(r, r.Seq().Paused()) != 0)
                << "seed " << seed << " step " << step << " op " << op;
        }
        // Let every song run out; stop-at-end, repeats and list changes all
        // pass the end of a song here.
        r.Seq().ResumeSong();
        r.RunMs(3 * lengthMs * 3);
        if (s.repeatMode == platform::RepeatMode::kStopAtEnd) {
            EXPECT_FALSE(r.timers.Active()) << "seed " << seed;
            EXPECT_EQ(NotesOnAnywhere(r), 0) << "seed " << seed;
        }
        r.player->Shutdown();
        EXPECT_EQ(NotesOnAnywhere(r), 0) << "seed " << seed;
    }
}

// The real timer thread plays while this thread polls what the displays
// read and the UI thread moves the position. Meant for the tsan preset.
TEST(NoHangingNotes, RealTimerThreadWithConcurrentReader) {
    platform::ThreadTimerService timers;
    platform::RecordingOutputSystem ports(platform::SteadyClock::Instance());
    sequencer::ManualUiScheduler ui;
    platform::CodePage cp("CP932");
    sequencer::PlaybackSettings s;
    s.repeatMode = platform::RepeatMode::kSong;
    s.loopCount = sequencer::kEndlessLoops;  // loop jumps on the timer thread too
    sequencer::Player player(
        sequencer::PlayerEnv{platform::SteadyClock::Instance(), timers, ports, ui, cp}, s);
    std::mt19937 rng(7);
    auto song = RandomSong(rng, 600, 200);
    test::TestOpener opener(player, test::TestOpener::Bytes(song, cp));
    opener.Assign({"song"});
    ASSERT_TRUE(player.PlayEntry(1));

    std::atomic<bool> done{false};
    std::atomic<long> reads{0};
    std::thread reader([&] {
        long sum = 0;
        while (!done.load()) {
            for (int c = 1; c <= 16; ++c) {
                const sequencer::ChannelState& ch = player.Output().Channel(c);
                sum += ch.NoteCount.load(std::memory_order_relaxed) +
                       ch.Volume.load(std::memory_order_relaxed);
                sum += ch.NoteOn[60].load(std::memory_order_relaxed) +
                       ch.Dirty.load(std::memory_order_relaxed);
            }
            sum += player.Seq().ElapsedSeconds();
            sum += player.Seq().CurrentTick();
            sum += player.Cursors().NextEvent(1);
            sum += player.Cursors().ListNext(1);
            sum += static_cast<long>(player.Output().DisplayText.Get().size());
            sum += player.Seq().PositionMs();
            sum += player.Seq().LoopsDone() + player.Output().FadeLevel();
            reads++;
            std::this_thread::yield();
        }
        EXPECT_NE(sum, -1);
    });
    for (int i = 0; i < 12; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        ui.RunPending();
        switch (i % 6) {
            case 0:
                player.Seq().SeekTo(static_cast<int32_t>(rng() % 600));
                break;
            case 1:
                player.Seq().PauseSong();
                break;
            case 2:
                player.Seq().ResumeSong();
                break;
            case 3:
                player.Seq().SpeedUp();
                break;
            case 4:
                player.SetTranspose(static_cast<int>(rng() % 5));
                break;
            case 5:
                EXPECT_TRUE(player.Seq().ChangeOutputPort(1).ok());
                break;
        }
    }
    player.Shutdown();
    done = true;
    reader.join();
    EXPECT_GT(reads.load(), 0);
    for (auto& p : ports.Opened()) EXPECT_EQ(p->NotesOnCount(), 0);
}

}  // namespace
}  // namespace sonfara
