#include "player/settings/settings_model.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <variant>

#include "player/platform/priority.h"

namespace sonfara {
namespace {

using NumField = int32_t SettingsValues::*;
using BoolField = bool SettingsValues::*;
using TextField = std::string SettingsValues::*;
using ListField = std::array<std::string, 10> SettingsValues::*;
using RepeatField = RepeatMode SettingsValues::*;
using EmuBoolField = bool ModuleEmulation::*;
using EmuTextField = std::string ModuleEmulation::*;

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

// Every key with its field, in load order ("MWPFile" last: never read).
const std::vector<KeyDef>& KeyDefs() {
    static const std::vector<KeyDef> defs = [] {
        std::vector<KeyDef> d = {
            {"CTL_TOP", &SettingsValues::CtlTop},   {"CTL_LEFT", &SettingsValues::CtlLeft},
            {"MAIN_TOP", &SettingsValues::MainTop}, {"MAIN_LEFT", &SettingsValues::MainLeft},
            {"ArrMode", &SettingsValues::ArrMode},  {"ArrModeCap", &SettingsValues::ArrModeCap},
        };
        for (int i = 1; i <= 10; ++i)
            d.push_back({ExecutableKey(i), ListItem{&SettingsValues::Executable, i - 1}});
        for (int i = 1; i <= 10; ++i)
            d.push_back({RecentKey(i), ListItem{&SettingsValues::Recent, i - 1}});
        const std::vector<KeyDef> rest = {
            {"MTimer", &SettingsValues::MTimer, SettingRange{1, 100}},
            {"GTimer", &SettingsValues::GTimer, SettingRange{10, 1000}},
            {"ShowWRD", &SettingsValues::ShowWRD},
            {"EasyDeltaTime", &SettingsValues::EasyDeltaTime},
            {"AlwaysMove", &SettingsValues::AlwaysMove},
            {"MWRDTimer", &SettingsValues::MWRDTimer, SettingRange{10, 1000}},
            {"BltSw", &SettingsValues::BltSw},
            {"TaskType", &SettingsValues::TaskType, SettingRange{0, 2}},
            {"ThreadMode", &SettingsValues::ThreadMode},
            {"SendSysEX", &SettingsValues::SendSysEX},
            {"SendBankSelect", &SettingsValues::SendBankSelect},
            {"SWRDEmulation", &SettingsValues::SWRDEmulation},
            {"MWRDEmulation", &SettingsValues::MWRDEmulation},
            {"OSRetrun", &SettingsValues::OSRetrun},
            {"MIDIEmulate", &ModuleEmulation::MIDIEmulate},
            {"MIDIEmuGSCFG", &ModuleEmulation::MIDIEmuGSCFG},
            {"MIDIEmuXGCFG", &ModuleEmulation::MIDIEmuXGCFG},
            {"SMFKBank", &ModuleEmulation::SMFKBank},
            {"SMFKRythm", &ModuleEmulation::SMFKRythm},
            // An endless loop plays at least once; beyond 99 a song never ends.
            {"RcpLoopCount", &SettingsValues::RcpLoopCount, SettingRange{1, 99}},
            {"LyricsShown", &SettingsValues::LyricsShown},
            {"LyricsTop", &SettingsValues::LyricsTop},
            {"LyricsLeft", &SettingsValues::LyricsLeft},
            {"LyricsWidth", &SettingsValues::LyricsWidth, SettingRange{0, 1 << 20}},
            {"LyricsHeight", &SettingsValues::LyricsHeight, SettingRange{0, 1 << 20}},
            {"LibraryShown", &SettingsValues::LibraryShown},
            {"LibraryTop", &SettingsValues::LibraryTop},
            {"LibraryLeft", &SettingsValues::LibraryLeft},
            {"LibraryWidth", &SettingsValues::LibraryWidth, SettingRange{0, 1 << 20}},
            {"LibraryHeight", &SettingsValues::LibraryHeight, SettingRange{0, 1 << 20}},
            {"LibraryColumns", &SettingsValues::LibraryColumns},
            // 10 is endless; a fade over more than a minute is not a fade-out.
            {"LoopCount", &SettingsValues::LoopCount, SettingRange{0, 10}},
            {"LoopFade", &SettingsValues::LoopFade, SettingRange{0, 60}},
            {"Language", &SettingsValues::Language, SettingRange{0, 2}},
            {"TextEncoding", &SettingsValues::TextEncoding, SettingRange{0, 6}},
            {"SynthBufferFrames", &SettingsValues::SynthBufferFrames, SettingRange{256, 2048}},
            {"FileSort", &SettingsValues::FileSort},
            {"MIDIOutPort", &SettingsValues::MIDIOutPort},
            {"RepeatMode", &SettingsValues::RepeatMode},
            {"OpenModeSw", &SettingsValues::OpenModeSw},
            {"WindowStyle", &SettingsValues::WindowStyle},
            {"DefDir", &SettingsValues::DefDir},
            {"WindowType", &SettingsValues::WindowType},
            {"EffectChorus", &SettingsValues::EffectChorus},
            {"EffectReverb", &SettingsValues::EffectReverb},
            {"EqMode", &SettingsValues::EqMode},
            {"SSTP", &SettingsValues::SSTP},
            {"MWPFile", &SettingsValues::MWPFile},
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
    if (auto p = std::get_if<EmuBoolField>(&f)) return BoolText(v.Emulation.**p);
    if (auto p = std::get_if<EmuTextField>(&f)) return v.Emulation.**p;
    const ListItem& li = std::get<ListItem>(f);
    return (v.*li.list)[li.index];
}

// Stores the text into the field; false when it cannot be converted.
bool StoreText(SettingsValues& v, const Field& f, const std::string& text) {
    if (auto p = std::get_if<NumField>(&f)) return ParseNumberText(text, v.**p);
    if (auto p = std::get_if<RepeatField>(&f)) {
        int32_t n = 0;
        if (!ParseNumberText(text, n) || n < 0 || n >= kRepeatModeCount) return false;
        v.** p = static_cast<RepeatMode>(n);
        return true;
    }
    if (auto p = std::get_if<BoolField>(&f)) return ParseBoolText(text, v.**p);
    if (auto p = std::get_if<TextField>(&f)) {
        v.** p = text;
        return true;
    }
    if (auto p = std::get_if<EmuBoolField>(&f)) return ParseBoolText(text, v.Emulation.**p);
    if (auto p = std::get_if<EmuTextField>(&f)) {
        v.Emulation.** p = text;
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
                         v.SynthBufferFrames) != kSynthBufferChoices.end();
    if (def.range) return def.range->Contains(v.*std::get<NumField>(def.field));
    if (def.name == "OSRetrun")
        return std::find(kOsReturnValues.begin(), kOsReturnValues.end(), v.OSRetrun) !=
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
                                ProcessPriority* priority) {
    SettingsLoadResult r;
    SettingsValues& v = r.values;
    SettingsChoices& c = r.choices;

    for (const SettingKey& key : SettingKeysInLoadOrder()) {
        const KeyDef& def = Def(key.name);
        if (key.name == "MAIN_TOP") v.MainTop = v.CtlTop + menus.control_height;
        if (key.name == "ArrModeCap" && v.ArrMode == 0) continue;

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
            const bool match = v.ArrMode >= 1 &&
                               static_cast<size_t>(v.ArrMode) <= menus.arrangements.size() &&
                               menus.arrangements[v.ArrMode - 1] == v.ArrModeCap;
            if (!match) {
                v.ArrMode = 0;
                v.ArrModeCap.clear();
            }
            c.arrangement = v.ArrMode;
        } else if (key.name == "ArrMode" && v.ArrMode == 0) {
            c.arrangement = 0;
        } else if (key.name == "ThreadMode" && priority) {
            ApplyThreadMode(*priority, v.ThreadMode);
        }
    }
    // ArrMode alone (no caption read) is handled above; a nonzero ArrMode
    // whose caption key was absent compared against the default (empty).

    c.task_type = v.TaskType;
    c.file_sort = v.FileSort;
    c.os_return =
        static_cast<int>(std::find(kOsReturnValues.begin(), kOsReturnValues.end(), v.OSRetrun) -
                         kOsReturnValues.begin());

    v.OutDevice = -1;
    if (v.MIDIOutPort != kMidiMapper) {
        auto it = std::find(menus.ports.begin(), menus.ports.end(), v.MIDIOutPort);
        if (it != menus.ports.end()) v.OutDevice = static_cast<int32_t>(it - menus.ports.begin());
    }
    c.port = v.OutDevice;
    c.repeat = static_cast<int>(v.RepeatMode);
    c.open_mode = v.OpenModeSw;
    c.chorus = EffectMenuItem(v.EffectChorus);
    c.reverb = EffectMenuItem(v.EffectReverb);

    v.EqItem = 0;
    v.EqActive = false;
    if (!v.EqMode.empty()) {
        auto it = std::find(menus.eq_presets.begin(), menus.eq_presets.end(), v.EqMode);
        if (it != menus.eq_presets.end()) {
            v.EqItem = static_cast<int32_t>(it - menus.eq_presets.begin()) + 1;
            v.EqActive = true;
        }
    }
    c.eq = v.EqItem;

    SettingsValues defaults;
    defaults.MainTop = v.CtlTop + menus.control_height;
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
    const bool arrOk =
        v.ArrMode >= 1 && static_cast<size_t>(v.ArrMode) <= menus.arrangements.size();
    if (!arrOk) out.ArrMode = 0;
    out.ArrModeCap = arrOk ? menus.arrangements[v.ArrMode - 1] : std::string();
    out.MIDIOutPort = (v.OutDevice >= 0 && static_cast<size_t>(v.OutDevice) < menus.ports.size())
                          ? menus.ports[v.OutDevice]
                          : std::string(kMidiMapper);
    out.EqMode =
        (v.EqActive && v.EqItem >= 1 && static_cast<size_t>(v.EqItem) <= menus.eq_presets.size())
            ? menus.eq_presets[v.EqItem - 1]
            : std::string();

    for (const std::string& name : SettingKeysInSaveOrder()) {
        if (name == "ArrModeCap" && out.ArrMode == 0) continue;
        store.Set(name, TextOf(out, Def(name).field));
    }
    return store.Commit();
}

StartupSettings OpenAndLoadSettings(const std::string& ini_path, const SettingsMenus& menus,
                                    ProcessPriority* priority) {
    StartupSettings s;
    s.store = ini_path.empty() ? OpenPlatformSettingsStore(&s.report)
                               : IniSettingsStore::Open(ini_path, true, &s.report);
    s.loaded = LoadSettings(*s.store, menus, priority);
    return s;
}

}  // namespace sonfara
