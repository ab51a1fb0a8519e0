// Where a song's loop section lies, for the ways files mark it and the odd
// places they put the marks.
#include "player/song/loop_points.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "player/song/smf_reader.h"
#include "tests/sequencer/smf_builder.h"

namespace sonfara {
namespace {

using test::BuildSmf;
using test::TrackBuilder;

std::vector<uint8_t> Text(const std::string& s) {
    return {s.begin(), s.end()};
}

// A 4 s song (one tick is one millisecond) with the marks `mark` adds.
song::LoopPoints PointsOf(const std::function<void(TrackBuilder&, TrackBuilder&)>& mark) {
    TrackBuilder notes, t1, t2;
    notes.Ev(0, {0x90, 0x3C, 0x64}).Ev(4000, {0x80, 0x3C, 0x00});
    mark(t1, t2);
    song::SongTable song;
    EXPECT_TRUE(song::LoadSMFBytes(BuildSmf(1, {notes, t1, t2}), song, {}).ok());
    return song.Loop;
}

TEST(LoopPoints, ControllerAndMarkersInOddPlaces) {
    // Controller 111 on any channel: the section runs to the end of the song.
    EXPECT_EQ(PointsOf([](auto&, auto& t2) {
                  t2.Ev(1500, {0xB5, 111, 0}).Ev(2500, {0xB5, 111, 0});
              }),
              (song::LoopPoints{1500, 4000, true}));
    // Markers in any letter case and with blanks; the first start, the first
    // end after it; markers win over the controller.
    EXPECT_EQ(PointsOf([](auto& t1, auto& t2) {
                  t1.Ev(500, {0xB0, 111, 0});
                  t2.Meta(200, 0x06, Text("loopEnd"))
                      .Meta(1000, 0x06, Text(" LOOPSTART "))
                      .Meta(2000, 0x06, Text("loopstart"))
                      .Meta(3000, 0x06, Text("LoopEnd"))
                      .Meta(3500, 0x06, Text("loopEnd"));
              }),
              (song::LoopPoints{1000, 3000, false}));
    // The controller's start with a marked end.
    EXPECT_EQ(PointsOf([](auto&, auto& t2) {
                  t2.Ev(1000, {0xB0, 111, 0}).Meta(2000, 0x06, Text("loopEnd"));
              }),
              (song::LoopPoints{1000, 2000, false}));
    // No loop: the end only before the start, an end alone, a start at the
    // very end, a section shorter than 0.1 s, another marker text.
    const song::LoopPoints none;
    EXPECT_EQ(PointsOf([](auto&, auto& t2) {
                  t2.Meta(1000, 0x06, Text("loopEnd")).Meta(2000, 0x06, Text("loopStart"));
              }),
              none);
    EXPECT_EQ(PointsOf([](auto&, auto& t2) { t2.Meta(1000, 0x06, Text("loopEnd")); }), none);
    EXPECT_EQ(PointsOf([](auto&, auto& t2) { t2.Ev(4000, {0xB0, 111, 0}); }), none);
    EXPECT_EQ(PointsOf([](auto&, auto& t2) {
                  t2.Meta(1000, 0x06, Text("loopStart")).Meta(1050, 0x06, Text("loopEnd"));
              }),
              none);
    EXPECT_EQ(PointsOf([](auto&, auto& t2) { t2.Meta(1000, 0x06, Text("loopStarts")); }), none);
}

}  // namespace
}  // namespace sonfara
