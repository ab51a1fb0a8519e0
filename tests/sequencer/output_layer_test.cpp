// The filter chain, SysEx recognition and meta events of the output layer.
#include "player/sequencer/output_layer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "player/song/smf_reader.h"
#include "tests/sequencer/smf_builder.h"
#include "tests/support_code/output_rig.h"

namespace sonfara {
namespace {

using test::BuildSmf;
using test::TrackBuilder;

struct OutRig : test::OutputRig {
    OutRig() {
        EXPECT_TRUE(out.OpenOutputPort(0).ok());
        Port().ClearLog();
    }
    platform::RecordingPort& Port() { return *ports.Latest(); }
    std::vector<std::string> Lines() {
        std::vector<std::string> v;
        for (const auto& m : Port().Messages())
            v.push_back(m.isReset ? "RESET" : platform::HexLine(m.bytes));
        Port().ClearLog();
        return v;
    }
    std::string Send(uint8_t s, uint8_t d1, uint8_t d2) {
        out.SendShortMessage(s, d1, d2);
        auto l = Lines();
        return l.empty() ? "" : l.back();
    }
    // Loads one track of SysEx/meta events; their extIndex is 1, 2, ...
    void LoadExt(TrackBuilder t) {
        song::LoadOptions opt;
        opt.codePage = &cp;
        ASSERT_TRUE(song::LoadSMFBytes(BuildSmf(1, {t}), song, opt).ok());
    }
};

TEST(OutputLayer, TransposeAppliesToMelodicNotesAndClampsBothEnds) {
    OutRig r;
    r.out.SilenceAndTranspose(2);
    EXPECT_EQ(r.Send(0x90, 0x3C, 0x64), "90 3E 64");
    EXPECT_EQ(r.Send(0x99, 0x3C, 0x64), "99 3C 64");  // drums stay
    EXPECT_EQ(r.Send(0x80, 0x3C, 0x40), "80 3E 40");
    EXPECT_EQ(r.Send(0xA0, 0x3C, 0x10), "A0 3E 10");
    r.out.SilenceAndTranspose(5);
    EXPECT_EQ(r.Send(0x90, 0x7E, 0x64), "90 7F 64");
    // Below the range a note stays at the lowest key instead of wrapping
    // to the top.
    r.out.SilenceAndTranspose(-5);
    EXPECT_EQ(r.Send(0x90, 0x02, 0x64), "90 00 64");
    EXPECT_EQ(r.Send(0x90, 0x02, 0x00), "90 00 00");
}

TEST(OutputLayer, ControllerBookkeepingAndGates) {
    OutRig r;
    r.settings.sendBankSelect = false;
    EXPECT_EQ(r.Send(0xB0, 0x00, 0x01), "");
    EXPECT_EQ(r.out.Channel(1).BankMSB, 1);
    EXPECT_EQ(r.Send(0xB0, 0x20, 0x02), "");
    EXPECT_EQ(r.out.Channel(1).BankLSB, 2);
    r.settings.sendBankSelect = true;
    EXPECT_EQ(r.Send(0xB0, 0x00, 0x03), "B0 00 03");

    EXPECT_EQ(r.Send(0xB1, 0x07, 0x50), "B1 07 50");
    EXPECT_EQ(r.out.Channel(2).Volume, 0x50);
    EXPECT_EQ(r.out.Channel(2).Dirty, -1);

    // Pitch-bend display value: (data1 × 127 + data2) / 64, halves to even.
    r.Send(0xE0, 0x00, 0x40);
    EXPECT_EQ(r.out.Channel(1).PitchBend, 1);  // 64/64
    r.Send(0xE0, 0x7F, 0x7F);
    EXPECT_EQ(r.out.Channel(1).PitchBend, 254);  // 16256 / 64

    // Arrangement gates and the program map (not on channel 10).
    r.shaping.arrangementItem = 1;
    r.shaping.arrangement.ExpOn = false;
    r.shaping.arrangement.ModOn = false;
    r.shaping.arrangement.PitOn = false;
    r.shaping.arrangement.BankOn = false;
    r.shaping.arrangement.InstMap[1] = 41;  // program 0 → 40
    EXPECT_EQ(r.Send(0xB0, 11, 90), "");
    EXPECT_EQ(r.out.Channel(1).Expression, 90);
    EXPECT_EQ(r.Send(0xB0, 1, 9), "");
    EXPECT_EQ(r.Send(0xE0, 0, 0x40), "");
    EXPECT_EQ(r.Send(0xB0, 0, 1), "");
    EXPECT_EQ(r.Send(0xC0, 0x00, 0), "C0 28");
    EXPECT_EQ(r.out.Channel(1).Program, 0);
    EXPECT_EQ(r.Send(0xC9, 0x00, 0), "C9 00");
}

TEST(OutputLayer, EffectOffsets) {
    OutRig r;
    EXPECT_EQ(r.Send(0xB0, 0x5B, 0x28), "B0 5B 29");
    EXPECT_EQ(r.out.Channel(1).Reverb, 0x28);
    r.settings.effectReverb = 0;
    EXPECT_EQ(r.Send(0xB0, 0x5B, 0x28), "B0 5B 00");
    r.settings.effectReverb = 256;
    EXPECT_EQ(r.Send(0xB0, 0x5B, 0x28), "B0 5B 7F");
    r.settings.effectChorus = 128;
    EXPECT_EQ(r.Send(0xB0, 0x5D, 0x7F), "B0 5D 7F");  // clamped
    EXPECT_EQ(r.Send(0xB0, 0x0A, 0x40), "B0 0A 41");  // pan offset 128

    r.settings.effectReverb = 0;
    r.out.RefreshEffects();
    auto l = r.Lines();
    ASSERT_EQ(l.size(), 64u);
    EXPECT_EQ(l[0], "B0 0A 41");
    EXPECT_EQ(l[1], "B0 2A 01");
    EXPECT_EQ(l[2], "B0 5B 00");
    EXPECT_EQ(l[3], "B0 5D 7F");
}

TEST(OutputLayer, VelocityEqualiserByBand) {
    OutRig r;
    r.shaping.eqActive = true;
    r.shaping.eq = {100, 128, 128, 128, 150, 128, 128, 128, 128, 255};
    EXPECT_EQ(r.Send(0x90, 30, 64), "90 1E 24");   // band 1: -28
    EXPECT_EQ(r.Send(0x90, 57, 64), "90 39 56");   // band 5: +22
    EXPECT_EQ(r.Send(0x90, 110, 64), "90 6E 7F");  // band 10, clamped
    EXPECT_EQ(r.Send(0x99, 30, 64), "99 1E 40");   // not on drums
    r.out.SilenceAndTranspose(1);                  // band by the sent note
    EXPECT_EQ(r.Send(0x90, 30, 64), "90 1F 40");
}

TEST(OutputLayer, DisabledChannelSuppressesNoteOnsButNotNoteOffs) {
    OutRig r;
    r.out.SilenceAndTranspose(2);
    EXPECT_EQ(r.Send(0x92, 0x40, 0x64), "92 42 64");
    EXPECT_EQ(r.out.SoundingNotes, 1);
    r.out.Channel(3).Enabled = 0;
    EXPECT_EQ(r.Send(0x92, 0x41, 0x64), "");
    // The note-off reaches the transposed key the note-on struck.
    EXPECT_EQ(r.Send(0x92, 0x40, 0x00), "92 42 00");
    EXPECT_EQ(r.out.Channel(3).NoteOn[0x40], 0);
    EXPECT_EQ(r.out.SoundingNotes, 0);
    EXPECT_EQ(r.Port().NotesOnCount(), 0);
}

TEST(OutputLayer, NoteBookkeeping) {
    OutRig r;
    r.Send(0xB0, 7, 80);
    r.Send(0x90, 60, 100);
    r.Send(0x90, 64, 100);
    EXPECT_EQ(r.out.Channel(1).NoteCount, 2);
    EXPECT_EQ(r.out.Channel(1).NoteOn[60], -1);
    EXPECT_EQ(r.out.Channel(1).NoteOnFlag, -1);
    EXPECT_EQ(r.out.SoundingNotes, 2);
    r.Send(0x80, 60, 0);
    r.Send(0x80, 60, 0);  // a second note-off neither underflows nor miscounts
    r.Send(0x90, 64, 0);
    r.Send(0x90, 64, 0);
    EXPECT_EQ(r.out.Channel(1).NoteCount, 0);
    EXPECT_EQ(r.out.SoundingNotes, 0);
    EXPECT_EQ(r.out.Channel(1).Level, 10);
}

// A port that plays late (the built-in synthesizer): the displays see each
// message its latency after it was sent, and a cut at once.
TEST(OutputLayer, DisplaysFollowThePortsLatency) {
    OutRig r;
    constexpr int64_t kLatencyUs = 50'000;
    r.out.CloseOutputPort();
    r.ports.latencyUs = kLatencyUs;
    r.out.SetDisplayClock(&r.clock);
    ASSERT_TRUE(r.out.OpenOutputPort(0).ok());
    sequencer::ShownChannels& shown = r.out.Shown();
    auto after = [&](int64_t us) {
        r.clock.AdvanceUs(us);
        shown.CatchUp();
    };
    after(0);
    r.out.SendShortMessage(0xB0, 7, 80);
    r.out.SendShortMessage(0x90, 60, 100);
    after(kLatencyUs - 1);
    EXPECT_EQ(r.out.Channel(1).NoteOn[60], -1);  // the sequencer's own state is live
    EXPECT_EQ(shown.Channel(1).NoteOn[60], 0);
    EXPECT_EQ(shown.Channel(1).Volume, 100);
    EXPECT_EQ(shown.SoundingNotes(), 0);
    after(1);
    EXPECT_EQ(shown.Channel(1).NoteOn[60], -1);
    EXPECT_EQ(shown.Channel(1).NoteOnFlag, -1);
    EXPECT_EQ(shown.Channel(1).Volume, 80);
    EXPECT_EQ(shown.SoundingNotes(), 1);

    r.out.SendShortMessage(0x80, 60, 0);
    after(kLatencyUs / 2);
    EXPECT_EQ(shown.Channel(1).NoteOn[60], -1);
    after(kLatencyUs / 2);
    EXPECT_EQ(shown.Channel(1).NoteOn[60], 0);
    EXPECT_EQ(shown.Channel(1).Level, 10);

    // A stop cuts the sound at once, and what waited never lights afterwards.
    r.out.SendShortMessage(0x91, 64, 100);
    after(kLatencyUs / 2);
    r.out.AllNotesOff();
    after(0);
    EXPECT_EQ(shown.SoundingNotes(), 0);
    after(kLatencyUs);
    EXPECT_EQ(shown.Channel(2).NoteOn[64], 0);
    EXPECT_EQ(shown.SoundingNotes(), 0);

    // A port that plays at once: the displays read the live state.
    r.out.CloseOutputPort();
    r.ports.latencyUs = 0;
    ASSERT_TRUE(r.out.OpenOutputPort(0).ok());
    r.out.SendShortMessage(0x90, 62, 100);
    EXPECT_EQ(shown.Channel(1).NoteOn[62], -1);
}

// The timer thread sends while the drawing and UI threads catch up, also
// past the ring's size; once the sound has ended, nothing is left lit.
TEST(OutputLayer, DelayedDisplaysEndQuietUnderLoad) {
    OutRig r;
    r.out.CloseOutputPort();
    r.ports.latencyUs = 5'000;
    r.out.SetDisplayClock(&r.clock);
    ASSERT_TRUE(r.out.OpenOutputPort(0).ok());
    sequencer::ShownChannels& shown = r.out.Shown();
    std::atomic<bool> done{false};
    auto reader = [&] {
        while (!done.load()) {
            shown.CatchUp();
            for (int c = 1; c <= 16; ++c) (void)shown.Channel(c).NoteOn[60].load();
        }
    };
    std::thread drawing(reader), ui(reader);
    for (int i = 0; i < 40'000; ++i) {
        const auto c = static_cast<uint8_t>(i % 16);
        r.out.SendShortMessage(0x90 | c, 60, 100);
        r.out.SendShortMessage(0x80 | c, 60, 0);
        r.clock.AdvanceUs(i % 7);
    }
    done = true;
    drawing.join();
    ui.join();
    r.clock.AdvanceUs(5'000);
    shown.CatchUp();
    EXPECT_EQ(shown.SoundingNotes(), 0);
    for (int c = 1; c <= 16; ++c) EXPECT_EQ(shown.Channel(c).NoteOn[60], 0) << c;
}

TEST(OutputLayer, SysExSendingAndModuleRecognition) {
    OutRig r;
    TrackBuilder t;
    t.SysEx(0, {0x7E, 0x7F, 0x09, 0x01, 0xF7})                                   // 1 GM
        .SysEx(0, {0x7E, 0x7F, 0x09, 0x01})                                      // 2 no F7
        .SysEx(0, {0x41, 0x10, 0x42, 0x12, 0x00, 0x00, 0x7F, 0x01, 0x00, 0xF7})  // 3 MD2(10)
        .SysEx(0, {0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7})  // 4 GS reset
        .SysEx(0, {0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7})              // 5 XG on
        .SysEx(0, {0x41, 0x10, 0x45, 0x12, 0x10, 0x00, 0x00, 'H', 'i', '!', 0x11, 0xF7});  // 6 text
    r.LoadExt(t);

    r.out.SendSysExEvent(1, 1, 1);
    EXPECT_EQ(r.Lines(), std::vector<std::string>{"F0 7E 7F 09 01 F7"});
    EXPECT_TRUE(r.out.FlagGM());
    EXPECT_TRUE(r.out.ModuleSet());

    r.out.ClearModuleFlags();
    r.out.SendSysExEvent(2, 1, 2);
    EXPECT_EQ(r.Lines(), std::vector<std::string>{"F0 7E 7F 09 01 F7"});
    // Stored without F7 the body is four bytes long: not the GM message.
    EXPECT_FALSE(r.out.FlagGM());

    r.out.SendSysExEvent(3, 1, 3);
    EXPECT_EQ(r.out.ModuleName.Get(), "MD2(10)");
    EXPECT_TRUE(r.out.FlagGS());
    r.out.SendSysExEvent(4, 1, 4);
    EXPECT_EQ(r.out.ModuleName.Get(), "ID 10");
    r.out.SendSysExEvent(5, 1, 5);
    EXPECT_EQ(r.out.ModuleName.Get(), "No 0");
    EXPECT_TRUE(r.out.FlagXG());
    r.out.SendSysExEvent(6, 1, 6);
    EXPECT_EQ(r.out.DisplayText.Get(), "Hi!");
    r.Lines();

    r.settings.sendSysEx = false;
    r.out.SendSysExEvent(1, 1, 1);
    EXPECT_TRUE(r.Lines().empty());
}

TEST(OutputLayer, SplitSysExGoesWholeAndEscapesAsMessages) {
    OutRig r;
    TrackBuilder t;
    t.SysEx(0, {0x41, 0x10, 0x42})             // 1 open packet
        .Meta(0, 0x01, {'x'})                  // 2
        .Escape(10, {0x12, 0x40, 0x00})        // 3 continuation
        .Escape(20, {0x7F, 0x00, 0x41, 0xF7})  // 4 closing packet
        .Escape(30, {0xF8, 0xFA})              // 5 escape
        .Escape(30, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7, 0xF2, 0x10, 0x20, 0x05})  // 6
        .SysEx(40, {0x7E, 0x7F})                                                   // 7 never closed
        .Ev(50, {0x90, 0x3C, 0x64})                                                // 8
        .Escape(60, {0x01, 0xF7});  // 9 escape: no open SysEx
    r.LoadExt(t);
    r.out.SendSysExEvent(1, 1, 1);
    EXPECT_EQ(r.Lines(), std::vector<std::string>{"F0 41 10 42 12 40 00 7F 00 41 F7"});
    EXPECT_EQ(r.out.ModuleName.Get(), "ID 10");
    r.out.SendEscapeEvent(3, 1, 3);
    r.out.SendEscapeEvent(4, 1, 4);
    EXPECT_TRUE(r.Lines().empty());
    r.out.SendEscapeEvent(5, 1, 5);
    EXPECT_EQ(r.Lines(), (std::vector<std::string>{"F8", "FA"}));
    // A whole SysEx, then a song position; the stray data byte is dropped.
    r.out.SendEscapeEvent(6, 1, 6);
    EXPECT_EQ(r.Lines(), (std::vector<std::string>{"F0 7E 7F 09 01 F7", "F2 10 20"}));
    r.out.SendSysExEvent(7, 1, 7);
    EXPECT_EQ(r.Lines(), std::vector<std::string>{"F0 7E 7F F7"});
    r.out.SendEscapeEvent(8, 1, 9);
    EXPECT_TRUE(r.Lines().empty());
}

TEST(OutputLayer, GsDotPicture) {
    OutRig r;
    std::vector<uint8_t> body = {0x41, 0x10, 0x45, 0x12, 0x10, 0x01, 0x00};
    std::vector<uint8_t> data(64, 0);
    data[0] = 0x10;   // row 1, column 1
    data[1] = 0x1F;   // row 2, columns 1-5
    data[16] = 0x01;  // row 1, column 10
    data[63] = 0x40;  // row 16, columns 16-20: above 31 clears
    body.insert(body.end(), data.begin(), data.end());
    body.push_back(0x00);  // checksum
    body.push_back(0xF7);
    TrackBuilder t;
    t.SysEx(0, body);
    r.LoadExt(t);
    for (int row = 1; row <= 16; ++row) r.out.DotRows[row - 1] = 0xFFFFFFFF;
    r.out.SendSysExEvent(1, 1, 1);
    EXPECT_TRUE(r.out.Dot(1, 1));
    EXPECT_FALSE(r.out.Dot(1, 2));
    for (int c = 1; c <= 5; ++c) EXPECT_TRUE(r.out.Dot(2, c));
    EXPECT_TRUE(r.out.Dot(1, 10));
    EXPECT_FALSE(r.out.Dot(16, 16));
    // Byte 65 is the checksum here, so columns 21-25 of row 1 are cleared.
    EXPECT_FALSE(r.out.Dot(1, 21));
    EXPECT_FALSE(r.out.Dot(3, 3));
}

TEST(OutputLayer, MetaEvents) {
    OutRig r;
    TrackBuilder t;
    t.Meta(0, 0x51, {0x07, 0xA1, 0x20})
        .Meta(0, 0x51, {0x06, 0x1A, 0x80})
        .Meta(0, 0x05, {'a'})
        .Meta(0, 0x05, {'l', 'a'})
        .Meta(0, 0x21, {0x01})
        .Meta(0, 0x51, {0x00, 0x00, 0x00});
    r.LoadExt(t);
    r.out.HandleMetaEvent(1, 1, 1);
    EXPECT_EQ(r.out.BPMText.Get(), "120");
    r.out.HandleMetaEvent(2, 1, 2);
    EXPECT_EQ(r.out.BPMText.Get(), "150");
    r.out.DisplayText.Set("x");
    r.out.HandleMetaEvent(3, 1, 3);
    EXPECT_EQ(r.out.DisplayText.Get(), "x");
    r.out.HandleMetaEvent(4, 1, 4);
    EXPECT_EQ(r.out.DisplayText.Get(), "\x81\xF4la");  // ♪ in CP932
    r.out.HandleMetaEvent(5, 3, 5);
    EXPECT_EQ(r.cursors.TrackPortSkip(3), 1);
    r.out.HandleMetaEvent(6, 1, 6);  // a zero tempo is ignored
    EXPECT_EQ(r.out.BPMText.Get(), "150");
    r.out.HandleMetaEvent(999, 1, 1);  // out of range: nothing
}

TEST(OutputLayer, ResetAndOpenClose) {
    OutRig r;
    r.Send(0x90, 60, 100);
    r.Send(0xB0, 7, 20);
    r.out.ResetOutput();
    auto l = r.Lines();
    // 16 × (128 note-offs + 8 controllers), the device reset, GM System On.
    ASSERT_EQ(l.size(), 16u * 136 + 2);
    EXPECT_EQ(l[0], "90 00 00");
    EXPECT_EQ(l[128], "B0 01 00");
    EXPECT_EQ(l[132], "B0 0A 41");
    EXPECT_EQ(l[135], "B0 27 64");
    EXPECT_EQ(l[16 * 136], "RESET");
    EXPECT_EQ(l.back(), "F0 7E 7F 09 01 F7");
    EXPECT_EQ(r.out.Channel(1).Volume, 100);
    EXPECT_EQ(r.out.SoundingNotes, 0);
    EXPECT_EQ(r.Port().NotesOnCount(), 0);

    EXPECT_EQ(r.out.OpenOutputPort(1).code(),
              sequencer::PlaybackError::kPortAlreadyOpen);  // nothing changes
    EXPECT_TRUE(r.out.PortOpen());
    r.out.CloseOutputPort();
    EXPECT_FALSE(r.out.PortOpen());
    EXPECT_TRUE(r.ports.Opened()[0]->Closed());
    r.ports.failing = {"Rec B"};
    EXPECT_EQ(r.out.OpenOutputPort(1).code(), sequencer::PlaybackError::kCannotOpenPort);
    EXPECT_FALSE(r.out.PortOpen());
    EXPECT_EQ(r.out.OpenOutputPort(5).detail(), "no such port");
}

TEST(OutputLayer, SilenceAndTransposeLeavesNothingOn) {
    OutRig r;
    r.Send(0x90, 60, 100);
    r.Send(0x91, 62, 100);
    r.out.SilenceAndTranspose(3);
    EXPECT_EQ(r.Port().NotesOnCount(), 0);
    EXPECT_EQ(r.out.Transpose(), 3);
    EXPECT_EQ(r.out.Channel(1).NoteOn[60], 0);
}

TEST(MonitorPort, LineFormat) {
    const uint8_t m[] = {0x90, 0x3C, 0x64};
    EXPECT_EQ(platform::MonitorPort::FormatLine(1234567, m), "1234.567 90 3C 64");
    EXPECT_EQ(platform::MonitorPort::FormatLine(5, m), "0.005 90 3C 64");
}

}  // namespace
}  // namespace sonfara
