// The named MIDI numbers agree with the bytes on the wire and with every
// reader that recognises them.
#include <gtest/gtest.h>

#include <span>
#include <vector>

#include "player/platform/midi.h"
#include "player/platform/synth_module.h"
#include "player/sequencer/output_layer.h"
#include "player/song/module_detect.h"

namespace sonfara {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(MidiNames, StatusBytesSplitIntoKindAndChannel) {
    EXPECT_EQ(midi::StatusByte(midi::kNoteOn, midi::kDrumChannel), 0x99);
    EXPECT_EQ(midi::StatusByte(midi::kControlChange, 16 + 3), 0xB3);  // channel stays 0..15
    // A packed short message: status in the low byte, data above it.
    const uint32_t packed = 0x7F40C5u;
    EXPECT_EQ(midi::StatusKind(packed), midi::kProgramChange);
    EXPECT_EQ(midi::ChannelOf(packed), 5);
    EXPECT_EQ(midi::StatusKind(midi::kMetaEvent), midi::kSystem);
    EXPECT_FALSE(midi::IsStatusByte(0x7F));
    EXPECT_TRUE(midi::IsStatusByte(midi::kNoteOff));
}

TEST(MidiNames, NamedResetsAreTheBytesTheReadersKnow) {
    const Bytes gm(midi::kGmSystemOn.begin(), midi::kGmSystemOn.end());
    const Bytes gs(midi::kGsReset.begin(), midi::kGsReset.end());
    const Bytes xg(midi::kXgSystemOn.begin(), midi::kXgSystemOn.end());
    EXPECT_EQ(gm, (Bytes{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
    EXPECT_EQ(gs, (Bytes{0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7}));
    EXPECT_EQ(xg, (Bytes{0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}));

    EXPECT_EQ(platform::ResetRules(gm), platform::ModuleRules::kGm);
    EXPECT_EQ(platform::ResetRules(gs), platform::ModuleRules::kGs);
    EXPECT_EQ(platform::ResetRules(xg), platform::ModuleRules::kXg);
    // The song keeps a message's body without its F0.
    for (const Bytes* m : {&gm, &gs, &xg})
        EXPECT_TRUE(sequencer::IsModuleReset(std::span<const uint8_t>(*m).subspan(1)));
    EXPECT_EQ(song::DetectModuleBytes(gs), song::kModuleGS);
    EXPECT_EQ(song::DetectModuleBytes(xg), song::kModuleXG);
    EXPECT_EQ(song::DetectModuleBytes(gm), song::kModuleNone);
}

}  // namespace
}  // namespace sonfara
