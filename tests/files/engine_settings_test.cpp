// Stored settings into the engine: what the player reads after a load of
// the settings store, including the arrangement and EQ the menus check.
#include "player/session/engine_settings.h"

#include "tests/files/files_fixture.h"

namespace sonfara::files::test {
namespace {

struct Catalog {
    Catalog() {
        WriteBytes(dir / "arr/a.arr", "[SONFARA ARRANGE FILE]\r\nFirst\r\n[INST]\r\n1:2\r\n");
        WriteBytes(dir / "arr/b.arr", "[SONFARA ARRANGE FILE]\r\nSecond\r\n[INST]\r\n1:41\r\n");
        WriteBytes(dir / "eq/Flat.meq", std::string(10, '\x80'));
        WriteBytes(dir / "eq/Low.meq", std::string(1, '\0') + std::string(9, '\x80'));
        catalog.Load({{dir / "arr"}, {dir / "eq"}});
    }
    TempDir dir;
    files::ShapingCatalog catalog;
};

TEST(EngineSettings, StoredValuesReachThePlayerAndTheShaping) {
    Catalog c;
    settings::MemorySettingsStore store;
    store.values = {{"MTimer", "3"},         {"EasyDeltaTime", "False"}, {"RepeatMode", "2"},
                    {"SendSysEX", "False"},  {"SendBankSelect", "0"},    {"EffectReverb", "0"},
                    {"EffectChorus", "256"}, {"ArrMode", "2"},           {"ArrModeCap", "Second"},
                    {"EqMode", "Low"},       {"MIDIOutPort", "Rec B"},   {"OpenModeSw", "1"},
                    {"FileSort", "1"},       {"RcpLoopCount", "4"},      {"LoopCount", "10"},
                    {"LoopFade", "5"}};
    const settings::SettingsLoadResult loaded =
        settings::LoadSettings(store, session::MenusFor(c.catalog, {"Rec A", "Rec B"}), nullptr);
    const sequencer::PlaybackSettings p = session::PlaybackSettingsFromValues(loaded.values);
    EXPECT_EQ(p.mainTimerMs, 3);
    EXPECT_FALSE(p.easyDeltaTime);
    EXPECT_EQ(p.repeatMode, platform::RepeatMode::kRandom);
    EXPECT_FALSE(p.sendSysEx);
    EXPECT_FALSE(p.sendBankSelect);
    EXPECT_EQ(p.effectReverb, 0);
    EXPECT_EQ(p.effectChorus, 256);
    EXPECT_EQ(p.midiOutPort, "Rec B");
    EXPECT_EQ(p.loopCount, sequencer::kEndlessLoops);
    EXPECT_EQ(p.loopFadeSeconds, 5);

    const sequencer::SoundShaping s = session::SoundShapingFromValues(loaded.values, c.catalog);
    EXPECT_EQ(s.arrangementItem, 2);
    EXPECT_EQ(s.arrangement.ArrangeName, "Second");
    EXPECT_EQ(s.arrangement.InstMap[1], 41);
    EXPECT_TRUE(s.eqActive);
    EXPECT_EQ(s.eq[0], 0);
    EXPECT_EQ(s.eq[1], 128);

    const FileSettings f = session::FileSettingsFromValues(loaded.values);
    EXPECT_EQ(f.fileSort, 1);
    EXPECT_EQ(f.rcpLoopCount, 4);
}

TEST(EngineSettings, StaleOrUnusableValuesFallBack) {
    Catalog c;
    settings::MemorySettingsStore store;
    // The caption of item 2 changed; the port is gone; the EQ preset too;
    // a zero timer period and an unknown repeat mode would break playback.
    store.values = {{"ArrMode", "2"},       {"ArrModeCap", "Renamed"}, {"EqMode", "Gone"},
                    {"MIDIOutPort", "Old"}, {"MTimer", "0"},           {"RepeatMode", "7"},
                    {"RcpLoopCount", "0"},  {"LoopCount", "11"},       {"LoopFade", "-1"}};
    const settings::SettingsLoadResult loaded =
        settings::LoadSettings(store, session::MenusFor(c.catalog, {"Rec A"}), nullptr);
    const sequencer::PlaybackSettings p = session::PlaybackSettingsFromValues(loaded.values);
    EXPECT_EQ(p.midiOutPort, "MIDI Mapper");
    EXPECT_EQ(p.mainTimerMs, 5);
    EXPECT_EQ(p.repeatMode, platform::RepeatMode::kList);
    EXPECT_EQ(p.loopCount, 0);
    EXPECT_EQ(p.loopFadeSeconds, 0);
    const sequencer::SoundShaping s = session::SoundShapingFromValues(loaded.values, c.catalog);
    EXPECT_EQ(s.arrangementItem, 0);
    EXPECT_FALSE(s.eqActive);
    EXPECT_EQ(session::FileSettingsFromValues(loaded.values).rcpLoopCount,
              2);  // an endless loop plays

    // Defaults everywhere for an empty store.
    settings::MemorySettingsStore empty;
    const sequencer::PlaybackSettings d = session::PlaybackSettingsFromValues(
        settings::LoadSettings(empty, session::MenusFor(c.catalog, {}), nullptr).values);
    const sequencer::PlaybackSettings def;
    EXPECT_EQ(d.mainTimerMs, def.mainTimerMs);
    EXPECT_EQ(d.sendBankSelect, def.sendBankSelect);
    EXPECT_EQ(d.effectReverb, def.effectReverb);
    EXPECT_EQ(d.midiOutPort, def.midiOutPort);
}

}  // namespace
}  // namespace sonfara::files::test
