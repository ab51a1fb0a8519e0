// The machine's ports without a sound card or ALSA sequencer: listing and
// opening fail cleanly with messages that say why.
#include <gtest/gtest.h>

#include <algorithm>

#include "player/platform/system_ports.h"

namespace sonfara {
namespace {

TEST(SystemPorts, ListsMonitorAndFailsCleanlyWithoutSoundFont) {
    SystemPortOptions opt;
    opt.soundFont = "/nonexistent/none.sf2";
    SystemMidiOutput ports(opt);
    auto names = ports.PortNames();
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names.back(), "monitor");
    EXPECT_EQ(std::count(names.begin(), names.end(), SystemMidiOutput::kSynthName), 0);
    EXPECT_EQ(ports.DeviceByName("MIDI Mapper"), MidiOutputSystem::kMapper);
    EXPECT_EQ(ports.DeviceByName("no such port"), -2);
    if (!ports.RtMidiProblem().empty()) {
        // No ALSA sequencer (as in CI): the mapper has nothing to open.
        PortOpenResult r = ports.Open(MidiOutputSystem::kMapper);
        EXPECT_EQ(r.port, nullptr);
        EXPECT_NE(r.message.find("/nonexistent/none.sf2"), std::string::npos);
        EXPECT_NE(r.message.find("timgm6mb-soundfont"), std::string::npos);
    }
    PortOpenResult m = ports.Open(ports.DeviceByName("monitor"));
    ASSERT_NE(m.port, nullptr);
    m.port->Close();
    EXPECT_EQ(ports.Open(99).error, PortError::kNoDevice);
}

TEST(SystemPorts, SoundFontSearchOrder) {
    SoundFontSearch explicitOne = FindSoundFont("/nonexistent/a.sf2");
    EXPECT_TRUE(explicitOne.path.empty());  // never silently replaced
    ASSERT_EQ(explicitOne.looked.size(), 1u);
    SoundFontSearch standard = FindSoundFont("");
    EXPECT_GE(standard.looked.size(), 1u);
    EXPECT_EQ(standard.looked.back() == StandardSoundFontPaths().back() || !standard.path.empty(),
              true);
}

TEST(SynthPort, OfflineRendersSoundForANote) {
    SoundFontSearch sf = FindSoundFont("");
    if (sf.path.empty()) GTEST_SKIP() << "no SoundFont installed";
    std::string err;
    auto synth = SynthPort::OpenOffline(sf.path, 22050, &err);
    ASSERT_NE(synth, nullptr) << err;
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
    EXPECT_FALSE(SynthPort::OpenOffline("/nonexistent/x.sf2", 22050, &err));
    EXPECT_FALSE(err.empty());
}

}  // namespace
}  // namespace sonfara
