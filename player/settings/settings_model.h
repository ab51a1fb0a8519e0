// Every persistent option of the player, its text form and the load and
// save sequences. The menus and dialogs of the GUI show what Load yields
// and change the values; Save writes them back at shut-down.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "player/platform/modes.h"
#include "player/settings/settings_store.h"

namespace sonfara::platform {
class ProcessPriority;
}
namespace sonfara::settings {

inline constexpr const char* kMidiMapper = "MIDI Mapper";
inline constexpr const char* kNoExecutable = "None";

struct SettingsValues {
    int32_t controlTop = 0;  // twips
    int32_t controlLeft = 0;
    int32_t mainTop = 0;  // default: control window top + its height
    int32_t mainLeft = 0;
    int32_t arrangementItem = 0;  // 0 none, else 1-based arrangement item
    std::string arrangementCaption;
    std::array<std::string, 10> launchPrograms{"None", "None", "None", "None", "None",
                                               "None", "None", "None", "None", "None"};
    std::array<std::string, 10> recentFiles{};  // newest first; empty = unused
    int32_t mainTimerMs = 5;
    int32_t graphicsTimerMs = 50;
    bool showWrd = true;
    bool easyDeltaTime = true;
    bool stayResidentOnClose = false;
    int32_t wrdTimerMs = 50;
    bool displayOn = true;
    int32_t taskType = 2;
    int32_t threadMode = 2;
    bool sendSysEx = true;
    bool sendBankSelect = true;
    bool sherryWrdEmulation = true;
    bool mimpiWrdEmulation = true;
    int32_t osReturn = 10;
    platform::ModuleEmulation moduleEmulation;
    int32_t rcpLoopCount = 2;     // plays of an endless loop in a Recomposer song
    int32_t loopCount = 0;        // ループ回数: extra plays of a loop, 10 endless
    int32_t loopFadeSeconds = 0;  // seconds of fade-out after the last loop
    int32_t language = 0;         // 言語 / Language: 0 the locale's, 1 Japanese, 2 English
    // 文字コード: the encoding of texts from files, 0 automatic, else the
    // code page kTextEncodingCodePages names (player/platform/text_decoding.h).
    int32_t textEncoding = 0;
    int32_t fileSort = 0;
    std::string midiOutPort = kMidiMapper;
    sonfara::platform::RepeatMode repeatMode = sonfara::platform::RepeatMode::kList;
    int32_t openMode = 0;
    bool mainWindowFull = true;
    std::string lastFolder = "0";
    int32_t mainPanel = 0;
    int32_t effectChorus = 128;
    int32_t effectReverb = 128;
    std::string eqCaption;  // caption of the selected EQ preset, empty for none
    bool sstpNotices = true;
    std::string mwpFile;  // written at shut-down, never read
    // The lyrics window: shown at the exit, and its frame in twips (0 x 0:
    // never placed, the window manager decides).
    bool lyricsShown = false;
    int32_t lyricsTop = 0;
    int32_t lyricsLeft = 0;
    int32_t lyricsWidth = 0;
    int32_t lyricsHeight = 0;
    // The library window, the same way, and its column widths in pixels
    // ("w1,w2,..."; empty: the defaults).
    bool libraryShown = false;
    int32_t libraryTop = 0;
    int32_t libraryLeft = 0;
    int32_t libraryWidth = 0;
    int32_t libraryHeight = 0;
    std::string libraryColumns;
    // The built-in synthesizer's audio buffer in frames (one of
    // kSynthBufferChoices): larger costs less, smaller answers sooner.
    int32_t synthBufferFrames = 2048;

    // Menu state that is stored through the texts above.
    int32_t outDevice = -1;  // port menu position (0-based), -1 the mapper
    int32_t eqItem = 0;      // 1-based EQ preset, 0 = EQ off
    bool eqActive = false;
};

enum class SettingKind { kNumber, kBool, kText };

// The values a number key takes (inclusive): the dialog offers these, the
// load keeps the default for anything else, and the engine reads no other.
struct SettingRange {
    int32_t min;
    int32_t max;
    bool Contains(int32_t v) const { return v >= min && v <= max; }
};

struct SettingKey {
    std::string name;
    SettingKind kind;
    std::string default_text;  // MAIN_TOP's depends on the control window
    std::optional<SettingRange> range;
};

// The schema entry of a key; aborts on a name that is not one.
const SettingKey& SettingKeyNamed(const std::string& name);
// `value` when the key's range holds it, else the key's default.
int32_t SettingWithinRange(const std::string& name, int32_t value);

// The keys in the order the load reads them (ArrModeCap only when ArrMode
// is not 0), without "MWPFile".
const std::vector<SettingKey>& SettingKeysInLoadOrder();
// The key names in the order the save writes them (ArrModeCap included).
const std::vector<std::string>& SettingKeysInSaveOrder();

// Text forms: numbers as decimal text, booleans "True"/"False".
std::string NumberText(int32_t v);
std::string BoolText(bool v);
// A number: optional blanks, optional sign, decimal digits, optional blanks,
// within 32 bits. Anything else is unconvertible.
bool ParseNumberText(const std::string& text, int32_t& out);
// "True"/"False" in any letter case, or a number (nonzero = true).
bool ParseBoolText(const std::string& text, bool& out);

// What the load compares the stored texts against.
struct SettingsMenus {
    std::vector<std::string> arrangements;  // arrangement item captions, in menu order
    std::vector<std::string> eq_presets;    // EQ preset captions, in menu order
    std::vector<std::string> ports;         // output port names, in menu order
    int32_t control_height = 0;             // control window height in twips
};

// Which menu item each menu shows checked after the load (-1 = none).
struct SettingsChoices {
    int arrangement = 0;  // 0 the no-arrangement item, else 1-based item
    int port = -1;        // -1 the mapper item, else 0-based port
    int eq = 0;           // 0 the EQ-off item, else 1-based preset
    int repeat = 0;
    int open_mode = 0;
    int file_sort = 0;
    int chorus = 1;  // 0 for 256, 1 for 128, 2 for 0, -1 otherwise
    int reverb = 1;
    int task_type = 2;
    int os_return = 2;  // index of OSRetrun in 1, 5, 10, 20, 40; -1 otherwise
};

struct SettingsLoadResult {
    SettingsValues values;
    SettingsChoices choices;
    // Keys whose stored text could not be converted (their defaults are used).
    std::vector<std::string> unconvertible;
    // Every key in load order with the text in effect and whether it is the
    // default (for diagnostics).
    struct Entry {
        std::string key;
        std::string text;
        bool is_default;
    };
    std::vector<Entry> effective;
};

// Reads every key in load order. `priority` (may be null) receives the
// ThreadMode at once; a refused change is ignored.
SettingsLoadResult LoadSettings(SettingsStore& store, const SettingsMenus& menus,
                                platform::ProcessPriority* priority);

// Writes every key in save order and commits the store. ArrModeCap, the
// port name and EqMode come from the menus by ArrMode, OutDevice and
// EqItem/EqActive.
SettingsStatus SaveSettings(const SettingsValues& v, const SettingsMenus& menus,
                            SettingsStore& store);

// What start-up needs: the store (kept for the save at shut-down), how
// opening it went, and the loaded values. Never fails: a missing or
// unreadable file gives the defaults, a damaged one its good lines (and is
// set aside).
struct StartupSettings {
    std::unique_ptr<SettingsStore> store;
    SettingsOpenReport report;
    SettingsLoadResult loaded;
};
// `ini_path` empty: the platform's store.
StartupSettings OpenAndLoadSettings(const std::string& ini_path, const SettingsMenus& menus,
                                    platform::ProcessPriority* priority);

// The setting 言語 / Language as the store holds it; 0 (follow the locale)
// when it is missing or out of range. Read at start-up, before the rest.
int32_t StoredLanguageSetting(SettingsStore& store);

// The setting 文字コード as the store holds it; 0 (automatic) when it is
// missing or out of range. Read before the arrangement files are.
int32_t StoredTextEncodingSetting(SettingsStore& store);

// The chorus/reverb menu item for a stored effect value (-1 = none).
int EffectMenuItem(int32_t value);
// The stored value for a chorus/reverb menu item (0 → 256, 1 → 128, 2 → 0).
int32_t EffectValueForItem(int item);
// OSRetrun values offered by the settings dialog.
inline constexpr std::array<int32_t, 5> kOsReturnValues{1, 5, 10, 20, 40};
inline constexpr std::array<int32_t, 4> kSynthBufferChoices{256, 512, 1024, 2048};

}  // namespace sonfara::settings
