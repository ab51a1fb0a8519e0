// Loop jumps inside the tick: the bytes at the port across a jump, the loop
// count before the end-of-song step, the fade after the last loop.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/sequencer/rig.h"

namespace sonfara {
namespace {

using test::BuildSmf;
using test::Rig;
using test::TrackBuilder;

sequencer::PlaybackSettings Loops(int count, int fadeSeconds = 0) {
    sequencer::PlaybackSettings s;
    s.loopCount = count;
    s.loopFadeSeconds = fadeSeconds;
    s.repeatMode = platform::RepeatMode::kStopAtEnd;
    return s;
}

int64_t TimeOf(Rig& r, const std::string& line, int nth = 1) {
    for (const auto& m : r.Port().Messages())
        if (!m.isReset && platform::HexLine(m.bytes) == line && --nth == 0) return m.us;
    return -1;
}

int Count(const std::vector<std::string>& lines, const std::string& line) {
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

// The lines of a seek's chase: after the reset and its GM System On.
std::vector<std::string> SeekChase(Rig& r, int32_t posMs) {
    r.Port().ClearLog();
    r.Seq().SeekTo(posMs);
    std::vector<std::string> lines = r.ShortLines();
    auto reset = std::find(lines.begin(), lines.end(), "RESET");
    return {reset + 2, lines.end()};
}

TEST(Loops, JumpEndsNotesAndPedalsAndChasesAsASeekDoes) {
    TrackBuilder t;
    t.SysEx(0, {0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7})  // GS reset
        .Ev(0, {0xC0, 0x10})
        .Ev(0, {0xB0, 0x07, 0x50})
        .Ev(100, {0xE0, 0x00, 0x50})
        .Ev(500, {0xB0, 111, 0x00})  // the loop start; the end is the song's
        .Ev(500, {0x90, 0x3C, 0x64})
        .Ev(700, {0xB0, 0x40, 0x7F})
        .Ev(800, {0xE0, 0x00, 0x20})
        .Ev(900, {0x80, 0x3C, 0x00})
        .Ev(950, {0x90, 0x3E, 0x64})  // still held at the end
        .Ev(1000, {0xB0, 0x0B, 0x64});
    Rig r(Loops(1));
    r.player->SetTranspose(2);
    r.Start(BuildSmf(0, {t}));
    r.RunMs(1003);
    r.Port().ClearLog();
    const int resets = r.Port().ResetCount();
    r.RunMs(5);  // the tick at song time 1000

    const std::vector<std::string> lines = r.ShortLines();
    // The song's last event, then the held key (transposed) and the pedal
    // released before anything of the chase.
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "B0 0B 64");
    const auto chaseFrom = std::find(lines.begin(), lines.end(), "BF 0A 41") + 1;
    const std::vector<std::string> release(lines.begin(), chaseFrom);
    EXPECT_EQ(Count(release, "90 40 00"), 1);
    EXPECT_EQ(Count(release, "B0 40 00"), 1);
    EXPECT_EQ(Count(release, "B0 79 00"), 1);
    EXPECT_EQ(r.Port().ResetCount(), resets);  // no device reset, no gap
    // The loop start's note is struck in the same tick, and only it sounds.
    const auto restart = std::find(chaseFrom, lines.end(), "B0 6F 00");
    ASSERT_NE(restart, lines.end());
    EXPECT_EQ(std::vector<std::string>(restart, lines.end()),
              (std::vector<std::string>{"B0 6F 00", "90 3E 64"}));
    EXPECT_EQ(TimeOf(r, "90 3E 64"), TimeOf(r, "B0 0B 64"));
    EXPECT_EQ(r.Port().NotesOn(), std::vector<int>{0x3E});
    EXPECT_TRUE(r.Port().PedalsDown().empty());
    EXPECT_LT(r.Seq().PositionMs(), 500 + 5);
    EXPECT_EQ(r.Seq().LoopsDone(), 1);

    // The chase is a seek's, but for the module reset a jump passes over.
    const std::vector<std::string> jumpChase(chaseFrom, restart);
    std::vector<std::string> seekChase = SeekChase(r, 500);
    std::erase(seekChase, "F0 41 10 42 12 40 00 7F 00 41 F7");
    EXPECT_EQ(jumpChase, seekChase);
    EXPECT_EQ(jumpChase.front(), "C0 10");
    EXPECT_EQ(Count(jumpChase, "E0 00 50"), 1);
}

// A marked loop with an intro and an ending: it repeats its count, then the
// ending plays and only then does the end-of-song step run, at any speed.
TEST(Loops, CountThenTheEndingThenTheRepeatModeAtDoubleSpeed) {
    std::vector<uint8_t> marker = {'l', 'o', 'o', 'p', 'S', 't', 'a', 'r', 't'};
    TrackBuilder t;
    t.Ev(0, {0x90, 0x30, 0x64})
        .Ev(500, {0x80, 0x30, 0x00})
        .Meta(1000, 0x06, marker)
        .Ev(1000, {0x90, 0x3C, 0x64})
        .Ev(1500, {0x80, 0x3C, 0x00})
        .Meta(2000, 0x06, {'l', 'o', 'o', 'p', 'E', 'n', 'd'})
        .Ev(2000, {0x90, 0x40, 0x64})
        .Ev(2500, {0x80, 0x40, 0x00});
    Rig r(Loops(2));
    r.Start(BuildSmf(0, {t}));
    r.Seq().SetSpeedDelta(100);
    EXPECT_EQ(r.Seq().LoopedLengthMs(), 4500);
    r.RunMs(2245);  // 4490 ms of song
    EXPECT_EQ(r.stoppedAtEnd, 0);
    r.RunMs(20);
    EXPECT_EQ(r.stoppedAtEnd, 1);
    const std::vector<std::string> lines = r.ShortLines();
    EXPECT_EQ(Count(lines, "90 3C 64"), 3);
    EXPECT_EQ(Count(lines, "90 40 64"), 1);
    EXPECT_GT(TimeOf(r, "90 40 64"), TimeOf(r, "90 3C 64", 3));
    EXPECT_EQ(TimeOf(r, "90 3C 64", 2) - TimeOf(r, "90 3C 64", 1), 500'000);  // 1 s of song

    // A seek past the loop's end plays the ending without a jump; a seek
    // back before its start counts the loops again.
    r.Seq().RestartSong();
    r.RunMs(1100);
    EXPECT_EQ(r.Seq().LoopsDone(), 1);
    r.Seq().SeekTo(900);
    EXPECT_EQ(r.Seq().LoopsDone(), 0);
    r.Seq().SeekTo(2100);
    r.Port().ClearLog();
    r.RunMs(300);
    EXPECT_EQ(r.stoppedAtEnd, 2);
    EXPECT_EQ(Count(r.ShortLines(), "90 3C 64"), 0);
}

TEST(Loops, FadeAfterTheLastLoopTurnsEveryChannelDownThenEndsTheSong) {
    TrackBuilder t;
    t.Ev(0, {0xB0, 0x07, 0x64})
        .Ev(500, {0xB0, 111, 0x00})
        .Ev(500, {0x90, 0x3C, 0x64})
        .Ev(1000, {0x80, 0x3C, 0x00});
    Rig r(Loops(1, 1));
    r.Start(BuildSmf(0, {t}));
    EXPECT_EQ(r.Seq().LoopedLengthMs(), 2000);  // 500 + one loop of 500 + 1 s of fade
    r.RunMs(1995);
    EXPECT_EQ(r.stoppedAtEnd, 0);
    // The section went on repeating while it faded.
    EXPECT_EQ(Count(r.ShortLines(), "90 3C 64"), 3);
    r.RunMs(20);
    EXPECT_EQ(r.stoppedAtEnd, 1);
    // Channel 1 (the song's volume) and channel 6 (never set) alike: sent
    // lower and lower, down to silence, after the last loop.
    const int64_t from = TimeOf(r, "90 3C 64", 2), stop = TimeOf(r, "B0 01 00");
    for (uint8_t status : {0xB0, 0xB5}) {
        std::vector<int> sent;
        for (const auto& m : r.Port().Messages())
            if (!m.isReset && m.bytes.size() == 3 && m.bytes[0] == status && m.bytes[1] == 7 &&
                m.us > from && m.us < stop)
                sent.push_back(m.bytes[2]);
        ASSERT_GT(sent.size(), 50u);
        EXPECT_TRUE(std::is_sorted(sent.rbegin(), sent.rend())) << status;
        EXPECT_EQ(sent.back(), 0);
    }
    // A new start plays at full volume again.
    r.Port().ClearLog();
    r.Seq().ResumeSong();
    r.RunMs(10);
    EXPECT_EQ(r.Out().FadeLevel(), sequencer::kFullVolume);
    EXPECT_GE(TimeOf(r, "B0 07 64"), 0);
}

}  // namespace
}  // namespace sonfara
