// Arrangement and EQ files as the user writes them, read by the file
// layer's readers and applied by the real output layer, checked at the port.
#include "player/files/shaping_catalog.h"
#include "player/platform/midi_port.h"
#include "player/sequencer/output_layer.h"
#include "tests/files/files_fixture.h"

namespace sonfara::files::test {
namespace {

class ShapingOutput : public ::testing::Test {
  protected:
    // Reads every file written so far and selects arrangement `arr` and EQ `eq`.
    void Select(int arr, int eq) {
        files::ShapingCatalog c;
        c.Load({{dir_ / "arr"}, {dir_ / "eq"}});
        shaping_ = files::MakeSoundShaping(c, arr, eq);
    }
    void Open() {
        ASSERT_TRUE(out_.OpenOutputPort(0).ok());
        ports_.Latest()->ClearLog();
    }
    std::vector<std::string> Sent() {
        std::vector<std::string> v;
        for (const auto& m : ports_.Latest()->Messages()) v.push_back(platform::HexLine(m.bytes));
        ports_.Latest()->ClearLog();
        return v;
    }

    TempDir dir_;
    platform::ManualClock clock_;
    platform::RecordingOutputSystem ports_{clock_};
    platform::CodePage cp_{"CP932"};
    song::SongTable song_;
    sequencer::SongCursors cursors_;
    sequencer::PlaybackSettings settings_;
    sequencer::SoundShaping shaping_;
    sequencer::OutputLayer out_{song_, cursors_, ports_, settings_, shaping_, cp_};
};

TEST_F(ShapingOutput, InstElseThenMappingRemapsEveryProgramButDrums) {
    WriteBytes(dir_ / "arr/one.arr",
               "[SONFARA ARRANGE FILE]\r\nOne\r\n[INST ELSE]\r\n1\r\n[INST]\r\n1:41\r\n");
    Select(1, 0);
    Open();
    out_.SendShortMessage(0xC0, 0, 0);
    out_.SendShortMessage(0xC0, 5, 0);
    out_.SendShortMessage(0xC3, 127, 0);
    out_.SendShortMessage(0xC9, 5, 0);  // channel 10
    EXPECT_EQ(Sent(), (std::vector<std::string>{"C0 28", "C0 00", "C3 00", "C9 05"}));
    // The channel keeps the song's own program for the displays.
    EXPECT_EQ(out_.Channel(4).Program.load(), 127);
}

TEST_F(ShapingOutput, ModulationOptionAndBankSelect) {
    WriteBytes(dir_ / "arr/a.arr", "[SONFARA ARRANGE FILE]\r\nNoMod\r\n[OPTION]\r\nMOD 0\r\n");
    WriteBytes(dir_ / "arr/b.arr", "[SONFARA ARRANGE FILE]\r\nMod\r\n[OPTION]\r\nMOD 1\r\n");
    WriteBytes(dir_ / "arr/c.arr", "[SONFARA ARRANGE FILE]\r\nBare\r\n[OPTION]\r\nMOD\r\n");
    const auto burst = [&] {
        out_.SendShortMessage(0xB0, 1, 64);
        out_.SendShortMessage(0xB0, 0, 3);
        out_.SendShortMessage(0xB0, 32, 1);
        out_.SendShortMessage(0xB0, 11, 90);
        return Sent();
    };
    Select(1, 0);
    Open();
    EXPECT_EQ(burst(), (std::vector<std::string>{"B0 00 03", "B0 20 01", "B0 0B 5A"}));
    Select(2, 0);
    EXPECT_EQ(burst(), (std::vector<std::string>{"B0 01 40", "B0 00 03", "B0 20 01", "B0 0B 5A"}));
    Select(3, 0);
    EXPECT_EQ(burst().front(), "B0 01 40");

    // Bank select off wins over every arrangement, and over none.
    settings_.sendBankSelect = false;
    for (int arr : {0, 1, 2}) {
        Select(arr, 0);
        for (const auto& m : burst()) EXPECT_NE(m.substr(0, 5), "B0 00") << arr;
        out_.SendShortMessage(0xB0, 32, 1);
        EXPECT_TRUE(Sent().empty()) << arr;
    }
}

TEST_F(ShapingOutput, EqFirstBandZeroSilencesLowNotesAndFlatLeavesAll) {
    WriteBytes(dir_ / "eq/Cut.meq", std::string(1, '\0') + std::string(9, '\x80'));
    WriteBytes(dir_ / "eq/Flat.meq", std::string(10, '\x80'));
    WriteBytes(dir_ / "eq/Long.meq", std::string(11, '\x80'));  // not a preset
    Select(0, 1);
    Open();
    out_.SendShortMessage(0x90, 0, 100);
    out_.SendShortMessage(0x90, 30, 127);
    out_.SendShortMessage(0x90, 31, 100);
    out_.SendShortMessage(0x99, 30, 100);  // drums keep their velocity
    EXPECT_EQ(Sent(), (std::vector<std::string>{"90 00 00", "90 1E 00", "90 1F 64", "99 1E 64"}));

    Select(0, 2);
    for (int note : {0, 30, 31, 64, 102, 127}) out_.SendShortMessage(0x91, note, 77);
    for (const auto& m : Sent()) EXPECT_EQ(m.substr(6), "4D") << m;

    files::ShapingCatalog c;
    c.Load({{dir_ / "arr"}, {dir_ / "eq"}});
    EXPECT_EQ(c.EqPresets().size(), 2u);
}

}  // namespace
}  // namespace sonfara::files::test
