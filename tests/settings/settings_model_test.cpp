#include "player/settings/settings_model.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "player/platform/priority.h"

namespace sonfara {
namespace {

class RecordingPriority : public platform::ProcessPriority {
  public:
    bool Set(platform::PriorityClass c) override {
        asked.push_back(c);
        return accept;
    }
    std::vector<platform::PriorityClass> asked;
    bool accept = true;
};

settings::SettingsMenus Menus() {
    settings::SettingsMenus m;
    m.arrangements = {"Piano", "Strings", "Organ"};
    m.eq_presets = {"BassBoost", "Bright"};
    m.ports = {"Synth A", "USB MIDI"};
    m.control_height = 1800;
    return m;
}

TEST(SettingsDefaults, EmptyStoreGivesFirstStartValues) {
    settings::MemorySettingsStore store;
    RecordingPriority prio;
    settings::SettingsLoadResult r = settings::LoadSettings(store, Menus(), &prio);
    const settings::SettingsValues& v = r.values;
    EXPECT_EQ(v.controlTop, 0);
    EXPECT_EQ(v.controlLeft, 0);
    EXPECT_EQ(v.mainTop, 1800);  // directly below the control window
    EXPECT_EQ(v.mainLeft, 0);
    EXPECT_EQ(v.mainTimerMs, 5);
    EXPECT_EQ(v.graphicsTimerMs, 50);
    EXPECT_EQ(v.outDevice, -1);
    EXPECT_EQ(v.midiOutPort, "MIDI Mapper");
    EXPECT_EQ(v.lastFolder, "0");
    EXPECT_EQ(v.osReturn, 10);
    for (const auto& e : v.launchPrograms) EXPECT_EQ(e, "None");
    EXPECT_EQ(r.choices.arrangement, 0);
    EXPECT_EQ(r.choices.port, -1);
    EXPECT_EQ(r.choices.eq, 0);
    EXPECT_EQ(r.choices.chorus, 1);
    EXPECT_EQ(r.choices.reverb, 1);
    EXPECT_EQ(r.choices.os_return, 2);
    EXPECT_TRUE(r.unconvertible.empty());
    // ThreadMode 2 asks for the normal class at load.
    ASSERT_EQ(prio.asked.size(), 1u);
    EXPECT_EQ(prio.asked[0], platform::PriorityClass::kNormal);
    for (const auto& e : r.effective) EXPECT_TRUE(e.is_default) << e.key;
}

TEST(SettingsOrder, LoadReadsKeysInTableOrder) {
    settings::MemorySettingsStore store;
    settings::LoadSettings(store, Menus(), nullptr);
    // ArrMode is 0, so its caption is not read.
    std::vector<std::string> expected;
    for (const auto& k : settings::SettingKeysInLoadOrder())
        if (k.name != "ArrModeCap") expected.push_back(k.name);
    EXPECT_EQ(store.reads, expected);
    ASSERT_GE(store.reads.size(), 27u);
    EXPECT_EQ(store.reads[4], "ArrMode");
    EXPECT_EQ(store.reads[5], "Executable1");
    EXPECT_EQ(store.reads[15], "Recent 1");
    EXPECT_EQ(store.reads[24], "Recent 10");
    EXPECT_EQ(store.reads[25], "MTimer");
    EXPECT_EQ(store.reads.back(), "SSTP");
    EXPECT_EQ(std::count(store.reads.begin(), store.reads.end(), "MWPFile"), 0);

    settings::MemorySettingsStore withArr;
    withArr.values["ArrMode"] = "1";
    settings::LoadSettings(withArr, Menus(), nullptr);
    EXPECT_EQ(withArr.reads[5], "ArrModeCap");
}

TEST(SettingsOrder, SaveWritesEveryKeyInOrderWithTextForms) {
    settings::SettingsValues v;
    v.arrangementItem = 2;
    v.outDevice = 1;
    v.eqActive = true;
    v.eqItem = 2;
    v.showWrd = false;
    v.mwpFile = "skin1";
    settings::MemorySettingsStore store;
    ASSERT_TRUE(settings::SaveSettings(v, Menus(), store).ok());
    std::vector<std::string> keys;
    for (const auto& w : store.writes) keys.push_back(w.first);
    EXPECT_EQ(keys, settings::SettingKeysInSaveOrder());
    const std::vector<std::string> head = {
        "CTL_TOP",       "CTL_LEFT",   "MAIN_TOP",  "MAIN_LEFT",  "MTimer",  "GTimer",    "ShowWRD",
        "EasyDeltaTime", "AlwaysMove", "MWRDTimer", "WindowType", "ArrMode", "ArrModeCap"};
    EXPECT_TRUE(std::equal(head.begin(), head.end(), keys.begin()));
    EXPECT_EQ(keys[22], "MWPFile");
    EXPECT_EQ(keys[23], "Recent 1");
    EXPECT_EQ(keys[33], "Executable1");
    EXPECT_EQ(keys.back(), "EqMode");

    EXPECT_EQ(store.values["ShowWRD"], "False");
    EXPECT_EQ(store.values["SSTP"], "True");
    EXPECT_EQ(store.values["MTimer"], "5");
    EXPECT_EQ(store.values["ArrModeCap"], "Strings");
    EXPECT_EQ(store.values["MIDIOutPort"], "USB MIDI");
    EXPECT_EQ(store.values["EqMode"], "Bright");
    EXPECT_EQ(store.values["MWPFile"], "skin1");
    EXPECT_EQ(store.values["Executable10"], "None");
    EXPECT_EQ(store.values["Recent 3"], "");
}

TEST(SettingsOrder, SaveWithoutArrangementSkipsCaptionAndWritesMapper) {
    settings::SettingsValues v;
    v.eqActive = false;
    v.eqItem = 1;  // checked earlier, now switched off
    settings::MemorySettingsStore store;
    ASSERT_TRUE(settings::SaveSettings(v, Menus(), store).ok());
    EXPECT_EQ(store.values.count("ArrModeCap"), 0u);
    EXPECT_EQ(store.values["ArrMode"], "0");
    EXPECT_EQ(store.values["MIDIOutPort"], "MIDI Mapper");
    EXPECT_EQ(store.values["EqMode"], "");
}

TEST(SettingsRoundTrip, EveryKeySurvivesSaveThenLoad) {
    settings::SettingsValues v;
    v.controlTop = 1200;
    v.controlLeft = -300;
    v.mainTop = 4000;
    v.mainLeft = 15;
    v.arrangementItem = 3;
    for (int i = 0; i < 10; ++i) {
        v.launchPrograms[i] = "type" + std::to_string(i);
        v.recentFiles[i] = "C:\\songs\\\x83\x5c" + std::to_string(i) + ".mid";  // CP932 bytes kept
    }
    v.mainTimerMs = 2;
    v.graphicsTimerMs = 33;
    v.showWrd = false;
    v.easyDeltaTime = false;
    v.stayResidentOnClose = true;
    v.wrdTimerMs = 70;
    v.displayOn = false;
    v.taskType = 1;
    v.threadMode = 4;
    v.sendSysEx = false;
    v.sendBankSelect = false;
    v.sherryWrdEmulation = false;
    v.mimpiWrdEmulation = false;
    v.osReturn = 40;
    v.moduleEmulation.enabled = true;
    v.moduleEmulation.gsConfig = "gs.cfg";
    v.moduleEmulation.xgConfig = "xg.cfg";
    v.moduleEmulation.smfkBank = true;
    v.moduleEmulation.smfkRhythm = true;
    v.fileSort = 1;
    v.outDevice = 0;
    v.repeatMode = platform::RepeatMode::kRandom;
    v.openMode = 1;
    v.mainWindowFull = false;
    v.lastFolder = "/home/u/midi";
    v.mainPanel = 1;
    v.effectChorus = 0;
    v.effectReverb = 256;
    v.eqItem = 1;
    v.eqActive = true;
    v.sstpNotices = false;
    v.textEncoding = 3;

    settings::MemorySettingsStore store;
    ASSERT_TRUE(settings::SaveSettings(v, Menus(), store).ok());
    RecordingPriority prio;
    settings::SettingsLoadResult r = settings::LoadSettings(store, Menus(), &prio);
    const settings::SettingsValues& w = r.values;
    EXPECT_TRUE(r.unconvertible.empty());
    EXPECT_EQ(w.controlTop, 1200);
    EXPECT_EQ(w.controlLeft, -300);
    EXPECT_EQ(w.mainTop, 4000);
    EXPECT_EQ(w.mainLeft, 15);
    EXPECT_EQ(w.arrangementItem, 3);
    EXPECT_EQ(w.arrangementCaption, "Organ");
    EXPECT_EQ(w.launchPrograms, v.launchPrograms);
    EXPECT_EQ(w.recentFiles, v.recentFiles);
    EXPECT_EQ(w.mainTimerMs, 2);
    EXPECT_EQ(w.graphicsTimerMs, 33);
    EXPECT_FALSE(w.showWrd);
    EXPECT_FALSE(w.easyDeltaTime);
    EXPECT_TRUE(w.stayResidentOnClose);
    EXPECT_EQ(w.wrdTimerMs, 70);
    EXPECT_FALSE(w.displayOn);
    EXPECT_EQ(w.taskType, 1);
    EXPECT_EQ(w.threadMode, 4);
    EXPECT_FALSE(w.sendSysEx);
    EXPECT_FALSE(w.sendBankSelect);
    EXPECT_FALSE(w.sherryWrdEmulation);
    EXPECT_FALSE(w.mimpiWrdEmulation);
    EXPECT_EQ(w.osReturn, 40);
    EXPECT_TRUE(w.moduleEmulation.enabled);
    EXPECT_EQ(w.moduleEmulation.gsConfig, "gs.cfg");
    EXPECT_EQ(w.moduleEmulation.xgConfig, "xg.cfg");
    EXPECT_TRUE(w.moduleEmulation.smfkBank);
    EXPECT_TRUE(w.moduleEmulation.smfkRhythm);
    EXPECT_EQ(w.fileSort, 1);
    EXPECT_EQ(w.midiOutPort, "Synth A");
    EXPECT_EQ(w.outDevice, 0);
    EXPECT_EQ(w.repeatMode, platform::RepeatMode::kRandom);
    EXPECT_EQ(w.openMode, 1);
    EXPECT_FALSE(w.mainWindowFull);
    EXPECT_EQ(w.lastFolder, "/home/u/midi");
    EXPECT_EQ(w.mainPanel, 1);
    EXPECT_EQ(w.effectChorus, 0);
    EXPECT_EQ(w.effectReverb, 256);
    EXPECT_EQ(w.eqCaption, "BassBoost");
    EXPECT_TRUE(w.eqActive);
    EXPECT_EQ(w.eqItem, 1);
    EXPECT_FALSE(w.sstpNotices);
    EXPECT_EQ(w.textEncoding, 3);
    EXPECT_EQ(settings::StoredTextEncodingSetting(store), 3);
    store.Set("TextEncoding", "7");  // beyond the offered encodings: automatic
    EXPECT_EQ(settings::StoredTextEncodingSetting(store), 0);
    EXPECT_EQ(settings::LoadSettings(store, Menus(), nullptr).values.textEncoding, 0);
    EXPECT_EQ(w.mwpFile, "");  // written, never read

    EXPECT_EQ(r.choices.arrangement, 3);
    EXPECT_EQ(r.choices.port, 0);
    EXPECT_EQ(r.choices.eq, 1);
    EXPECT_EQ(r.choices.chorus, 2);
    EXPECT_EQ(r.choices.reverb, 0);
    EXPECT_EQ(r.choices.os_return, 4);
    ASSERT_EQ(prio.asked.size(), 1u);
    EXPECT_EQ(prio.asked[0], platform::PriorityClass::kIdle);
}

TEST(SettingsStale, PortNoLongerPresentFallsBackToMapper) {
    settings::MemorySettingsStore store;
    store.values["MIDIOutPort"] = "Unplugged Synth";
    settings::SettingsLoadResult r = settings::LoadSettings(store, Menus(), nullptr);
    EXPECT_EQ(r.values.outDevice, -1);
    EXPECT_EQ(r.choices.port, -1);
    settings::MemorySettingsStore out;
    ASSERT_TRUE(settings::SaveSettings(r.values, Menus(), out).ok());
    EXPECT_EQ(out.values["MIDIOutPort"], "MIDI Mapper");

    store.values["MIDIOutPort"] = "USB MIDI";
    EXPECT_EQ(settings::LoadSettings(store, Menus(), nullptr).values.outDevice, 1);
}

TEST(SettingsStale, ArrangementCaptionMismatchLoadsAsNone) {
    settings::MemorySettingsStore store;
    store.values["ArrMode"] = "2";
    store.values["ArrModeCap"] = "Old Strings";
    settings::SettingsLoadResult r = settings::LoadSettings(store, Menus(), nullptr);
    EXPECT_EQ(r.values.arrangementItem, 0);
    EXPECT_EQ(r.choices.arrangement, 0);

    store.values["ArrModeCap"] = "Strings";
    r = settings::LoadSettings(store, Menus(), nullptr);
    EXPECT_EQ(r.values.arrangementItem, 2);
    EXPECT_EQ(r.choices.arrangement, 2);

    // An item number beyond the menu is stale too.
    store.values["ArrMode"] = "9";
    EXPECT_EQ(settings::LoadSettings(store, Menus(), nullptr).values.arrangementItem, 0);
}

TEST(SettingsStale, EffectValueOutsideMenuChecksNothing) {
    settings::MemorySettingsStore store;
    store.values["EffectChorus"] = "64";
    settings::SettingsLoadResult r = settings::LoadSettings(store, Menus(), nullptr);
    EXPECT_EQ(r.values.effectChorus, 64);  // kept for the output layer
    EXPECT_EQ(r.choices.chorus, -1);
    EXPECT_EQ(r.choices.reverb, 1);
}

TEST(SettingsStale, EqPresetGoneLeavesEqOff) {
    settings::MemorySettingsStore store;
    store.values["EqMode"] = "Removed";
    settings::SettingsLoadResult r = settings::LoadSettings(store, Menus(), nullptr);
    EXPECT_FALSE(r.values.eqActive);
    EXPECT_EQ(r.choices.eq, 0);
    store.values["EqMode"] = "Bright";
    r = settings::LoadSettings(store, Menus(), nullptr);
    EXPECT_TRUE(r.values.eqActive);
    EXPECT_EQ(r.choices.eq, 2);
}

TEST(SettingsText, BooleansAndNumbers) {
    bool b = false;
    EXPECT_TRUE(settings::ParseBoolText("True", b) && b);
    EXPECT_TRUE(settings::ParseBoolText("false", b) && !b);
    EXPECT_TRUE(settings::ParseBoolText("-1", b) && b);
    EXPECT_TRUE(settings::ParseBoolText("7", b) && b);
    EXPECT_TRUE(settings::ParseBoolText("0", b) && !b);
    EXPECT_FALSE(settings::ParseBoolText("yes", b));
    EXPECT_FALSE(settings::ParseBoolText("", b));

    int32_t n = 0;
    EXPECT_TRUE(settings::ParseNumberText(" -42 ", n));
    EXPECT_EQ(n, -42);
    EXPECT_TRUE(settings::ParseNumberText("2147483647", n));
    EXPECT_EQ(n, 2147483647);
    EXPECT_TRUE(settings::ParseNumberText("-2147483648", n));
    EXPECT_FALSE(settings::ParseNumberText("2147483648", n));
    EXPECT_FALSE(settings::ParseNumberText("12abc", n));
    EXPECT_FALSE(settings::ParseNumberText("1.5", n));
    EXPECT_FALSE(settings::ParseNumberText("-", n));
    EXPECT_EQ(settings::NumberText(-7), "-7");
    EXPECT_EQ(settings::BoolText(true), "True");
    EXPECT_EQ(settings::BoolText(false), "False");
}

TEST(SettingsText, UnconvertibleOrHarmfulValuesKeepDefaults) {
    settings::MemorySettingsStore store;
    store.values["MTimer"] = "fast";
    store.values["GTimer"] = "0";
    store.values["ShowWRD"] = "maybe";
    store.values["TaskType"] = "7";
    store.values["OSRetrun"] = "3";
    store.values["CTL_TOP"] = "99999999999";
    store.values["BltSw"] = "0";  // a number reads as a boolean
    settings::SettingsLoadResult r = settings::LoadSettings(store, Menus(), nullptr);
    EXPECT_EQ(r.values.mainTimerMs, 5);
    EXPECT_EQ(r.values.graphicsTimerMs, 50);
    EXPECT_TRUE(r.values.showWrd);
    EXPECT_EQ(r.values.taskType, 2);
    EXPECT_EQ(r.values.osReturn, 10);
    EXPECT_EQ(r.values.controlTop, 0);
    EXPECT_FALSE(r.values.displayOn);
    std::vector<std::string> bad = r.unconvertible;
    std::sort(bad.begin(), bad.end());
    EXPECT_EQ(bad, (std::vector<std::string>{"CTL_TOP", "GTimer", "MTimer", "OSRetrun", "ShowWRD",
                                             "TaskType"}));
}

TEST(SettingsPriority, ThreadModeMapping) {
    RecordingPriority prio;
    prio.accept = false;  // refused: not an error
    EXPECT_FALSE(platform::ApplyThreadMode(prio, 0));
    EXPECT_TRUE(platform::ApplyThreadMode(prio, 5));  // leaves the priority alone
    EXPECT_TRUE(platform::ApplyThreadMode(prio, -1));
    prio.accept = true;
    EXPECT_TRUE(platform::ApplyThreadMode(prio, 1));
    platform::ApplyThreadMode(prio, 3);
    EXPECT_EQ(prio.asked, (std::vector<platform::PriorityClass>{platform::PriorityClass::kRealtime,
                                                                platform::PriorityClass::kHigh,
                                                                platform::PriorityClass::kNormal}));
    EXPECT_EQ(platform::NiceValueFor(platform::PriorityClass::kIdle), 19);
    // The real implementation reports a refusal instead of failing.
    platform::SystemProcessPriority system;
    (void)system.Set(platform::PriorityClass::kNormal);
}

}  // namespace
}  // namespace sonfara
