// Settings file reader: any bytes give the document of their good lines;
// that document writes back to text that parses cleanly to the same
// document, and the load never yields values the player cannot run with.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "player/settings/settings_model.h"

using namespace sonfara;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    settings::IniDocument doc;
    (void)settings::IniDocument::Parse(bytes, doc);  // damaged input keeps its good lines

    const std::string text = doc.Serialize();
    settings::IniDocument again;
    if (!settings::IniDocument::Parse(text, again).ok()) std::abort();
    if (again.Serialize() != text) std::abort();

    settings::MemorySettingsStore store;
    for (const auto& s : doc.Sections()) {
        if (!settings::EqualsNoCase(s.name, settings::kSettingsSection)) continue;
        for (const auto& [k, v] : s.entries) store.values[k] = v;
    }
    settings::SettingsMenus menus;
    menus.arrangements = {"A", "B"};
    menus.eq_presets = {"E"};
    menus.ports = {"P"};
    const settings::SettingsLoadResult r = settings::LoadSettings(store, menus, nullptr);
    const settings::SettingsValues& v = r.values;
    if (v.mainTimerMs < 1 || v.graphicsTimerMs < 1 || v.wrdTimerMs < 1) std::abort();
    if (v.arrangementItem < 0 || v.arrangementItem > 2) std::abort();
    if (v.outDevice < -1 || v.outDevice > 0) std::abort();
    if (v.taskType < 0 || v.taskType > 2) std::abort();
    settings::MemorySettingsStore out;
    (void)settings::SaveSettings(v, menus, out);  // a memory store always commits
    return 0;
}
