// The built-in Recomposer converter: files made by the test writer, the
// result read back with the real SMF reader and checked tick by tick.
#include "player/files/recomposer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include "player/song/smf_reader.h"
#include "tests/files/rcp_writer.h"

namespace sonfara::files::test {
namespace {

using Track = RcpTrackWriter;
using Song = RcpSongWriter;

RcpConversion Convert(const Song& w, RcpOptions o = {}) {
    const std::string b = w.Bytes();
    return ConvertRecomposer({reinterpret_cast<const uint8_t*>(b.data()), b.size()}, o);
}

::testing::AssertionResult Load(const RcpConversion& c, song::SongTable& s) {
    if (!c.Ok()) return ::testing::AssertionFailure() << "problem " << static_cast<int>(c.problem);
    song::LoadOptions o;
    o.fileKindLabel = c.formatText;
    const song::LoadStatus r =
        song::LoadSMFBytes({reinterpret_cast<const uint8_t*>(c.smf.data()), c.smf.size()}, s, o);
    if (!r.ok()) return ::testing::AssertionFailure() << r.Message();
    return ::testing::AssertionSuccess();
}

std::string Hex(std::span<const uint8_t> b) {
    std::string s;
    char buf[4];
    for (uint8_t v : b) {
        std::snprintf(buf, sizeof buf, "%s%02X", s.empty() ? "" : " ", v);
        s += buf;
    }
    return s;
}

// "tick:status data1 data2" for channel events, "tick:F0 body" for SysEx,
// "tick:FF type data" for meta events.
std::vector<std::string> Events(const song::SongTable& s, int track) {
    std::vector<std::string> out;
    for (const song::EventView e : s.TrackEvents(track)) {
        char head[32];
        std::snprintf(head, sizeof head, "%d:%02X", e.tick, e.status);
        std::string line = head;
        if (e.status == 0xFF && s.ExtendedData(e.ExtIndex(), 1) == 0x2F) continue;
        if (e.status >= 0xF0) {
            line += " " + Hex(s.ExtRow(e.ExtIndex()));
        } else {
            const uint8_t d[2] = {e.data1, e.data2};
            line += " " + Hex(std::span<const uint8_t>(d, e.Length()));
        }
        out.push_back(line);
    }
    return out;
}

std::vector<std::string> SysEx(const song::SongTable& s, int track) {
    std::vector<std::string> out;
    for (const std::string& e : Events(s, track)) {
        if (e.find(":F0") != std::string::npos) out.push_back(e);
    }
    return out;
}

// Every note of the song: channel, key, velocity, start, end.
using NoteSpan = std::tuple<int, int, int, int, int>;
std::vector<NoteSpan> Notes(const song::SongTable& s) {
    std::vector<NoteSpan> out;
    for (int t = 1; t <= s.NTracks; ++t) {
        std::map<int, std::vector<size_t>> open;  // channel * 128 + key -> notes
        for (const song::EventView e : s.TrackEvents(t)) {
            const int kind = e.status & 0xF0, slot = (e.status & 15) * 128 + e.data1;
            if (kind == 0x90 && e.data2 > 0) {
                open[slot].push_back(out.size());
                out.emplace_back(e.status & 15, e.data1, e.data2, e.tick, -1);
            } else if ((kind == 0x80 || kind == 0x90) && !open[slot].empty()) {
                std::get<4>(out[open[slot].front()]) = e.tick;
                open[slot].erase(open[slot].begin());
            }
        }
    }
    std::sort(out.begin(), out.end(), [](const NoteSpan& a, const NoteSpan& b) {
        return std::tie(std::get<3>(a), std::get<0>(a), std::get<1>(a)) <
               std::tie(std::get<3>(b), std::get<0>(b), std::get<1>(b));
    });
    return out;
}

// The tempo map in force: an entry replaced at its own tick is left out
// (the reader starts every song with 500000 at tick 0).
std::vector<std::pair<int, int>> Tempos(const song::SongTable& s) {
    std::vector<std::pair<int, int>> out;
    for (int i = 1; i <= s.TempoCount(); ++i) {
        if (!out.empty() && out.back().first == s.Tempo(i).tick) out.pop_back();
        out.emplace_back(s.Tempo(i).tick, s.Tempo(i).tempo);
    }
    return out;
}

// Keys and start ticks of every note, in order.
std::vector<std::pair<int, int>> KeysAt(const song::SongTable& s) {
    std::vector<std::pair<int, int>> out;
    for (const NoteSpan& n : Notes(s)) out.emplace_back(std::get<1>(n), std::get<3>(n));
    return out;
}

// The conductor's meta events of one type ("FF 58", "FF 59").
std::vector<std::string> Metas(const song::SongTable& s, const std::string& type) {
    std::vector<std::string> out;
    for (const std::string& e : Events(s, 1)) {
        if (e.find(type) != std::string::npos) out.push_back(e);
    }
    return out;
}

// The song's last tick: its latest event, the end-of-track events included.
int LastTick(const song::SongTable& s) {
    int last = 0;
    for (int t = 1; t <= s.NTracks; ++t) {
        for (const song::EventView e : s.TrackEvents(t))
            last = std::max(last, static_cast<int>(e.tick));
    }
    return last;
}

Song OneTrack(bool v3, const Track& t) {
    Song w;
    w.v3 = v3;
    w.tracks = {t};
    return w;
}

class BothGenerations : public ::testing::TestWithParam<bool> {};
INSTANTIATE_TEST_SUITE_P(Rcp, BothGenerations, ::testing::Values(false, true),
                         [](const auto& i) { return i.param ? "G36" : "RCP"; });

TEST_P(BothGenerations, HeaderTracksAndNotes) {
    Song w;
    w.v3 = GetParam();
    w.title = "Test Song";
    w.memo = {"first line", "", "third line"};
    w.timebase = 480;  // the v2 header's high byte counts
    w.tempo = 150;
    w.numerator = 3;
    w.key = 0x11;  // one sharp, minor
    w.playBias = 2;
    Track piano;
    piano.name = "Piano";
    piano.Note(60, 240, 200, 100).Note(64, 240, 250, 90).Note(65, 240, 0, 80).End();
    Track drums;  // rhythm: neither key+ nor the play bias
    drums.channel = 9;
    drums.key = 0x80;
    drums.Note(36, 0, 10, 127).End();
    Track up;  // key+ one octave, st+ 5
    up.channel = 1;
    up.key = 0x0C;
    up.stepShift = 5;
    up.Note(48, 0, 10, 64).End();
    Track early;  // st+ below the start stops at 0
    early.channel = 2;
    early.stepShift = -10;
    early.Note(50, 0, 20, 64).End();
    Track muted, off;
    muted.mode = 1;
    muted.Note(70, 0, 10, 64).End();
    off.channel = 0xFF;
    off.Note(71, 0, 10, 64).End();
    w.tracks = {piano, drums, up, early, muted, off};

    const RcpConversion c = Convert(w);
    song::SongTable s;
    ASSERT_TRUE(Load(c, s));
    EXPECT_EQ(c.formatText, GetParam() ? "RCM for Windows95" : "RCM Ver 2.0");
    EXPECT_EQ(s.FileKindLabel, c.formatText);
    EXPECT_EQ(s.SongTitle, "Test Song");
    EXPECT_EQ(s.Division, 480);
    EXPECT_EQ(s.BeatNumerator, 3);
    EXPECT_EQ(Tempos(s), (std::vector<std::pair<int, int>>{{0, 400000}}));
    EXPECT_EQ(Events(s, 1),
              (std::vector<std::string>{
                  "0:FF 03 54 65 73 74 20 53 6F 6E 67", "0:FF 01 66 69 72 73 74 20 6C 69 6E 65",
                  "0:FF 01 74 68 69 72 64 20 6C 69 6E 65", "0:FF 58 03 02 18 08", "0:FF 59 01 01",
                  "0:FF 51 06 1A 80"}));
    // Conductor, then the four tracks that sound; muted and switched-off
    // tracks are left out.
    ASSERT_EQ(s.NTracks, 5);
    EXPECT_EQ(s.TrackName(2), "Piano");
    EXPECT_EQ(Notes(s), (std::vector<NoteSpan>{{0, 62, 100, 0, 200},
                                               {2, 52, 64, 0, 20},
                                               {9, 36, 127, 0, 10},
                                               {1, 62, 64, 5, 15},
                                               {0, 66, 90, 240, 490}}));
}

TEST_P(BothGenerations, CommandsAndExclusives) {
    Song w;
    w.v3 = GetParam();
    w.userExclusive = {{0x41, 0x10, 0x42, 0x12, 0x83, 0x40, 0x11, 0x80, 0x81, 0x84, 0xF7}};
    Track t;
    t.channel = 2;
    t.Cmd(0xE2, 0, 5, 8)           // bank and program
        .Cmd(0xEB, 0, 7, 100)      // control
        .Cmd(0xEC, 0, 10)          // program
        .Cmd(0xEA, 0, 50)          // channel after touch
        .Cmd(0xED, 0, 60, 40)      // key after touch
        .Cmd(0xEE, 10, 0, 0x50)    // pitch bend, then 10 ticks
        .Cmd(0xDF, 0, 0x10, 0x42)  // Roland device and model
        .Cmd(0xDD, 0, 0x40, 0x00)  // base address
        .Cmd(0xDE, 0, 0x7F, 0x00)  // address low and data: GS reset
        .Cmd(0xD1, 0, 0x10, 0x4C)  // Yamaha device and model
        .Cmd(0xD0, 0, 0x00, 0x00)
        .Cmd(0xD2, 0, 0x7E, 0x00)  // XG system on
        .Cmd(0xD3, 0, 0x7E, 0x00)
        .Cmd(0x90, 0, 0x07, 0x64)  // user exclusive 1
        .Exclusive(5, 0x15, 0x06,
                   {0x41, 0x10, 0x42, 0x12, 0x83, 0x40, 0x10, 0x80, 0x82, 0x84, 0xF7})
        .Cmd(0xC1, 0, 0x20, 0x30)  // DX parameter on the track's channel
        .Cmd(0xE6, 0, 18)          // port B, channel 2
        .Note(60, 10, 5, 100)
        .Cmd(0xE6, 0, 0)  // off
        .Note(61, 10, 5, 100)
        .End();
    w.tracks = {t};
    song::SongTable s;
    ASSERT_TRUE(Load(Convert(w), s));
    EXPECT_EQ(Events(s, 2),
              (std::vector<std::string>{
                  "0:B2 00 08", "0:C2 05", "0:B2 07 64", "0:C2 0A", "0:D2 32", "0:A2 3C 28",
                  "0:E2 00 50", "10:F0 41 10 42 12 40 00 7F 00 41 F7",
                  "10:F0 43 10 4C 00 00 7E 00 F7", "10:F0 43 10 4C 00 00 7E 00 F7",
                  "10:F0 41 10 42 12 40 11 07 64 44 F7", "10:F0 41 10 42 12 40 10 15 02 19 F7",
                  "15:F0 43 12 00 20 30 F7", "15:FF 21 01", "15:91 3C 64", "20:81 3C 00"}));
}

TEST_P(BothGenerations, TiesLoopsAndSameMeasures) {
    Track t;
    // A key still sounding is not struck again: its gate runs on (tie).
    t.Note(60, 48, 96, 100).Note(60, 48, 48, 90).Note(60, 48, 20, 80).MeasureEnd();  // 0..144
    t.LoopStart().Note(62, 10, 5, 100).LoopEnd(3);  // 144, 154, 164
    t.LoopStart().LoopStart().Note(64, 10, 5, 1).LoopEnd(2).Note(65, 10, 5, 1).LoopEnd(2);
    t.LoopStart().Note(67, 10, 5, 100).LoopEnd(0).MeasureEnd();  // endless
    t.Note(69, 48, 24, 100).MeasureEnd();                        // measure 2
    t.SameMeasure(2);                                            // measure 3
    t.SameMeasure(3);                                            // 4 -> 3 -> 2
    t.Note(71, 48, 24, 100).End();
    const std::vector<int> common = {60, 60, 62, 62, 62, 64, 64, 65, 64, 64, 65};
    for (int loops : {2, 3}) {
        RcpOptions o;
        o.endlessLoops = loops;
        song::SongTable s;
        ASSERT_TRUE(Load(Convert(OneTrack(GetParam(), t), o), s));
        std::vector<int> keys, starts;
        for (const NoteSpan& n : Notes(s)) {
            keys.push_back(std::get<1>(n));
            starts.push_back(std::get<3>(n));
        }
        std::vector<int> want = common;
        want.insert(want.end(), loops, 67);
        want.insert(want.end(), {69, 69, 69, 71});
        EXPECT_EQ(keys, want) << loops;
        const int m2 = 234 + 10 * loops;
        EXPECT_EQ(std::vector<int>(starts.end() - 4, starts.end()),
                  (std::vector<int>{m2, m2 + 48, m2 + 96, m2 + 144}));
        EXPECT_EQ(Notes(s)[0], (NoteSpan{0, 60, 100, 0, 96}));
        EXPECT_EQ(Notes(s)[1], (NoteSpan{0, 60, 80, 96, 116}));
    }
}

// A reference is a measure of its own: runs of references with no measure
// end between them, references to a measure after references, and chains
// of references, each played in its place.
TEST_P(BothGenerations, ReferencesAreWholeMeasures) {
    Track t;
    t.Note(60, 96, 24, 100).Note(62, 48, 24, 100).MeasureEnd();  // 0: 3/4
    t.Note(64, 192, 24, 100).MeasureEnd();                       // 1: 4/4
    t.SameMeasure(0).SameMeasure(1).SameMeasure(0);              // 2, 3, 4
    t.Note(67, 96, 24, 100).MeasureEnd();                        // 5: 2/4
    t.SameMeasure(5);                                            // 6: after references
    t.SameMeasure(3);                                            // 7 -> 3 -> 1
    t.SameMeasure(7);                                            // 8 -> 7 -> 3 -> 1
    t.Note(72, 48, 24, 100).MeasureEnd();                        // 9: 1/4
    t.Note(74, 48, 24, 100).MeasureEnd().Note(76, 48, 24, 100).MeasureEnd().End();
    song::SongTable s;
    ASSERT_TRUE(Load(Convert(OneTrack(GetParam(), t)), s));
    EXPECT_EQ(KeysAt(s), (std::vector<std::pair<int, int>>{{60, 0},
                                                           {62, 96},
                                                           {64, 144},
                                                           {60, 336},
                                                           {62, 432},
                                                           {64, 480},
                                                           {60, 672},
                                                           {62, 768},
                                                           {67, 816},
                                                           {67, 912},
                                                           {64, 1008},
                                                           {64, 1200},
                                                           {72, 1392},
                                                           {74, 1440},
                                                           {76, 1488}}));
    EXPECT_EQ(Metas(s, "FF 58"),
              (std::vector<std::string>{"0:FF 58 03 02 18 08", "144:FF 58 04 02 18 08",
                                        "336:FF 58 03 02 18 08", "480:FF 58 04 02 18 08",
                                        "672:FF 58 03 02 18 08", "816:FF 58 02 02 18 08",
                                        "1008:FF 58 04 02 18 08", "1392:FF 58 01 02 18 08"}));
    EXPECT_EQ(LastTick(s), 1536);
}

// The place a reference names wins; its number counts references and empty
// measures (a measure end right after a reference) as measures and decides
// only when the place starts no measure.
TEST_P(BothGenerations, ReferencePlaceFirstThenNumber) {
    const bool v3 = GetParam();
    // The raw bytes of a reference: number, and place as event index.
    auto raw = [v3](uint8_t number, int index) {
        const int field = v3 ? index + 0x30 : 0x2C + index * 4;
        return v3 ? std::vector<uint8_t>{0, number, 0, static_cast<uint8_t>(field & 0xFF),
                                         static_cast<uint8_t>(field >> 8)}
                  : std::vector<uint8_t>{number, static_cast<uint8_t>(field & 0xFC),
                                         static_cast<uint8_t>(field >> 8)};
    };
    Track t;
    t.Note(60, 48, 24, 100).MeasureEnd();  // 0
    t.SameMeasure(0).MeasureEnd();         // 1, and 2 is empty
    t.Note(62, 48, 24, 100).MeasureEnd();  // 3
    t.Raw(0xFC, raw(3, 0x1FF0));           // 4: no such place, measure 3
    t.Raw(0xFC, raw(3, 0));                // 5: the place of measure 0, a stale number
    t.Raw(0xFC, raw(3, 4));                // 6: the middle of measure 3: the number
    t.SameMeasure(3).End();                // 7
    song::SongTable s;
    ASSERT_TRUE(Load(Convert(OneTrack(v3, t)), s));
    EXPECT_EQ(KeysAt(s),
              (std::vector<std::pair<int, int>>{
                  {60, 0}, {60, 48}, {62, 96}, {62, 144}, {60, 192}, {62, 240}, {62, 288}}));
    EXPECT_EQ(LastTick(s), 336);
}

// A 2.0 track past 64 KiB: the place field wraps, and the measure number
// tells which of the places it may mean is the measure.
TEST(Recomposer, ReferencesPastTheFirst64KiBOfATrack) {
    Track t;
    t.Note(60, 48, 24, 100).MeasureEnd();
    for (int m = 0; m < 260; ++m) {  // 64 events a measure, key scans that send nothing
        for (int e = 0; e < 63; ++e) t.Cmd(0xE5, 0);
        t.MeasureEnd();
    }
    t.Note(67, 48, 24, 100).MeasureEnd();  // measure 261, event 16642
    t.SameMeasure(261).End();              // its place wraps to event 258, which starts measure 5
    song::SongTable s;
    ASSERT_TRUE(Load(Convert(OneTrack(false, t)), s));
    EXPECT_EQ(KeysAt(s), (std::vector<std::pair<int, int>>{{60, 0}, {67, 48}, {67, 96}}));
}

// A song lasts to the end of its last measure, a closing rest included, or
// to a later note-off.
TEST_P(BothGenerations, SongEndsWithItsLastMeasure) {
    Track a;
    a.Note(60, 192, 24, 100).MeasureEnd();
    a.Note(62, 156, 10, 100).Note(64, 36, 24, 100).MeasureEnd().End();  // off at 372
    Track b;
    b.channel = 1;
    b.Note(48, 96, 24, 100).End();
    Song w = OneTrack(GetParam(), a);
    w.tracks.push_back(b);
    song::SongTable s;
    ASSERT_TRUE(Load(Convert(w), s));
    EXPECT_EQ(LastTick(s), 384);
    w.tracks[1] = Track().Cmd(0xE5, 200).Note(48, 10, 200, 100).End();  // a gate past the end
    ASSERT_TRUE(Load(Convert(w), s));
    EXPECT_EQ(LastTick(s), 400);
    Track quiet;  // steps with nothing to send still last
    quiet.Cmd(0xE5, 200).Cmd(0xE5, 200).End();
    ASSERT_TRUE(Load(Convert(OneTrack(GetParam(), quiet)), s));
    EXPECT_EQ(LastTick(s), 400);
}

TEST_P(BothGenerations, TempoChangesAtOnceAndGradually) {
    Track t;
    t.Cmd(0xE7, 96, 0x80)          // 240 BPM at once
        .Cmd(0xE7, 200, 0x40, 48)  // back to 120 over 48 ticks
        .Note(60, 184, 10, 100)
        .Cmd(0xE7, 120, 0x20)     // 60 BPM at 480
        .Cmd(0xE7, 24, 0x40, 96)  // a glide from 600 ...
        .Cmd(0xE7, 10, 0x20)      // ... cut short at 624
        .Note(60, 0, 10, 100)
        .End();
    song::SongTable s;
    ASSERT_TRUE(Load(Convert(OneTrack(GetParam(), t)), s));
    const auto tempos = Tempos(s);
    ASSERT_GE(tempos.size(), 6u);
    EXPECT_EQ(tempos[0], (std::pair<int, int>{0, 250000}));
    int last = 250000, lastTick = 0;
    size_t i = 1;
    for (; tempos[i].first < 480; ++i) {  // the glide climbs to 120 BPM by tick 144
        EXPECT_GT(tempos[i].second, last);
        EXPECT_GT(tempos[i].first, lastTick);
        EXPECT_LE(tempos[i].first, 144);
        last = tempos[i].second;
        lastTick = tempos[i].first;
    }
    EXPECT_EQ(lastTick, 144);
    EXPECT_EQ(last, 500000);
    EXPECT_EQ(tempos[i], (std::pair<int, int>{480, 1000000}));
    EXPECT_EQ(tempos.back(), (std::pair<int, int>{624, 1000000}));
    EXPECT_LT(tempos[tempos.size() - 2].first, 624);
}

TEST(Recomposer, SignaturesFollowMeasuresAndKeyCommands) {
    Song w;
    w.numerator = 3;
    Track t;
    t.Note(60, 144, 10, 100).MeasureEnd();                        // 3/4
    t.Note(60, 96, 10, 100).MeasureEnd();                         // 2/4
    t.Cmd(0xF5, 0x09).Note(60, 144, 10, 100).MeasureEnd().End();  // one flat from 240
    w.tracks = {t};
    song::SongTable s;
    ASSERT_TRUE(Load(Convert(w), s));
    std::vector<std::string> metas;
    for (const std::string& e : Events(s, 1)) {
        if (e.find("FF 58") != std::string::npos || e.find("FF 59") != std::string::npos)
            metas.push_back(e);
    }
    EXPECT_EQ(metas, (std::vector<std::string>{"0:FF 58 03 02 18 08", "0:FF 59 00 00",
                                               "144:FF 58 02 02 18 08", "240:FF 58 03 02 18 08",
                                               "240:FF 59 FF 00"}));
}

TEST(Recomposer, SameMeasureReferencesAreCheckedAndFallBackToTheNumber) {
    auto convert = [](bool v3, std::vector<uint8_t> fc) {
        Track t;
        t.Note(60, 48, 24, 100).MeasureEnd().Raw(0xFC, std::move(fc)).End();
        return Convert(OneTrack(v3, t));
    };
    // The place points nowhere, the number (measure 0) is good.
    song::SongTable s;
    ASSERT_TRUE(Load(convert(false, {0x00, 0xFC, 0x7F}), s));
    EXPECT_EQ(Notes(s).size(), 2u);
    ASSERT_TRUE(Load(convert(true, {0x00, 0x00, 0x00, 0xFF, 0x7F}), s));
    EXPECT_EQ(Notes(s).size(), 2u);
    // Neither place nor number exists.
    EXPECT_EQ(convert(false, {0x09, 0xFC, 0x7F}).problem, RcpProblem::kMissingMeasure);
    EXPECT_EQ(convert(true, {0x00, 0x09, 0x00, 0xFF, 0x7F}).problem, RcpProblem::kMissingMeasure);
    // A measure that refers to itself, and two that refer to each other.
    Track self;
    self.MeasureEnd().SameMeasure(1).End();
    EXPECT_EQ(Convert(OneTrack(false, self)).problem, RcpProblem::kSameMeasureLoop);
    Track pair;
    pair.SameMeasure(1).SameMeasure(0).End();
    EXPECT_EQ(Convert(OneTrack(true, pair)).problem, RcpProblem::kSameMeasureLoop);
}

std::string Cm6Image() {
    std::string f(0x5849, '\0');
    f.replace(0, 16, std::string("COME ON MUSIC\0\0\0", 16));
    f.replace(0x10, 10, "R CM-64   ");
    for (size_t i = 0; i < 0x17; ++i) f[0x80 + i] = static_cast<char>(i);  // system area
    f[0x0E34 + 0x100] = 0x33;  // first byte of memory timbre 2
    return f;
}

std::string GsdImage() {
    std::string f(0xA71, '\0');
    f.replace(0, 14, std::string("COME ON MUSIC\0", 14));
    f.replace(0x0E, 14, "GS CONTROL 1.0");
    for (size_t i = 0; i < 7; ++i) f[0x27 + i] = static_cast<char>(0x10 + i);  // reverb
    f[0x36 + 9 * 0x7A + 1] = 0x19;                                             // part 10's program
    for (size_t p = 0; p < 16; ++p) f[0x36 + p * 0x7A + 0x79] = static_cast<char>(p);
    f[0xA6E] = 0x00;
    f[0xA6F] = 0x20;  // master tune: none
    return f;
}

TEST(Recomposer, ControlFilesAreSentAtTheStart) {
    Song w;
    w.v3 = true;
    w.cm6 = "SONG.CM6";
    w.gsd = "SONG.GSD";
    w.gsdPortB = "MISSING.GSD";
    w.tracks = {Track().Note(60, 0, 10, 100).End()};
    RcpOptions o;
    o.controlFile = [](const std::string& name) -> std::optional<std::string> {
        if (name == "SONG.CM6") return Cm6Image();
        if (name == "SONG.GSD") return GsdImage();
        return std::nullopt;
    };
    const RcpConversion c = Convert(w, o);
    song::SongTable s;
    ASSERT_TRUE(Load(c, s));
    EXPECT_EQ(c.missingControlFiles, std::vector<std::string>{"MISSING.GSD"});
    const std::vector<std::string> sx = SysEx(s, 1);
    auto has = [&sx](const std::string& prefix) {
        return std::count_if(sx.begin(), sx.end(),
                             [&](const std::string& e) { return e.rfind(prefix, 0) == 0; });
    };
    EXPECT_EQ(has("0:F0 41 10 16 12"), 179);            // the CM-64 image in 128-byte messages
    EXPECT_EQ(has("0:F0 41 10 16 12 08 02 00 33"), 1);  // memory timbre 2
    EXPECT_EQ(has("0:F0 41 10 16 12 10 00 00 00 01 02 03"), 1);
    EXPECT_EQ(has("0:F0 41 10 42 12 40 01 30 10 11 12 13 14 15 16 0A F7"), 1);
    EXPECT_EQ(has("0:F0 41 10 42 12 40 00 00 00 04 00 00 3C F7"), 1);
    EXPECT_EQ(has("0:F0 41 10 42 12 40 10 00 00 19"), 1);  // part 10 is block 0
    EXPECT_EQ(has("0:F0 41 10 42 12 40 01 10 09 00 01 02 03 04 05 06 07 08 0A"), 1);
    EXPECT_EQ(has("0:F0 41 10 42 12 41 02 1B"), 1);  // drum levels of map 0 from note 27
    // The file beside the song is found whatever the letter case.
    const std::string dir = ::testing::TempDir() + "rcp-control";
    std::remove((dir + "/song.gsd").c_str());
    ::mkdir(dir.c_str(), 0700);
    w.cm6.clear();
    w.gsdPortB.clear();
    FILE* f = std::fopen((dir + "/song.g36").c_str(), "wb");
    const std::string song = w.Bytes();
    std::fwrite(song.data(), 1, song.size(), f);
    std::fclose(f);
    EXPECT_EQ(ConvertRecomposerFile(dir + "/song.g36", 2).missingControlFiles,
              std::vector<std::string>{"SONG.GSD"});
    f = std::fopen((dir + "/song.gsd").c_str(), "wb");
    const std::string gsd = GsdImage();
    std::fwrite(gsd.data(), 1, gsd.size(), f);
    std::fclose(f);
    EXPECT_TRUE(ConvertRecomposerFile(dir + "/song.g36", 2).missingControlFiles.empty());
}

TEST(Recomposer, BadInputIsRefusedWithinBounds) {
    auto convertBytes = [](const std::string& b) {
        return ConvertRecomposer({reinterpret_cast<const uint8_t*>(b.data()), b.size()}, {});
    };
    Song w;
    w.tracks = {Track().Note(60, 48, 24, 100).Note(62, 48, 24, 100).End()};
    const std::string good = w.Bytes();
    EXPECT_EQ(convertBytes("MThd\0\0\0\6").problem, RcpProblem::kUnknownHeader);
    EXPECT_EQ(convertBytes(good.substr(0, 0x300)).problem, RcpProblem::kTruncated);
    EXPECT_EQ(convertBytes(good.substr(0, good.size() - 3)).problem, RcpProblem::kTruncated);
    for (size_t n = 0; n <= good.size(); n += 7) convertBytes(good.substr(0, n));  // no crash
    Song fewer = w;  // fewer tracks than the header says: a DOS end mark is no cut track
    fewer.trackCountField = 18;
    EXPECT_TRUE(convertBytes(fewer.Bytes() + "\x1A").Ok());
    EXPECT_EQ(convertBytes(fewer.Bytes() + "\x2C").problem, RcpProblem::kTruncated);
    Song many = w;
    many.trackCountField = 99;
    EXPECT_EQ(Convert(many).problem, RcpProblem::kUnknownHeader);

    Track bomb;  // 255^6 plays of one note
    for (int i = 0; i < 6; ++i) bomb.LoopStart();
    bomb.Note(60, 1, 1, 100);
    for (int i = 0; i < 6; ++i) bomb.LoopEnd(255);
    EXPECT_EQ(Convert(OneTrack(false, bomb.End())).problem, RcpProblem::kTooManyEvents);
    Track slow;  // 2000 steps of 65535 ticks: hundreds of hours
    for (int i = 0; i < 2000; ++i) slow.Note(60, 65535, 10, 100);
    EXPECT_EQ(Convert(OneTrack(true, slow.End())).problem, RcpProblem::kTooLong);

    EXPECT_EQ(RcpProblemText(RcpProblem::kTruncated, "/x/a.rcp"),
              "レコンポーザ形式のファイルを変換できませんでした（ファイルが途中で切れています）: "
              "/x/a.rcp");
}

TEST(Recomposer, TextsBecomeCp932) {
    Song w;
    // PC-98 row 9 ('!' and '"'), row 10 (half-width katakana), row 11 (no
    // counterpart), and an ordinary CP932 character.
    w.title = "\x85\x40\x85\x41\x85\x9F\x86\x40\x82\xA0";
    w.tracks = {Track().Comment("a comment").Note(60, 0, 10, 100).End()};
    song::SongTable s;
    const RcpConversion c = Convert(w);
    ASSERT_TRUE(Load(c, s));
    EXPECT_EQ(c.title, "!\"\xA1\x81\xAC\x82\xA0");
    EXPECT_EQ(s.SongTitle, c.title);
    const std::string b = w.Bytes();
    EXPECT_EQ(RecomposerTitle({reinterpret_cast<const uint8_t*>(b.data()), 0xA0}), c.title);
    EXPECT_EQ(Events(s, 2)[0], "0:FF 01 61 20 63 6F 6D 6D 65 6E 74");
}

}  // namespace
}  // namespace sonfara::files::test
