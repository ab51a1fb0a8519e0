// sonfara-cli settings: every stored option with the value in effect.
#include <cstdio>
#include <iostream>

#include "player/cli/cli_common.h"
#include "player/cli/commands.h"
#include "player/cli/json.h"
#include "player/files/shaping_catalog.h"
#include "player/platform/user_files.h"
#include "player/settings/settings_model.h"

namespace sonfara::cli {

int RunSettings(const std::vector<std::string>& words) {
    Args a = ParseArgs(words, {"codepage", "file"}, {"json"});
    if (!a.error.empty() || !a.positional.empty()) {
        std::cerr << "usage: sonfara-cli settings [--json] [--file PATH] [--codepage NAME]\n";
        return 2;
    }
    const platform::CodePage& cp = CliCodePage(a);
    const std::string path = a.Value("file").value_or(settings::IniSettingsStore::DefaultPath());

    // Only looks: a damaged file stays where it is.
    settings::SettingsOpenReport report;
    auto store = settings::IniSettingsStore::Open(path, false, &report);
    if (report.status == settings::SettingsOpenReport::Status::kDamagedKept)
        std::cerr << "sonfara-cli: " << path << ": " << report.message << "\n";

    // The arrangement and EQ menus decide whether ArrMode and EqMode still
    // hold; the port list is the player's, so MIDIOutPort is shown as stored.
    files::ShapingCatalog catalog;
    catalog.Load(files::DefaultShapingFolders(platform::ProgramFolder()));
    settings::SettingsMenus menus;
    menus.arrangements = catalog.ArrangementCaptions();
    menus.eq_presets = catalog.EqCaptions();
    const settings::SettingsLoadResult r = settings::LoadSettings(*store, menus, nullptr);
    for (const auto& key : r.unconvertible)
        std::cerr << "sonfara-cli: stored " << key << " cannot be used; default shown\n";

    if (a.Flag("json")) {
        JsonWriter j;
        j.BeginObject();
        for (const auto& e : r.effective) {
            j.Key(e.key);
            j.String(cp.ToUtf8(e.text));
        }
        j.EndObject();
        std::cout << j.Text() << "\n";
        return 0;
    }
    std::cout << "# " << path << "\n";
    for (const auto& e : r.effective) {
        std::cout << e.key << '\t' << cp.ToUtf8(e.text) << '\t'
                  << (e.is_default ? "default" : "set") << '\n';
    }
    return 0;
}

}  // namespace sonfara::cli
