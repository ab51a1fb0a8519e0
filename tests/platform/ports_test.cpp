// The machine's ports without a sound card or ALSA sequencer: listing and
// opening fail cleanly with messages that say why.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>

#include "player/platform/midi.h"
#include "player/platform/synth_schedule.h"
#include "player/platform/system_ports.h"

namespace sonfara {
namespace {

TEST(SystemPorts, ListsMonitorAndFailsCleanlyWithoutSoundFont) {
    platform::SystemPortOptions opt;
    opt.soundFont = "/nonexistent/none.sf2";
    platform::SystemMidiOutput ports(opt);
    auto names = ports.PortNames();
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names.back(), "monitor");
    EXPECT_EQ(std::count(names.begin(), names.end(), platform::SystemMidiOutput::kSynthName), 0);
    EXPECT_EQ(ports.DeviceByName("MIDI Mapper"), platform::MidiOutputSystem::kMapper);
    EXPECT_EQ(ports.DeviceByName("no such port"), -2);
    if (!ports.RtMidiProblem().empty()) {
        // No ALSA sequencer (as in CI): the mapper has nothing to open.
        platform::PortOpenResult r = ports.Open(platform::MidiOutputSystem::kMapper);
        EXPECT_EQ(r.port, nullptr);
        EXPECT_NE(r.message.find("/nonexistent/none.sf2"), std::string::npos);
        EXPECT_NE(r.message.find("timgm6mb-soundfont"), std::string::npos);
    }
    platform::PortOpenResult m = ports.Open(ports.DeviceByName("monitor"));
    ASSERT_NE(m.port, nullptr);
    m.port->Close();
    EXPECT_EQ(ports.Open(99).error, platform::PortError::kNoDevice);
}

TEST(SystemPorts, SoundFontSearchOrder) {
    platform::SoundFontSearch explicitOne = platform::FindSoundFont("/nonexistent/a.sf2");
    EXPECT_TRUE(explicitOne.path.empty());  // never silently replaced
    ASSERT_EQ(explicitOne.looked.size(), 1u);
    platform::SoundFontSearch standard = platform::FindSoundFont("");
    EXPECT_GE(standard.looked.size(), 1u);
    EXPECT_EQ(standard.looked.back() == platform::StandardSoundFontPaths().back() ||
                  !standard.path.empty(),
              true);
}

TEST(SynthPort, OfflineRendersSoundForANote) {
    platform::SoundFontSearch sf = platform::FindSoundFont("");
    if (sf.path.empty()) GTEST_SKIP() << "no SoundFont installed";
    platform::OfflineSynth opened = platform::SynthPort::OpenOffline(sf.path, 22050);
    ASSERT_NE(opened.synth, nullptr) << opened.status.Message();
    auto synth = std::move(opened.synth);
    std::vector<int16_t> buf(2 * 4410);
    synth->ShortMessage(0x90 | 60 << 8 | 100 << 16);
    ASSERT_TRUE(synth->Render(buf.data(), 4410));
    int peak = 0;
    for (int16_t v : buf) peak = std::max(peak, std::abs(static_cast<int>(v)));
    EXPECT_GT(peak, 100);
    EXPECT_GT(synth->ActiveVoices(), 0);
    synth->Reset();
    for (int i = 0; i < 50 && synth->ActiveVoices() > 0; ++i) synth->Render(buf.data(), 4410);
    EXPECT_EQ(synth->ActiveVoices(), 0);
    const platform::OfflineSynth missing =
        platform::SynthPort::OpenOffline("/nonexistent/x.sf2", 22050);
    EXPECT_FALSE(missing.synth);
    EXPECT_EQ(missing.status.code(), platform::PlatformError::kCannotReadSoundFont);
    EXPECT_NE(missing.status.Message().find("/nonexistent/x.sf2"), std::string::npos);
}

constexpr int kRate = 44100;
constexpr uint32_t kClick = midi::kNoteOn | 76 << 8 | 120 << 16;  // a high piano note

uint32_t Cc0(uint8_t controller, uint8_t value) {
    return midi::kControlChange | uint32_t{controller} << 8 | uint32_t{value} << 16;
}

// No reverb or chorus: after its sound is cut, a note leaves silence.
void DrySound(platform::SynthPort& synth) {
    for (uint32_t c = 0; c < 8; ++c) {
        synth.ShortMessage(Cc0(midi::cc::kReverbSend, 0) | c);
        synth.ShortMessage(Cc0(midi::cc::kChorusSend, 0) | c);
    }
}

// Where a note's attack first rises above the effects units' idle noise.
int FirstSound(const std::vector<int16_t>& stereo, size_t from) {
    constexpr int kAttackLevel = 16;
    for (size_t f = from; f < stereo.size() / 2; ++f)
        if (std::abs(stereo[2 * f]) > kAttackLevel) return static_cast<int>(f);
    return -1;
}

// Frames from a note's start to its first sound (the sample's own lead-in).
int LeadIn(const std::string& sf) {
    auto synth = platform::SynthPort::OpenOffline(sf, kRate).synth;
    DrySound(*synth);
    synth->ShortMessage(kClick);
    std::vector<int16_t> out(2 * 4096);
    synth->Render(out.data(), 4096);
    return FirstSound(out, 0);
}

// The port driven as its audio callback drives it: every buffer of bufferFrames is
// rendered when the clock reaches its first frame, after the messages sent
// during the buffer before, which the latency (one buffer) places inside it.
std::vector<int16_t> ClickTrack(const std::string& sf, int bufferFrames,
                                const std::vector<int64_t>& clickUs, int64_t endUs) {
    platform::ManualClock clock(0);
    auto synth = platform::SynthPort::OpenOffline(sf, kRate, &clock, bufferFrames).synth;
    DrySound(*synth);
    std::vector<int16_t> out(2 * static_cast<size_t>(endUs * kRate / 1000000 + bufferFrames));
    size_t k = 0;
    for (int64_t f = 0; f + bufferFrames <= static_cast<int64_t>(out.size() / 2);
         f += bufferFrames) {
        const int64_t bufferUs = f * 1000000 / kRate;
        for (; k < clickUs.size() && clickUs[k] < bufferUs; ++k) {
            const uint32_t channel = static_cast<uint32_t>(k % 8);
            clock.SetUs(clickUs[k]);
            synth->ShortMessage(kClick | channel);
            clock.SetUs(clickUs[k] + 300'000);
            synth->ShortMessage(Cc0(midi::cc::kAllSoundOff, 0) | channel);
        }
        clock.SetUs(bufferUs);
        synth->Render(out.data() + 2 * f, bufferFrames);
    }
    return out;
}

TEST(SynthPort, NotesLandOnTheirSampleAtEveryBufferSize) {
    platform::SoundFontSearch sf = platform::FindSoundFont("");
    if (sf.path.empty()) GTEST_SKIP() << "no SoundFont installed";
    const int lead = LeadIn(sf.path);
    ASSERT_GE(lead, 0);
    // Clicks at odd microseconds, none on a buffer or block boundary.
    std::vector<int64_t> clicks;
    for (int i = 0; i < 8; ++i) clicks.push_back(50'000 + i * 600'000 + i * 7'919 + 13);
    std::vector<int16_t> first;
    for (int frames : platform::SynthPort::BufferChoices()) {
        SCOPED_TRACE(frames);
        const std::vector<int16_t> out =
            ClickTrack(sf.path, frames, clicks, clicks.back() + 600'000);
        for (int64_t us : clicks) {
            const int64_t due = (us * kRate + 500'000) / 1'000'000 + frames + lead;
            const int onset = FirstSound(out, static_cast<size_t>(due - 200));
            // FluidSynth starts notes between its 64-frame blocks: the nearest one.
            EXPECT_LE(std::abs(onset - due), platform::kSynthBlockFrames / 2)
                << "click at " << us << " us";
        }
        // Without the latency the render is the same whatever the buffer (but
        // for rounding: FluidSynth mixes a longer buffer in another order;
        // a note one block off would differ by thousands).
        const auto from = out.begin() + 2 * frames;
        std::vector<int16_t> aligned(from,
                                     from + 2 * (clicks.back() + 500'000) * kRate / 1'000'000);
        if (first.empty()) first = aligned;
        int most = 0;
        for (size_t i = 0; i < first.size(); ++i)
            most = std::max(most, std::abs(first[i] - aligned[i]));
        EXPECT_LE(most, 64);
    }
}

// Pause and stop cut every channel, a mute one channel, at the start of the
// next buffer rather than a latency later; notes still queued stay silent.
// Samples load on demand: an instrument the song did not announce is loaded
// when its program change is sent, a latency before the audio thread selects
// it, so that thread never waits for the disk (a drop-out).
TEST(SynthPort, ProgramChangesLoadTheirSoundsWhenSent) {
    platform::SoundFontSearch sf = platform::FindSoundFont("");
    if (sf.path.empty()) GTEST_SKIP() << "no SoundFont installed";
    constexpr int kViolin = 40, kRoomKit = 8;
    platform::OfflineSynth opened = platform::SynthPort::OpenOffline(sf.path, 22050);
    ASSERT_NE(opened.synth, nullptr) << opened.status.Message();
    auto synth = std::move(opened.synth);
    const platform::SoundUse piano{0, 0}, violin{8, kViolin},
        kit{platform::SoundUse::kRhythmBank, kRoomKit};
    synth->PrepareSounds(std::vector<platform::SoundUse>{piano});
    EXPECT_TRUE(synth->HoldsSounds(piano));
    EXPECT_FALSE(synth->HoldsSounds(violin));

    synth->ShortMessage(Cc0(midi::cc::kBankSelect, 8));
    synth->ShortMessage(midi::kProgramChange | kViolin << 8);
    synth->ShortMessage(midi::kProgramChange | midi::kDrumChannel | kRoomKit << 8);
    EXPECT_TRUE(synth->HoldsSounds(violin));  // a missing variation falls back to bank 0
    EXPECT_TRUE(synth->HoldsSounds(kit));
    std::vector<int16_t> buf(2 * 2205);
    synth->ShortMessage(midi::kNoteOn | 60 << 8 | 100 << 16);
    ASSERT_TRUE(synth->Render(buf.data(), 2205));
    int peak = 0;
    for (int16_t v : buf) peak = std::max(peak, std::abs(static_cast<int>(v)));
    EXPECT_GT(peak, 100);

    synth->PrepareSounds(std::vector<platform::SoundUse>{piano});  // the next song lets them go
    EXPECT_FALSE(synth->HoldsSounds(violin));
}

TEST(SynthPort, SilenceCutsSoundWithinOnePeriod) {
    platform::SoundFontSearch sf = platform::FindSoundFont("");
    if (sf.path.empty()) GTEST_SKIP() << "no SoundFont installed";
    constexpr int kOrgan = 19, kLeft = 0, kRight = 127;
    const int frames = platform::SynthPort::kDefaultBufferFrames;
    platform::ManualClock clock(0);
    platform::OfflineSynth opened =
        platform::SynthPort::OpenOffline(sf.path, kRate, &clock, frames);
    ASSERT_NE(opened.synth, nullptr) << opened.status.Message();
    auto synth = std::move(opened.synth);
    DrySound(*synth);
    std::vector<int16_t> out(2 * static_cast<size_t>(frames));
    int64_t rendered = 0;
    // Renders one buffer; the peak of the left and the right side.
    auto buffer = [&] {
        clock.SetUs(rendered * 1'000'000 / kRate);
        synth->Render(out.data(), frames);
        rendered += frames;
        std::array<int, 2> peak{};
        for (int i = 0; i < 2 * frames; ++i)
            peak[i % 2] = std::max(peak[i % 2], std::abs(int{out[i]}));
        return peak;
    };
    for (uint32_t c = 0; c < 2; ++c) {
        synth->ShortMessage(midi::kProgramChange | c | kOrgan << 8);
        synth->ShortMessage(Cc0(midi::cc::kPan, c == 0 ? kLeft : kRight) | c);
        synth->ShortMessage(midi::kNoteOn | c | 60 << 8 | 100 << 16);
    }
    for (int i = 0; i < 4; ++i) buffer();
    const std::array<int, 2> peak = buffer();
    ASSERT_GT(peak[0], 1000);
    ASSERT_GT(peak[1], 1000);
    // Voices, not levels: the reverb's room tail goes on after a cut.
    const int both = synth->ActiveVoices();
    ASSERT_EQ(both % 2, 0);

    // Mute the right channel mid-buffer, a note for it just queued.
    clock.AdvanceUs(10'000);
    synth->ShortMessage(midi::kNoteOn | 1 | 64 << 8 | 100 << 16);
    synth->ShortMessage(midi::kNoteOn | 1 | 60 << 8);
    synth->Silence(1);
    for (int i = 0; i < 3; ++i) {
        EXPECT_GT(buffer()[0], 1000);
        EXPECT_EQ(synth->ActiveVoices(), both / 2);
    }
    // Pause: everything.
    clock.AdvanceUs(10'000);
    synth->ShortMessage(midi::kNoteOn | 0 | 60 << 8);
    synth->Silence(-1);
    buffer();
    EXPECT_EQ(synth->ActiveVoices(), 0);
}

}  // namespace
}  // namespace sonfara
