// The GS/XG layer belongs to the built-in synthesizer only: through a MIDI
// port a GS/XG song's messages go out as the song has them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/sequencer/rig.h"
#include "tests/sequencer/smf_builder.h"

namespace sonfara::test {
namespace {

TEST(MidiPortPath, GsAndXgMessagesGoOutAsTheSongHasThem) {
    // An XG kit on channel 2, a part mode change, NRPN, a GS effect macro and
    // master volume, a drum key NRPN: each with its tick and bytes.
    const std::vector<std::pair<int, std::vector<uint8_t>>> events = {
        {10, {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}},
        {20, {0xB1, 0x00, 0x7F}},
        {20, {0xC1, 0x19}},
        {30, {0xF0, 0x43, 0x10, 0x4C, 0x08, 0x02, 0x07, 0x01, 0xF7}},
        {40, {0xB3, 0x63, 0x01}},
        {40, {0xB3, 0x62, 0x20}},
        {40, {0xB3, 0x06, 0x0E}},
        {50, {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x01, 0x30, 0x05, 0x0A, 0xF7}},
        {50, {0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x00, 0x40, 0xF7}},
        {60, {0xB9, 0x63, 0x1A}},
        {60, {0xB9, 0x62, 0x26}},
        {60, {0xB9, 0x06, 0x00}},
        {70, {0x91, 0x24, 0x64}},
        {80, {0x81, 0x24, 0x40}},
    };
    TrackBuilder t;
    for (const auto& [tick, bytes] : events) {
        if (bytes[0] == 0xF0)
            t.SysEx(tick, std::vector<uint8_t>(bytes.begin() + 1, bytes.end()));
        else if (bytes.size() == 2)
            t.Ev(tick, {bytes[0], bytes[1]});
        else
            t.Ev(tick, {bytes[0], bytes[1], bytes[2]});
    }
    t.Ev(200, {0xB0, 0x07, 0x64});  // the song goes on past the checked part
    Rig rig;
    rig.Start(BuildSmf(0, {t}));
    rig.RunMs(120);
    std::vector<std::vector<uint8_t>> sent;
    for (const auto& m : rig.Port().Messages())
        if (!m.isReset) sent.push_back(m.bytes);
    std::vector<std::vector<uint8_t>> want;
    for (const auto& e : events) want.push_back(e.second);
    EXPECT_EQ(sent, want);
}

}  // namespace
}  // namespace sonfara::test
