// GS and XG songs through the built-in synthesizer: each song is rendered
// beside a plain rewrite that must sound the same when the feature is
// honoured (drums on channel 10, the pitch by note number, a bend of the
// same size), or measured against the plain song in the direction the
// modules document.
#include "player/platform/synth_module.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <string>
#include <vector>

#include "player/platform/midi.h"
#include "player/platform/system_ports.h"
#include "tests/platform/synth_render.h"

namespace sonfara::synth_test {
namespace {

class SynthModuleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (access(kSoundFont, R_OK) != 0) GTEST_SKIP() << "no test SoundFont";
    }
};

Song Drums(int ch, int ms = 20) {
    return Note(ms, ch, 36, 150) + Note(ms + 60, ch, 38, 150) + Note(ms + 120, ch, 42, 100);
}

struct SameSound {
    const char* what;
    Song song, plain;
};

// Where the module's rules make a part drums or melodic, the song sounds as
// the same notes on the channel that plays them in a plain GM song.
TEST_F(SynthModuleTest, KitsBanksAndPartModesChooseDrumsOrMelodyAsTheModuleDoes) {
    const SameSound cases[] = {
        {"XG drum kit on channel 1", Song{{0, kXgOn}, {5, Cc(0, 0, 127)}, {5, Pc(0, 0)}} + Drums(0),
         Song{{0, kXgOn}} + Drums(9)},
        {"XG SFX kit plays drums", Song{{0, kXgOn}, {5, Cc(0, 0, 126)}, {5, Pc(0, 0)}} + Drums(0),
         Song{{0, kXgOn}} + Drums(9)},
        {"XG melody on channel 10",
         Song{{0, kXgOn}, {5, Cc(9, 0, 0)}, {5, Pc(9, 0)}} + Note(20, 9, 60, 200),
         Song{{0, kXgOn}} + Note(20, 0, 60, 200, 0)},
        {"XG kit and back to a voice",
         Song{{0, kXgOn}, {5, Cc(0, 0, 127)}, {5, Pc(0, 0)}, {6, Cc(0, 0, 0)}, {6, Pc(0, 0)}} +
             Note(20, 0, 60, 200),
         Song{{0, kXgOn}} + Note(20, 0, 60, 200, 0)},
        {"XG part mode to drums", Song{{0, kXgOn}, {5, Xg(0x08, 0, 0x07, {1})}} + Drums(0),
         Song{{0, kXgOn}} + Drums(9)},
        {"XG part mode back to normal",
         Song{{0, kXgOn}, {5, Xg(0x08, 9, 0x07, {0})}, {6, Pc(9, 0)}} + Note(20, 9, 60, 200),
         Song{{0, kXgOn}} + Note(20, 0, 60, 200, 0)},
        {"XG variation bank falls back to the voice",
         Song{{0, kXgOn}, {5, Cc(0, 32, 3)}, {5, Pc(0, 0)}} + Note(20, 0, 60, 200),
         Song{{0, kXgOn}} + Note(20, 0, 60, 200, 0)},
        {"GS rhythm part assignment",
         Song{{0, kGsReset}, {5, Gs(0x40, 0x11, 0x15, {1})}} + Drums(0),
         Song{{0, kGsReset}} + Drums(9)},
        {"GS variation falls back to the capital tone",
         Song{{0, kGsReset}, {5, Cc(0, 0, 8)}, {5, Pc(0, 0)}} + Note(20, 0, 60, 200),
         Song{{0, kGsReset}} + Note(20, 0, 60, 200, 0)},
        {"GM2 rhythm bank", Song{{0, kGm2On}, {5, Cc(2, 0, 120)}, {5, Pc(2, 0)}} + Drums(2),
         Song{{0, kGm2On}} + Drums(9)},
        {"GM2 melodic bank on channel 10",
         Song{{0, kGm2On}, {5, Cc(9, 0, 121)}, {5, Pc(9, 0)}} + Note(20, 9, 60, 200),
         Song{{0, kGm2On}} + Note(20, 0, 60, 200, 0)},
        {"GM2 banks before any reset", Song{{5, Cc(0, 0, 120)}, {5, Pc(0, 0)}} + Drums(0),
         Drums(9)},
        {"GM2 melodic bank before any reset",
         Song{{5, Cc(9, 0, 121)}, {5, Pc(9, 0)}} + Note(20, 9, 60, 200), Note(20, 0, 60, 200, 0)},
        {"GM ignores kit banks",
         Song{{0, kGmOn}, {5, Cc(0, 0, 127)}, {5, Pc(0, 0)}} + Note(20, 0, 60, 200),
         Song{{0, kGmOn}} + Note(20, 0, 60, 200, 0)},
    };
    for (const auto& c : cases) {
        const Audio plain = Render(c.plain, 400);
        ASSERT_GT(Rms(plain), 0.005) << c.what;
        EXPECT_LT(Difference(Render(c.song, 400), plain), 0.05) << c.what;
    }
}

// A bright voice with each part parameter at an end, against the plain voice.
TEST_F(SynthModuleTest, PartParametersMoveTheVoiceAsTheModulesDocument) {
    const int kSaw = 81;
    const Song plain = Song{{0, kGsReset}} + Note(20, 0, 57, 300, kSaw);
    const Audio p = Render(plain, 600);
    auto with = [&](const Song& set) {
        return Render(Song{{0, kGsReset}} + set + Note(20, 0, 57, 300, kSaw), 600);
    };

    const Audio closed = with(Nrpn(5, 0, 1, 0x20, 14));
    EXPECT_LT(Brightness(closed, 100, 300), 0.6 * Brightness(p, 100, 300)) << "cutoff";
    const Audio slow = with(Nrpn(5, 0, 1, 0x63, 114));
    EXPECT_LT(Rms(slow, 20, 60), 0.5 * Rms(p, 20, 60)) << "attack";
    const Audio cut = with(Nrpn(5, 0, 1, 0x66, 14));
    const Audio longer = with(Nrpn(5, 0, 1, 0x66, 114));
    EXPECT_LT(Rms(cut, 360, 450), Rms(p, 360, 450)) << "release";
    EXPECT_GT(Rms(longer, 360, 450), 1.5 * Rms(p, 360, 450)) << "release";

    // The same settings by part SysEx, the center value, and a reset.
    EXPECT_LT(Difference(with(Song{{5, Gs(0x40, 0x11, 0x32, {14})}}), closed), 0.02) << "GS part";
    EXPECT_LT(
        Difference(
            Render(Song{{0, kXgOn}, {5, Xg(0x08, 0, 0x18, {14})}} + Note(20, 0, 57, 300, kSaw),
                   600),
            Render(Song{{0, kXgOn}} + Nrpn(5, 0, 1, 0x20, 14) + Note(20, 0, 57, 300, kSaw), 600)),
        0.02)
        << "XG part";
    EXPECT_LT(Difference(with(Nrpn(5, 0, 1, 0x20, 64)), p), 0.001) << "center";
    // (A reset restarts the effects: the plain song resets at the same time.)
    EXPECT_LT(
        Difference(Render(Song{{0, kGsReset}} + Nrpn(2, 0, 1, 0x20, 14) + Song{{4, kGsReset}} +
                              Note(20, 0, 57, 300, kSaw),
                          600),
                   Render(Song{{0, kGsReset}, {4, kGsReset}} + Note(20, 0, 57, 300, kSaw), 600)),
        0.001)
        << "reset";
}

// Drum instrument NRPN changes the one key only, until the kit changes.
TEST_F(SynthModuleTest, DrumKeySettingsChangeTheirKeyOnly) {
    const Song start = {{0, kGsReset}};
    const Audio snare = Render(start + Note(20, 9, 38, 150), 300);
    const Audio kick = Render(start + Note(20, 9, 36, 150), 300);

    const Audio mutedSnare = Render(start + Nrpn(5, 9, 0x1A, 38, 0) + Note(20, 9, 38, 150), 300);
    EXPECT_LT(Rms(mutedSnare), 0.01 * Rms(snare)) << "level 0";
    const Audio halfSnare = Render(start + Nrpn(5, 9, 0x1A, 38, 64) + Note(20, 9, 38, 150), 300);
    EXPECT_NEAR(Rms(halfSnare) / Rms(snare), 0.25, 0.05) << "level 64";
    EXPECT_LT(Difference(Render(start + Nrpn(5, 9, 0x1A, 38, 0) + Note(20, 9, 36, 150), 300), kick),
              0.001)
        << "other keys";

    const Audio left = Render(start + Nrpn(5, 9, 0x1C, 38, 1) + Note(20, 9, 38, 150), 300);
    EXPECT_LT(Rms(left.right), 0.2 * Rms(left.left)) << "pan";

    // An octave up on the cowbell, which has a pitch to measure.
    const double bell = Pitch(Render(start + Note(20, 9, 56, 150), 200), 30, 130);
    const double up =
        Pitch(Render(start + Nrpn(5, 9, 0x18, 56, 76) + Note(20, 9, 56, 150), 200), 30, 130);
    EXPECT_NEAR(up / bell, 2.0, 0.05) << "pitch " << up << " Hz, plain " << bell;
    // XG's fine pitch per key: 63 cents up.
    const Song xg = {{0, kXgOn}};
    const double xgBell = Pitch(Render(xg + Note(20, 9, 56, 150), 200), 30, 130);
    const double fine =
        Pitch(Render(xg + Nrpn(5, 9, 0x19, 56, 127) + Note(20, 9, 56, 150), 200), 30, 130);
    EXPECT_NEAR(fine / xgBell, std::exp2(63 / 1200.0), 0.006) << "fine pitch";
    // XG drum setup 1 by SysEx: the snare's level on the rhythm part.
    EXPECT_LT(Rms(Render(xg + Song{{5, Xg(0x30, 38, 0x02, {0})}} + Note(20, 9, 38, 150), 300)),
              0.01 * Rms(snare))
        << "XG drum setup";
    EXPECT_LT(Rms(Render(start + Song{{5, Gs(0x41, 0x02, 38, {0})}} + Note(20, 9, 38, 150), 300)),
              0.01 * Rms(snare))
        << "GS drum map";

    // A dry hi-hat among wet drums: its reverb tail is gone.
    auto hat = [&](const Song& set) {
        return Render(
            start + set +
                Song{{10, Cc(9, midi::cc::kReverbSend, 127)}, {20, On(9, 42)}, {60, Off(9, 42)}},
            600);
    };
    const double wet = Rms(hat({}), 250, 600);
    ASSERT_GT(wet, 1e-4);
    EXPECT_LT(Rms(hat(Nrpn(5, 9, 0x1D, 42, 0)), 250, 600), 0.05 * wet) << "reverb send";
    EXPECT_NEAR(Rms(hat(Nrpn(5, 9, 0x1D, 40, 0)), 250, 600) / wet, 1.0, 0.01) << "other key";

    const Audio newKit =
        Render(start + Nrpn(5, 9, 0x1A, 38, 0) + Song{{10, Pc(9, 0)}} + Note(20, 9, 38, 150), 300);
    EXPECT_LT(Difference(newKit, snare), 0.001) << "program change";
}

// Tunings and bend ranges against the plain notes of that pitch.
TEST_F(SynthModuleTest, TuningsSoundAsThePitchTheyName) {
    const int kFlute = 73;
    struct Case {
        const char* what;
        Song song, plain;
    };
    const Song gs = {{0, kGsReset}};
    const Case cases[] = {
        {"universal coarse tuning",
         gs + Song{{5, {0xF0, 0x7F, 0x7F, 0x04, 0x04, 0x00, 0x4C, 0xF7}}}, gs + Song{}},
        {"GS key shift", gs + Song{{5, Gs(0x40, 0x00, 0x05, {0x4C})}}, gs},
        {"universal fine tuning", gs + Song{{5, {0xF0, 0x7F, 0x7F, 0x04, 0x03, 0x7F, 0x7F, 0xF7}}},
         gs},
        {"GS master tune", gs + Song{{5, Gs(0x40, 0x00, 0x00, {0x00, 0x07, 0x0E, 0x08})}}, gs},
        {"bend range cents", gs + Rpn(5, 0, 0, 0, 1, 50) + Song{{10, Bend(0, 16383)}},
         gs + Rpn(5, 0, 0, 0, 3) + Song{{10, Bend(0, 8192 + 8191 / 2)}}},
        {"bend range of three octaves", gs + Rpn(5, 0, 0, 0, 36) + Song{{10, Bend(0, 8192 + 6826)}},
         gs},
        {"GS scale tuning", gs + Song{{5, Gs(0x40, 0x11, 0x40, {64 + 50})}},
         gs + Rpn(5, 0, 0, 0, 1) + Song{{10, Bend(0, 8192 + 8191 / 2)}}},
    };
    // Coarse shifts compare with the note an octave up, fine ones with the
    // note a semitone up (100 cents), bends with their bend or note.
    const int shift[] = {12, 12, 1, 1, 0, 30, 0};
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        const double got = Pitch(Render(c.song + Note(20, 0, 60, 400, kFlute), 450), 150, 400);
        const double want =
            Pitch(Render(c.plain + Note(20, 0, 60 + shift[i], 400, kFlute), 450), 150, 400);
        ASSERT_GT(want, 100) << c.what;
        // (Within 20 cents: the samples of two notes are not tuned alike.)
        EXPECT_NEAR(got / want, 1.0, 0.012) << c.what << ": " << got << " Hz, plain " << want;
    }
}

// Master volume by GS and universal messages, back to full on a reset.
TEST_F(SynthModuleTest, MasterVolumeScalesTheWholeOutput) {
    const Song gs = {{0, kGsReset}};
    const Song note = Note(20, 0, 60, 200, 0);
    const double full = Rms(Render(gs + note, 300));
    const double gsHalf = Rms(Render(gs + Song{{5, Gs(0x40, 0x00, 0x04, {64})}} + note, 300));
    const double uniHalf =
        Rms(Render(gs + Song{{5, {0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x00, 0x40, 0xF7}}} + note, 300));
    const double reset =
        Rms(Render(gs + Song{{2, Gs(0x40, 0x00, 0x04, {0})}, {4, kGsReset}} + note, 300));
    EXPECT_NEAR(gsHalf / full, 0.254, 0.03);
    EXPECT_NEAR(uniHalf / full, 0.25, 0.03);
    EXPECT_NEAR(reset / full, 1.0, 0.01);
}

// Reverb and chorus settings heard in the tail and the wet share.
TEST_F(SynthModuleTest, EffectSettingsShapeTheReverbAndChorus) {
    // A short closed hi-hat, its sends up: after 150 ms only effects sound.
    auto hat = [](const Song& set) {
        return Render(
            set + Song{{10, Cc(9, midi::cc::kReverbSend, 127)}, {20, On(9, 42)}, {60, Off(9, 42)}},
            700);
    };
    const Song gs = {{0, kGsReset}};
    const double hall = Rms(hat(gs), 250, 700);
    ASSERT_GT(hall, 1e-4);
    EXPECT_LT(Rms(hat(gs + Song{{5, Gs(0x40, 0x01, 0x33, {0})}}), 250, 700), 0.05 * hall)
        << "level 0";
    EXPECT_LT(Rms(hat(gs + Song{{5, Gs(0x40, 0x01, 0x34, {0})}}), 400, 700),
              0.5 * Rms(hat(gs), 400, 700))
        << "short time";
    EXPECT_LT(Rms(hat(gs + Song{{5, Gs(0x40, 0x01, 0x30, {0})}}), 400, 700), Rms(hat(gs), 400, 700))
        << "room shorter than hall";
    // A GM song after a GS one has the synthesizer's own reverb back.
    EXPECT_LT(Difference(hat(gs + Song{{3, kGmOn}}), hat({})), 0.01) << "GM";
    const Song xg = {{0, kXgOn}};
    ASSERT_GT(Rms(hat(xg), 250, 700), 1e-4);
    EXPECT_LT(Rms(hat(xg + Song{{5, Xg(0x02, 0x01, 0x00, {0, 0})}}), 250, 700), 1e-5)
        << "XG reverb off";

    // An XG variation of the chorus kind as a system effect: CC 94 sends to
    // the chorus as CC 93 would; a delay kind has no sound here.
    auto sent = [&](int cc, const Song& set) {
        return Render(xg + set +
                          Song{{10, Cc(0, midi::cc::kReverbSend, 0)},
                               {10, Cc(0, midi::cc::kChorusSend, 0)},
                               {10, Cc(0, cc, 127)},
                               {20, On(0, 60)},
                               {300, Off(0, 60)}},
                      350);
    };
    const Song chorusVariation = {{5, Xg(0x02, 0x01, 0x40, {0x41, 0x00})},
                                  {5, Xg(0x02, 0x01, 0x5A, {1})}};
    const Audio xgDry = Render(xg + Note(20, 0, 60, 280), 350);
    EXPECT_LT(Difference(sent(94, chorusVariation), sent(midi::cc::kChorusSend, {})), 0.01)
        << "variation chorus";
    EXPECT_GT(Difference(sent(94, chorusVariation), xgDry), 0.05) << "variation chorus";
    EXPECT_LT(Difference(sent(94, {{5, Xg(0x02, 0x01, 0x40, {0x05, 0x00})},
                                   {5, Xg(0x02, 0x01, 0x5A, {1})}}),
                         xgDry),
              0.001)
        << "variation delay";

    auto chorused = [&](const Song& set) {
        return Render(gs + set +
                          Song{{10, Cc(0, midi::cc::kChorusSend, 127)},
                               {10, Cc(0, midi::cc::kReverbSend, 0)},
                               {20, On(0, 60)},
                               {300, Off(0, 60)}},
                      350);
    };
    const Audio dry = Render(gs + Note(20, 0, 60, 280), 350);
    EXPECT_LT(Difference(chorused(Song{{5, Gs(0x40, 0x01, 0x3A, {0})}}), dry), 0.01)
        << "chorus level 0";
    EXPECT_GT(Difference(chorused(Song{{5, Gs(0x40, 0x01, 0x3A, {127})}}), dry),
              1.5 * Difference(chorused({}), dry))
        << "chorus level 127";
}

// The pitch's spread (highest over lowest) across short windows.
double PitchSpread(const Audio& a, int fromMs, int toMs) {
    double lo = 1e9, hi = 0;
    for (int t = fromMs; t + 25 <= toMs; t += 12) {
        const double p = Pitch(a, t, t + 25);
        lo = std::min(lo, p);
        hi = std::max(hi, p);
    }
    return lo > 0 ? hi / lo : 0;
}

// Portamento glides over a time that grows with the interval and the
// controller (not one fixed time per note), on legato and detached notes.
TEST_F(SynthModuleTest, PortamentoAndVibratoMoveThePitchAsSet) {
    const int kFlute = 73;
    const Song gs = {{0, kGsReset}};
    auto glide = [&](int time) {
        return Render(gs + Song{{5, Cc(0, 5, time)}, {5, Cc(0, 65, 127)}} +
                          Note(20, 0, 48, 100, kFlute) + Note(150, 0, 60, 450),
                      620);
    };
    const double target = Pitch(Render(gs + Note(150, 0, 60, 450, kFlute), 620), 420, 600);
    const Audio slow = glide(64), fast = glide(0);
    EXPECT_LT(Pitch(slow, 175, 215), 0.85 * target) << "still gliding";
    EXPECT_NEAR(Pitch(slow, 420, 600) / target, 1.0, 0.015) << "arrived";
    EXPECT_NEAR(Pitch(fast, 175, 215) / target, 1.0, 0.02) << "short time";
    // Portamento control glides from its key without the switch.
    const Audio control = Render(
        gs + Song{{5, Cc(0, 5, 64)}, {140, Cc(0, 84, 48)}} + Note(150, 0, 60, 450, kFlute), 620);
    EXPECT_LT(Pitch(control, 175, 215), 0.85 * target) << "portamento control";
    EXPECT_NEAR(Pitch(control, 420, 600) / target, 1.0, 0.015) << "portamento control";

    const Audio plain = Render(gs + Note(20, 0, 69, 500, kFlute), 560);
    const Audio deep = Render(gs + Nrpn(5, 0, 1, 0x09, 114) + Note(20, 0, 69, 500, kFlute), 560);
    EXPECT_LT(PitchSpread(plain, 150, 520), 1.015);
    EXPECT_GT(PitchSpread(deep, 150, 520), 1.03) << "vibrato depth";
    // The wheel at full: 50 cents by default, twice that by the range.
    const Song wheel = {{5, Cc(0, midi::cc::kModulation, 127)}};
    const double usual =
        PitchSpread(Render(gs + wheel + Note(20, 0, 69, 500, kFlute), 560), 150, 520);
    const double wide = PitchSpread(
        Render(gs + wheel + Rpn(5, 0, 0, 5, 1) + Note(20, 0, 69, 500, kFlute), 560), 150, 520);
    ASSERT_GT(usual, 1.02);
    EXPECT_NEAR(std::log(wide) / std::log(usual), 2.0, 0.3) << "modulation depth range";
}

// Mono mode (CC 126) is the synthesizer's own; every module reset ends it,
// so a song that turns it on leaves the next one its chords.
TEST_F(SynthModuleTest, ResetsEndMonoMode) {
    const Song chord = {{20, On(0, 60)}, {20, On(0, 64)}, {400, Off(0, 60)}, {400, Off(0, 64)}};
    constexpr int kMonoOn = 126;
    const Song mono = {{0, Cc(0, kMonoOn, 1)}};
    ASSERT_GT(Difference(Render(mono + chord, 500), Render(chord, 500)), 0.2) << "mono";
    for (const Bytes& reset : {kGsReset, kGmOn, kGm2On, kXgOn}) {
        EXPECT_LT(Difference(Render(mono + Song{{5, reset}} + chord, 500),
                             Render(Song{{5, reset}} + chord, 500)),
                  0.001);
    }
}

// What the sending side pins follows the same rules.
TEST(ModuleBanks, ProgramsResolveUnderEachModule) {
    platform::ModuleBanks b;
    b.BankMsb(0, 8);
    EXPECT_EQ(b.Program(0, 4).bank, 8) << "power-on takes GS banks";
    b.Reset(platform::ModuleRules::kXg);
    b.BankMsb(3, 127);
    const platform::PresetChoice kit = b.Program(3, 25);
    EXPECT_TRUE(kit.drums);
    EXPECT_EQ(kit.bank, 128);
    EXPECT_EQ(kit.program, 25);
    b.BankMsb(3, 0);
    b.BankLsb(3, 0);
    EXPECT_FALSE(b.Program(3, 0).drums);
    EXPECT_TRUE(b.Drums(9));
    b.BankMsb(4, 64);
    const platform::PresetChoice dog = b.Program(4, 48);
    EXPECT_EQ(dog.bank, 1) << "XG SFX voice as its GS variation";
    EXPECT_EQ(dog.program, 123);
    b.Reset(platform::ModuleRules::kGm);
    b.BankMsb(0, 127);
    EXPECT_FALSE(b.Program(0, 0).drums);
    EXPECT_EQ(b.Program(0, 0).bank, 0);
    EXPECT_EQ(platform::ResetRules(kXgOn), platform::ModuleRules::kXg);
    EXPECT_EQ(platform::ResetRules(kGsReset), platform::ModuleRules::kGs);
    EXPECT_EQ(platform::ResetRules(kGm2On), platform::ModuleRules::kGm2);
    EXPECT_FALSE(platform::ResetRules(Gs(0x40, 0x00, 0x04, {64})));
    // A truncated part message is not taken for a part change.
    EXPECT_FALSE(
        platform::ModuleBanks::DrumPartMessage(Bytes{0xF0, 0x43, 0x10, 0x4C, 0x08, 0x00, 0x07}));
}

}  // namespace
}  // namespace sonfara::synth_test

namespace sonfara::synth_test {
namespace {

// The kit an XG song selects on any channel is loaded before it plays,
// whether the song's list names it or the program change does.
TEST(SynthPortSounds, KitsLoadAheadUnderTheSongsModule) {
    if (access(kSoundFont, R_OK) != 0) GTEST_SKIP() << "no test SoundFont";
    platform::OfflineSynth opened = platform::SynthPort::OpenOffline(kSoundFont, kRate);
    ASSERT_TRUE(opened.synth) << opened.status.Message();
    auto synth = std::move(opened.synth);
    const platform::SoundUse listed[] = {{127, 25}};
    synth->PrepareSounds(listed);
    EXPECT_TRUE(synth->HoldsSounds({platform::SoundUse::kRhythmBank, 25}));
    synth->LongMessage(kXgOn);
    synth->ShortMessage(0xB1 | 127 << 16);  // channel 2, bank MSB 127
    synth->ShortMessage(0xC1 | 40 << 8);
    EXPECT_TRUE(synth->HoldsSounds({platform::SoundUse::kRhythmBank, 40}));
    synth->LongMessage(Xg(0x08, 2, 0x03, {48}));  // part 3 takes kit 48 by SysEx
    EXPECT_FALSE(synth->HoldsSounds({platform::SoundUse::kRhythmBank, 48}));
    synth->LongMessage(Xg(0x08, 2, 0x01, {127}));
    synth->LongMessage(Xg(0x08, 2, 0x03, {48}));
    EXPECT_TRUE(synth->HoldsSounds({platform::SoundUse::kRhythmBank, 48}));
    synth->LongMessage(kGmOn);
    synth->ShortMessage(0xC1 | 41 << 8);  // GM ignores the bank
    EXPECT_TRUE(synth->HoldsSounds({0, 41}));
}

// Debian's GS SoundFont only adds to its GM set: it is played over it.
TEST(SoundFontBase, TheGsAdditionPlaysOverItsGmSet) {
    if (access(kSoundFont, R_OK) != 0) GTEST_SKIP() << "no test SoundFont";
    char tmpl[] = "/tmp/sonfara-sf-XXXXXX";
    ASSERT_TRUE(mkdtemp(tmpl));
    const std::string dir = tmpl, gs = dir + "/FluidR3_GS.sf2", gm = dir + "/FluidR3_GM.sf2";
    ASSERT_EQ(symlink(kSoundFont, gs.c_str()), 0);
    EXPECT_EQ(platform::SoundFontBase(gs), "") << "no base: nothing under it";
    ASSERT_EQ(symlink(kSoundFont, gm.c_str()), 0);
    EXPECT_EQ(platform::SoundFontBase(gs), gm);
    EXPECT_EQ(platform::SoundFontBase(gm), "");
    EXPECT_EQ(platform::SoundFontBase(kSoundFont), "");
    platform::OfflineSynth opened = platform::SynthPort::OpenOffline(gs, kRate);
    ASSERT_TRUE(opened.synth) << opened.status.Message();
    auto synth = std::move(opened.synth);
    synth->ShortMessage(midi::kNoteOn | 60 << 8 | 100 << 16);
    std::vector<int16_t> out(2 * 2048);
    synth->Render(out.data(), 2048);
    EXPECT_TRUE(std::any_of(out.begin(), out.end(), [](int16_t v) { return std::abs(v) > 100; }));
    unlink(gs.c_str());
    unlink(gm.c_str());
    rmdir(dir.c_str());
}

}  // namespace
}  // namespace sonfara::synth_test
