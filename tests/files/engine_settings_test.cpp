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
    ShapingCatalog catalog;
};

TEST(EngineSettings, StoredValuesReachThePlayerAndTheShaping) {
    Catalog c;
    MemorySettingsStore store;
    store.values = {{"MTimer", "3"},         {"EasyDeltaTime", "False"}, {"RepeatMode", "2"},
                    {"SendSysEX", "False"},  {"SendBankSelect", "0"},    {"EffectReverb", "0"},
                    {"EffectChorus", "256"}, {"ArrMode", "2"},           {"ArrModeCap", "Second"},
                    {"EqMode", "Low"},       {"MIDIOutPort", "Rec B"},   {"OpenModeSw", "1"},
                    {"FileSort", "1"},       {"RcpLoopCount", "4"},      {"LoopCount", "10"},
                    {"LoopFade", "5"}};
    const SettingsLoadResult loaded =
        LoadSettings(store, MenusFor(c.catalog, {"Rec A", "Rec B"}), nullptr);
    const PlaybackSettings p = PlaybackSettingsFromValues(loaded.values);
    EXPECT_EQ(p.MTimer, 3);
    EXPECT_FALSE(p.EasyDeltaTime);
    EXPECT_EQ(p.RepeatMode, RepeatMode::kRandom);
    EXPECT_FALSE(p.SendSysEX);
    EXPECT_FALSE(p.SendBankSelect);
    EXPECT_EQ(p.EffectReverb, 0);
    EXPECT_EQ(p.EffectChorus, 256);
    EXPECT_EQ(p.MIDIOutPort, "Rec B");
    EXPECT_EQ(p.LoopCount, kEndlessLoops);
    EXPECT_EQ(p.LoopFadeSeconds, 5);

    const SoundShaping s = SoundShapingFromValues(loaded.values, c.catalog);
    EXPECT_EQ(s.ArrMode, 2);
    EXPECT_EQ(s.arrangement.ArrangeName, "Second");
    EXPECT_EQ(s.arrangement.InstMap[1], 41);
    EXPECT_TRUE(s.EqActive);
    EXPECT_EQ(s.eq[0], 0);
    EXPECT_EQ(s.eq[1], 128);

    const FileSettings f = FileSettingsFromValues(loaded.values);
    EXPECT_EQ(f.FileSort, 1);
    EXPECT_EQ(f.RcpLoopCount, 4);
}

TEST(EngineSettings, StaleOrUnusableValuesFallBack) {
    Catalog c;
    MemorySettingsStore store;
    // The caption of item 2 changed; the port is gone; the EQ preset too;
    // a zero timer period and an unknown repeat mode would break playback.
    store.values = {{"ArrMode", "2"},       {"ArrModeCap", "Renamed"}, {"EqMode", "Gone"},
                    {"MIDIOutPort", "Old"}, {"MTimer", "0"},           {"RepeatMode", "7"},
                    {"RcpLoopCount", "0"},  {"LoopCount", "11"},       {"LoopFade", "-1"}};
    const SettingsLoadResult loaded = LoadSettings(store, MenusFor(c.catalog, {"Rec A"}), nullptr);
    const PlaybackSettings p = PlaybackSettingsFromValues(loaded.values);
    EXPECT_EQ(p.MIDIOutPort, "MIDI Mapper");
    EXPECT_EQ(p.MTimer, 5);
    EXPECT_EQ(p.RepeatMode, RepeatMode::kList);
    EXPECT_EQ(p.LoopCount, 0);
    EXPECT_EQ(p.LoopFadeSeconds, 0);
    const SoundShaping s = SoundShapingFromValues(loaded.values, c.catalog);
    EXPECT_EQ(s.ArrMode, 0);
    EXPECT_FALSE(s.EqActive);
    EXPECT_EQ(FileSettingsFromValues(loaded.values).RcpLoopCount, 2);  // an endless loop plays

    // Defaults everywhere for an empty store.
    MemorySettingsStore empty;
    const PlaybackSettings d =
        PlaybackSettingsFromValues(LoadSettings(empty, MenusFor(c.catalog, {}), nullptr).values);
    const PlaybackSettings def;
    EXPECT_EQ(d.MTimer, def.MTimer);
    EXPECT_EQ(d.SendBankSelect, def.SendBankSelect);
    EXPECT_EQ(d.EffectReverb, def.EffectReverb);
    EXPECT_EQ(d.MIDIOutPort, def.MIDIOutPort);
}

}  // namespace
}  // namespace sonfara::files::test
