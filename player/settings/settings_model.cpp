#include "player/settings/settings_model.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <variant>

#include "player/platform/priority.h"

namespace sonfara::settings {
namespace {

using NumField = int32_t SettingsValues::*;
using BoolField = bool SettingsValues::*;
using TextField = std::string SettingsValues::*;
using ListField = std::array<std::string, 10> SettingsValues::*;
using RepeatField = platform::RepeatMode SettingsValues::*;
using EmuBoolField = bool platform::ModuleEmulation::*;
using EmuTextField = std::string platform::ModuleEmulation::*;

struct ListItem {
    ListField list;
    int index;
};

using Field =
    std::variant<NumField, BoolField, TextField, ListItem, RepeatField, EmuBoolField, EmuTextField>;

struct KeyDef {
    std::string name;
    Field field;
    std::optional<SettingRange> range = std::nullopt;
};

std::string RecentKey(int i) {
    return "Recent " + std::to_string(i);
}
std::string ExecutableKey(int i) {
    return "Executable" + std::to_string(i);
}

// Every key with its field, in load order ("MWPFile" last: never read). The
// key names are the stored ones, kept exactly (typos included); the fields
// have C++ names of their own.
const std::vector<KeyDef>& KeyDefs() {
    static const std::vector<KeyDef> defs = [] {
        std::vector<KeyDef> d = {
            {"CTL_TOP", &SettingsValues::controlTop},
            {"CTL_LEFT", &SettingsValues::controlLeft},
            {"MAIN_TOP", &SettingsValues::mainTop},
            {"MAIN_LEFT", &SettingsValues::mainLeft},
            {"ArrMode", &SettingsValues::arrangementItem},
            {"ArrModeCap", &SettingsValues::arrangementCaption},
        };
        for (int i = 1; i <= 10; ++i)
            d.push_back({ExecutableKey(i), ListItem{&SettingsValues::launchPrograms, i - 1}});
        for (int i = 1; i <= 10; ++i)
            d.push_back({RecentKey(i), ListItem{&SettingsValues::recentFiles, i - 1}});
        const std::vector<KeyDef> rest = {
            {"MTimer", &SettingsValues::mainTimerMs, SettingRange{1, 100}},
            {"GTimer", &SettingsValues::graphicsTimerMs, SettingRange{10, 1000}},
            {"ShowWRD", &SettingsValues::showWrd},
            {"EasyDeltaTime", &SettingsValues::easyDeltaTime},
            {"AlwaysMove", &SettingsValues::stayResidentOnClose},
            {"MWRDTimer", &SettingsValues::wrdTimerMs, SettingRange{10, 1000}},
            {"BltSw", &SettingsValues::displayOn},
            {"TaskType", &SettingsValues::taskType, SettingRange{0, 2}},
            {"ThreadMode", &SettingsValues::threadMode},
            {"SendSysEX", &SettingsValues::sendSysEx},
            {"SendBankSelect", &SettingsValues::sendBankSelect},
            {"SWRDEmulation", &SettingsValues::sherryWrdEmulation},
            {"MWRDEmulation", &SettingsValues::mimpiWrdEmulation},
            {"OSRetrun", &SettingsValues::osReturn},
            {"MIDIEmulate", &platform::ModuleEmulation::enabled},
            {"MIDIEmuGSCFG", &platform::ModuleEmulation::gsConfig},
            {"MIDIEmuXGCFG", &platform::ModuleEmulation::xgConfig},
            {"SMFKBank", &platform::ModuleEmulation::smfkBank},
            {"SMFKRythm", &platform::ModuleEmulation::smfkRhythm},
            // An endless loop plays at least once; beyond 99 a song never ends.
            {"RcpLoopCount", &SettingsValues::rcpLoopCount, SettingRange{1, 99}},
            {"LyricsShown", &SettingsValues::lyricsShown},
            {"LyricsTop", &SettingsValues::lyricsTop},
            {"LyricsLeft", &SettingsValues::lyricsLeft},
            {"LyricsWidth", &SettingsValues::lyricsWidth, SettingRange{0, 1 << 20}},
            {"LyricsHeight", &SettingsValues::lyricsHeight, SettingRange{0, 1 << 20}},
            {"LibraryShown", &SettingsValues::libraryShown},
            {"LibraryTop", &SettingsValues::libraryTop},
            {"LibraryLeft", &SettingsValues::libraryLeft},
            {"LibraryWidth", &SettingsValues::libraryWidth, SettingRange{0, 1 << 20}},
            {"LibraryHeight", &SettingsValues::libraryHeight, SettingRange{0, 1 << 20}},
            {"LibraryColumns", &SettingsValues::libraryColumns},
            // 10 is endless; a fade over more than a minute is not a fade-out.
            {"LoopCount", &SettingsValues::loopCount, SettingRange{0, 10}},
            {"LoopFade", &SettingsValues::loopFadeSeconds, SettingRange{0, 60}},
            {"Language", &SettingsValues::language, SettingRange{0, 2}},
            {"TextEncoding", &SettingsValues::textEncoding, SettingRange{0, 6}},
            {"SynthBufferFrames", &SettingsValues::synthBufferFrames, SettingRange{256, 2048}},
            {"FileSort", &SettingsValues::fileSort},
            {"MIDIOutPort", &SettingsValues::midiOutPort},
            {"RepeatMode", &SettingsValues::repeatMode},
            {"OpenModeSw", &SettingsValues::openMode},
            {"WindowStyle", &SettingsValues::mainWindowFull},
            {"DefDir", &SettingsValues::lastFolder},
            {"WindowType", &SettingsValues::mainPanel},
            {"EffectChorus", &SettingsValues::effectChorus},
            {"EffectReverb", &SettingsValues::effectReverb},
            {"EqMode", &SettingsValues::eqCaption},
            {"SSTP", &SettingsValues::sstpNotices},
            {"MWPFile", &SettingsValues::mwpFile},
        };
        d.insert(d.end(), rest.begin(), rest.end());
        return d;
    }();
    return defs;
}

const KeyDef& Def(const std::string& name) {
    for (const auto& d : KeyDefs()) {
        if (d.name == name) return d;
    }
    std::abort();  // a misspelt key name in this file
}

SettingKind KindOf(const Field& f) {
    if (std::holds_alternative<NumField>(f) || std::holds_alternative<RepeatField>(f))
        return SettingKind::kNumber;
    if (std::holds_alternative<BoolField>(f) || std::holds_alternative<EmuBoolField>(f))
        return SettingKind::kBool;
    return SettingKind::kText;
}

std::string TextOf(const SettingsValues& v, const Field& f) {
    if (auto p = std::get_if<NumField>(&f)) return NumberText(v.**p);
    if (auto p = std::get_if<RepeatField>(&f)) return NumberText(static_cast<int32_t>(v.**p));
    if (auto p = std::get_if<BoolField>(&f)) return BoolText(v.**p);
    if (auto p = std::get_if<TextField>(&f)) return v.**p;
    if (auto p = std::get_if<EmuBoolField>(&f)) return BoolText(v.moduleEmulation.**p);
    if (auto p = std::get_if<EmuTextField>(&f)) return v.moduleEmulation.**p;
    const ListItem& li = std::get<ListItem>(f);
    return (v.*li.list)[li.index];
}

// Stores the text into the field; false when it cannot be converted.
bool StoreText(SettingsValues& v, const Field& f, const std::string& text) {
    if (auto p = std::get_if<NumField>(&f)) return ParseNumberText(text, v.**p);
    if (auto p = std::get_if<RepeatField>(&f)) {
        int32_t n = 0;
        if (!ParseNumberText(text, n) || n < 0 || n >= platform::kRepeatModeCount) return false;
        v.** p = static_cast<platform::RepeatMode>(n);
        return true;
    }
    if (auto p = std::get_if<BoolField>(&f)) return ParseBoolText(text, v.**p);
    if (auto p = std::get_if<TextField>(&f)) {
        v.** p = text;
        return true;
    }
    if (auto p = std::get_if<EmuBoolField>(&f)) return ParseBoolText(text, v.moduleEmulation.**p);
    if (auto p = std::get_if<EmuTextField>(&f)) {
        v.moduleEmulation.** p = text;
        return true;
    }
    const ListItem& li = std::get<ListItem>(f);
    (v.*li.list)[li.index] = text;
    return true;
}

// Converted values the dialogs could not have given keep their defaults: a
// number outside its key's range, a yield frequency or buffer size not offered.
bool Acceptable(const KeyDef& def, const SettingsValues& v) {
    if (def.name == "SynthBufferFrames")
        return std::find(kSynthBufferChoices.begin(), kSynthBufferChoices.end(),
                         v.synthBufferFrames) != kSynthBufferChoices.end();
    if (def.range) return def.range->Contains(v.*std::get<NumField>(def.field));
    if (def.name == "OSRetrun")
        return std::find(kOsReturnValues.begin(), kOsReturnValues.end(), v.osReturn) !=
               kOsReturnValues.end();
    return true;
}

}  // namespace

std::string NumberText(int32_t v) {
    return std::to_string(v);
}
std::string BoolText(bool v) {
    return v ? "True" : "False";
}

bool ParseNumberText(const std::string& text, int32_t& out) {
    size_t b = 0, e = text.size();
    while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
    while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
    if (b == e) return false;
    size_t i = b;
    bool neg = false;
    if (text[i] == '+' || text[i] == '-') neg = text[i++] == '-';
    if (i == e) return false;
    int64_t acc = 0;
    for (; i < e; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return false;
        acc = acc * 10 + (c - '0');
        if (acc > int64_t{INT32_MAX} + 1) return false;
    }
    if (neg) acc = -acc;
    if (acc < INT32_MIN || acc > INT32_MAX) return false;
    out = static_cast<int32_t>(acc);
    return true;
}

bool ParseBoolText(const std::string& text, bool& out) {
    if (EqualsNoCase(text, "True")) {
        out = true;
        return true;
    }
    if (EqualsNoCase(text, "False")) {
        out = false;
        return true;
    }
    int32_t n;
    if (!ParseNumberText(text, n)) return false;
    out = n != 0;
    return true;
}

const std::vector<SettingKey>& SettingKeysInLoadOrder() {
    static const std::vector<SettingKey> keys = [] {
        std::vector<SettingKey> k;
        const SettingsValues defaults;
        for (const auto& d : KeyDefs()) {
            if (d.name == "MWPFile") continue;
            k.push_back({d.name, KindOf(d.field), TextOf(defaults, d.field), d.range});
        }
        return k;
    }();
    return keys;
}

const SettingKey& SettingKeyNamed(const std::string& name) {
    for (const SettingKey& k : SettingKeysInLoadOrder()) {
        if (k.name == name) return k;
    }
    std::abort();  // a misspelt key name in the program
}

int32_t SettingWithinRange(const std::string& name, int32_t value) {
    const KeyDef& def = Def(name);
    if (!def.range || def.range->Contains(value)) return value;
    return SettingsValues{}.*std::get<NumField>(def.field);
}

const std::vector<std::string>& SettingKeysInSaveOrder() {
    static const std::vector<std::string> keys = [] {
        std::vector<std::string> k = {
            "CTL_TOP",    "CTL_LEFT",      "MAIN_TOP",       "MAIN_LEFT",  "MTimer",     "GTimer",
            "ShowWRD",    "EasyDeltaTime", "AlwaysMove",     "MWRDTimer",  "WindowType", "ArrMode",
            "ArrModeCap", "SendSysEX",     "SendBankSelect", "OpenModeSw", "RepeatMode", "TaskType",
            "DefDir",     "ThreadMode",    "SSTP",           "FileSort",   "MWPFile"};
        for (int i = 1; i <= 10; ++i) k.push_back(RecentKey(i));
        for (int i = 1; i <= 10; ++i) k.push_back(ExecutableKey(i));
        for (const char* n :
             {"BltSw",        "WindowStyle",   "MIDIEmulate",    "MIDIEmuGSCFG",
              "MIDIEmuXGCFG", "SMFKBank",      "SMFKRythm",      "RcpLoopCount",
              "LyricsShown",  "LyricsTop",     "LyricsLeft",     "LyricsWidth",
              "LyricsHeight", "LibraryShown",  "LibraryTop",     "LibraryLeft",
              "LibraryWidth", "LibraryHeight", "LibraryColumns", "LoopCount",
              "LoopFade",     "Language",      "TextEncoding",   "SynthBufferFrames",
              "MIDIOutPort",  "SWRDEmulation", "MWRDEmulation",  "OSRetrun",
              "EffectChorus", "EffectReverb",  "EqMode"})
            k.push_back(n);
        return k;
    }();
    return keys;
}

int32_t StoredLanguageSetting(SettingsStore& store) {
    int32_t n = 0;
    const auto text = store.Get("Language");
    if (!text || !ParseNumberText(*text, n) || !SettingKeyNamed("Language").range->Contains(n))
        return 0;
    return n;
}

int32_t StoredTextEncodingSetting(SettingsStore& store) {
    int32_t n = 0;
    const auto text = store.Get("TextEncoding");
    if (!text || !ParseNumberText(*text, n) || !SettingKeyNamed("TextEncoding").range->Contains(n))
        return 0;
    return n;
}

int EffectMenuItem(int32_t value) {
    switch (value) {
        case 256:
            return 0;
        case 128:
            return 1;
        case 0:
            return 2;
        default:
            return -1;
    }
}

int32_t EffectValueForItem(int item) {
    switch (item) {
        case 0:
            return 256;
        case 2:
            return 0;
        default:
            return 128;
    }
}

SettingsLoadResult LoadSettings(SettingsStore& store, const SettingsMenus& menus,
                                platform::ProcessPriority* priority) {
    SettingsLoadResult r;
    SettingsValues& v = r.values;
    SettingsChoices& c = r.choices;

    for (const SettingKey& key : SettingKeysInLoadOrder()) {
        const KeyDef& def = Def(key.name);
        if (key.name == "MAIN_TOP") v.mainTop = v.controlTop + menus.control_height;
        if (key.name == "ArrModeCap" && v.arrangementItem == 0) continue;

        if (std::optional<std::string> text = store.Get(key.name)) {
            SettingsValues trial = v;
            if (StoreText(trial, def.field, *text) && Acceptable(def, trial)) {
                v = std::move(trial);
            } else {
                r.unconvertible.push_back(key.name);
            }
        }

        if (key.name == "ArrModeCap") {
            // The stored number counts only while the item still carries the
            // stored caption; arrangement files come and go.
            const bool match =
                v.arrangementItem >= 1 &&
                static_cast<size_t>(v.arrangementItem) <= menus.arrangements.size() &&
                menus.arrangements[v.arrangementItem - 1] == v.arrangementCaption;
            if (!match) {
                v.arrangementItem = 0;
                v.arrangementCaption.clear();
            }
            c.arrangement = v.arrangementItem;
        } else if (key.name == "ArrMode" && v.arrangementItem == 0) {
            c.arrangement = 0;
        } else if (key.name == "ThreadMode" && priority) {
            platform::ApplyThreadMode(*priority, v.threadMode);
        }
    }
    // ArrMode alone (no caption read) is handled above; a nonzero ArrMode
    // whose caption key was absent compared against the default (empty).

    c.task_type = v.taskType;
    c.file_sort = v.fileSort;
    c.os_return =
        static_cast<int>(std::find(kOsReturnValues.begin(), kOsReturnValues.end(), v.osReturn) -
                         kOsReturnValues.begin());

    v.outDevice = -1;
    if (v.midiOutPort != kMidiMapper) {
        auto it = std::find(menus.ports.begin(), menus.ports.end(), v.midiOutPort);
        if (it != menus.ports.end()) v.outDevice = static_cast<int32_t>(it - menus.ports.begin());
    }
    c.port = v.outDevice;
    c.repeat = static_cast<int>(v.repeatMode);
    c.open_mode = v.openMode;
    c.chorus = EffectMenuItem(v.effectChorus);
    c.reverb = EffectMenuItem(v.effectReverb);

    v.eqItem = 0;
    v.eqActive = false;
    if (!v.eqCaption.empty()) {
        auto it = std::find(menus.eq_presets.begin(), menus.eq_presets.end(), v.eqCaption);
        if (it != menus.eq_presets.end()) {
            v.eqItem = static_cast<int32_t>(it - menus.eq_presets.begin()) + 1;
            v.eqActive = true;
        }
    }
    c.eq = v.eqItem;

    SettingsValues defaults;
    defaults.mainTop = v.controlTop + menus.control_height;
    for (const SettingKey& key : SettingKeysInLoadOrder()) {
        const KeyDef& def = Def(key.name);
        std::string text = TextOf(v, def.field);
        r.effective.push_back({key.name, text, text == TextOf(defaults, def.field)});
    }
    return r;
}

SettingsStatus SaveSettings(const SettingsValues& v, const SettingsMenus& menus,
                            SettingsStore& store) {
    SettingsValues out = v;
    const bool arrOk = v.arrangementItem >= 1 &&
                       static_cast<size_t>(v.arrangementItem) <= menus.arrangements.size();
    if (!arrOk) out.arrangementItem = 0;
    out.arrangementCaption = arrOk ? menus.arrangements[v.arrangementItem - 1] : std::string();
    out.midiOutPort = (v.outDevice >= 0 && static_cast<size_t>(v.outDevice) < menus.ports.size())
                          ? menus.ports[v.outDevice]
                          : std::string(kMidiMapper);
    out.eqCaption =
        (v.eqActive && v.eqItem >= 1 && static_cast<size_t>(v.eqItem) <= menus.eq_presets.size())
            ? menus.eq_presets[v.eqItem - 1]
            : std::string();

    for (const std::string& name : SettingKeysInSaveOrder()) {
        if (name == "ArrModeCap" && out.arrangementItem == 0) continue;
        store.Set(name, TextOf(out, Def(name).field));
    }
    return store.Commit();
}

StartupSettings OpenAndLoadSettings(const std::string& ini_path, const SettingsMenus& menus,
                                    platform::ProcessPriority* priority) {
    StartupSettings s;
    s.store = ini_path.empty() ? OpenPlatformSettingsStore(&s.report)
                               : IniSettingsStore::Open(ini_path, true, &s.report);
    s.loaded = LoadSettings(*s.store, menus, priority);
    return s;
}

}  // namespace sonfara::settings
