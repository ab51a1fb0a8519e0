// Tempo map and payload numbering of the song table, through real loads.
#include "player/song/song_table.h"

#include <gtest/gtest.h>

#include "player/sequencer/song_cursors.h"
#include "player/song/smf_reader.h"
#include "tests/support_code/smf_bytes.h"

namespace sonfara {
namespace {

using test::Bytes;
using test::Smf;
using test::Track;

void Load(song::SongTable& song, const Bytes& file) {
    song::LoadOptions o;
    o.songFileName = "t.mid";
    song::LoadStatus r = song::LoadSMFBytes(file, song, o);
    ASSERT_TRUE(r.ok()) << r.Message();
}

TEST(TempoMap, DefaultTempoIs120Bpm) {
    song::SongTable s;
    Load(s, Smf(1, 480, {Track().Msg(480, {0x90, 60, 100}).Msg(480, {0x80, 60, 0}).End()}));
    EXPECT_EQ(s.TempoCount(), 1);
    EXPECT_EQ(s.TickToMs(480), 500);
    EXPECT_EQ(s.Event(1, 1).TimeMs(), 500);
    EXPECT_EQ(s.Event(1, 2).TimeMs(), 1000);
    EXPECT_EQ(s.TotalMs, 1000);
    EXPECT_EQ(s.TotalSeconds, 1);
    EXPECT_EQ(s.TickToMs(0), 0);
    EXPECT_EQ(s.TickToMs(-100), 0);
}

TEST(TempoMap, SegmentsAndLateFirstTempo) {
    song::SongTable s;
    Load(s, Smf(1, 480, {Track().Tempo(0, 500000).Tempo(960, 250000).End(480)}));
    ASSERT_EQ(s.TempoCount(), 3);  // the default entry plus two
    EXPECT_EQ(s.TickToMs(960), 1000);
    EXPECT_EQ(s.TickToMs(1440), 1250);
    EXPECT_EQ(s.Tempo(3).timeMs, 1000);
    EXPECT_EQ(s.TotalMs, 1250);

    song::SongTable late;
    Load(late,
         Smf(1, 480,
             {Track().Msg(480, {0x90, 60, 1}).Tempo(480, 250000).Msg(480, {0x80, 60, 0}).End()}));
    EXPECT_EQ(late.Event(1, 1).TimeMs(), 500);   // 120 BPM before the first tempo event
    EXPECT_EQ(late.Event(1, 2).TimeMs(), 1000);  // exactly on the change
    EXPECT_EQ(late.Event(1, 3).TimeMs(), 1250);
}

// Every event, whatever track it sits in, is timed before the end.
void ExpectNothingAfterEnd(const song::SongTable& s) {
    for (int t = 1; t <= s.NTracks; ++t)
        for (const auto& ev : s.TrackEvents(t)) EXPECT_LE(ev.TimeMs(), s.TotalMs) << "track " << t;
}

TEST(TempoMap, TempoEventsOfEveryTrackTimeEveryTrack) {
    // Tempo 120 -> 60 at tick 480 in track 2: tick 960 is 1500 ms in both tracks.
    song::SongTable slower;
    Load(slower, Smf(1, 480,
                     {Track().Msg(960, {0x90, 60, 1}).Msg(960, {0x80, 60, 0}).End(),
                      Track().Tempo(480, 1000000).Msg(480, {0x91, 60, 1}).End()}));
    EXPECT_EQ(slower.Event(1, 1).TimeMs(), 1500);
    EXPECT_EQ(slower.Event(2, 2).TimeMs(), 1500);
    EXPECT_EQ(slower.Event(1, 2).TimeMs(), 3500);
    EXPECT_EQ(slower.TotalMs, 3500);
    ExpectNothingAfterEnd(slower);

    // A rise to 240 in track 3, interleaved with track 1's own change; two
    // changes at one tick: the later track's is the one that holds.
    song::SongTable faster;
    Load(faster, Smf(1, 480,
                     {Track().Tempo(0, 500000).Tempo(960, 1000000).Msg(960, {0x90, 60, 1}).End(),
                      Track().Tempo(960, 250000).End(),
                      Track().Tempo(480, 250000).Msg(1440, {0x92, 60, 1}).End()}));
    EXPECT_EQ(faster.Event(1, 3).TimeMs(), 1250);  // 1920: 500 + 250 + 500 at 240
    EXPECT_EQ(faster.Event(3, 2).TimeMs(), 1250);
    EXPECT_EQ(faster.TotalMs, 1250);
    EXPECT_EQ(faster.TimeToTick(1250), 1920);
    ExpectNothingAfterEnd(faster);
}

TEST(TempoMap, FormatTwoPatternsPlayOneAfterAnother) {
    song::SongTable s;
    Load(s, Smf(2, 480,
                {Track().Tempo(0, 1000000).Msg(480, {0x90, 60, 1}).End(),
                 Track().Msg(0, {0x90, 62, 1}).Msg(480, {0x80, 62, 0}).End(),
                 Track().Tempo(0, 250000).Msg(480, {0x90, 64, 1}).End()}));
    // Pattern 1: 480 ticks at 60; pattern 2 from the default 120; pattern 3 at 240.
    EXPECT_EQ(s.Event(1, 2).TimeMs(), 1000);
    EXPECT_EQ(s.Event(2, 1).tick, 480);
    EXPECT_EQ(s.Event(2, 1).TimeMs(), 1000);
    EXPECT_EQ(s.Event(2, 2).TimeMs(), 1500);
    EXPECT_EQ(s.Event(3, 2).tick, 1440);
    EXPECT_EQ(s.Event(3, 2).TimeMs(), 1750);
    EXPECT_EQ(s.TotalMs, 1750);
    ExpectNothingAfterEnd(s);
}

// Thousands of changes in two tracks, interleaved and now and then at one
// tick: the map holds every one in tick order, the later track's last at a
// tie. At 480 ticks per quarter, 10 ticks of 480000 take 10 ms and of
// 960000 take 20 ms, so every time is exact.
TEST(TempoMap, ThousandsOfChangesFromTwoTracksStayExact) {
    constexpr int kSteps = 2600;  // past several growth steps of the map
    struct Expected {
        int32_t tick, tempo, ms;
    };
    std::vector<Expected> want = {{0, 500000, 0}};  // the default entry
    Track first, second;
    int32_t ms = 0, secondTick = 0;
    for (int k = 0; k < kSteps; ++k) {
        const int32_t at = 20 * k;
        const bool tie = k % 100 == 50;
        first.Tempo(k == 0 ? 0 : 20, 480000);
        want.push_back({at, 480000, ms});
        if (tie) {
            second.Tempo(at - secondTick, 960000);
            secondTick = at;
            want.push_back({at, 960000, ms});
        }
        ms += tie ? 20 : 10;
        second.Tempo(at + 10 - secondTick, 960000);
        secondTick = at + 10;
        want.push_back({at + 10, 960000, ms});
        ms += 20;
    }
    song::SongTable s;
    Load(s, Smf(1, 480, {first.End(), second.End()}));
    ASSERT_EQ(s.TempoCount(), static_cast<int32_t>(want.size()));
    for (int i = 1; i <= s.TempoCount(); ++i) {
        const song::TempoEntry& e = s.Tempo(i);
        const Expected& w = want[i - 1];
        ASSERT_EQ(e.tick, w.tick) << "entry " << i;
        ASSERT_EQ(e.tempo, w.tempo) << "entry " << i;
        ASSERT_EQ(e.timeMs, w.ms) << "entry " << i;
    }
    for (int i : {1000, 1001, 1002, 2048, 2049, 4097, s.TempoCount()}) {
        const song::TempoEntry& e = s.Tempo(i);
        EXPECT_EQ(s.TickToMs(e.tick + 5), e.timeMs + (e.tempo == 480000 ? 5 : 10)) << i;
    }
    EXPECT_EQ(s.TotalMs, ms - 20);  // the last change is the last event
}

TEST(TempoMap, TimeToTickInvertsTickToMs) {
    song::SongTable s;
    Load(s,
         Smf(1, 480, {Track().Tempo(0, 600000).Tempo(1920, 400000).Tempo(3000, 731000).End(5000)}));
    for (int32_t t = 0; t <= 10000; t += 37) {
        int32_t back = s.TimeToTick(s.TickToMs(t));
        EXPECT_NEAR(back, t, 1) << "tick " << t;
    }
    // Conversions in any order agree with those in increasing order (hint).
    int32_t a = s.TickToMs(9000), b = s.TickToMs(100), c = s.TickToMs(9000);
    EXPECT_EQ(a, c);
    EXPECT_EQ(b, s.TickToMs(100));
    EXPECT_EQ(s.TimeToTick(-50), 0);
}

TEST(TempoMap, SmpteDivisionTimesByFrames) {
    song::SongTable s;
    // 25 frames per second, 40 ticks per frame: 1000 ticks per second.
    int div = static_cast<int16_t>((static_cast<uint8_t>(-25) << 8) | 40);
    Load(s, Smf(1, div, {Track().Tempo(0, 250000).Msg(1500, {0x90, 60, 1}).End(500)}));
    EXPECT_TRUE(s.IsSmpte());
    EXPECT_EQ(s.Event(1, 2).TimeMs(), 1500);  // tempo does not matter
    EXPECT_EQ(s.TotalMs, 2000);
    EXPECT_EQ(s.TimeToTick(1500), 1500);
    EXPECT_EQ(s.TicksPerQuarter(), 500);
}

TEST(ExtendedData, IndexSplitsOverDataBytesAndRowsAreExact) {
    Track t;
    for (int i = 0; i < 300; ++i) t.Meta(0, 0x01, "x");
    t.SysEx(0, Bytes{0x7E, 0x7F, 0x09, 0x01, 0xF7});
    song::SongTable s;
    Load(s, Smf(1, 96, {t.End()}));
    const song::EventView sx = s.Event(1, 301);
    EXPECT_EQ(sx.status, 0xF0);
    EXPECT_EQ(sx.ExtIndex(), 301);
    const song::EventView meta300 = s.Event(1, 300);
    EXPECT_EQ(meta300.data1, 1);
    EXPECT_EQ(meta300.data2, 44);
    EXPECT_EQ(s.ExtendedData(300, 1), 0x01);  // meta type first
    EXPECT_EQ(s.ExtendedData(300, 2), 'x');
    EXPECT_EQ(s.ExtendedData(300, 3), 0);     // beyond the row: zero
    EXPECT_EQ(s.ExtendedData(301, 5), 0xF7);  // SysEx rows end with F7
    EXPECT_EQ(sx.Length(), 5);
    EXPECT_EQ(s.ExtCount(), 302);  // with End of Track
    EXPECT_EQ(s.ExtendedData(0, 1), 0);
    EXPECT_EQ(s.ExtendedData(9999, 1), 0);
}

TEST(SongTable, LoadReplacesEverything) {
    song::SongTable s;
    Load(s, Smf(1, 480, {Track().Meta(0, 0x03, "A").End(), Track().Meta(0, 0x03, "B").End()}));
    sequencer::SongCursors cursors;
    cursors.Fit(s);
    cursors.SetNextEvent(1, 5);
    cursors.SetTrackPortSkip(2, 1);
    Load(s, Smf(0, 96, {Track().End()}));
    cursors.Fit(s);  // what the player does after each load
    EXPECT_EQ(s.NTracks, 1);
    EXPECT_EQ(s.TrackName(2), "");
    EXPECT_EQ(cursors.NextEvent(1), 0);
    EXPECT_EQ(cursors.TrackPortSkip(2), 0);
    EXPECT_EQ(s.SongTitle, "t.mid");
}

}  // namespace
}  // namespace sonfara
