#include "player/session/translations.h"

#include "player/files/file_entry.h"
#include "player/library/messages.h"
#include "player/platform/messages.h"
#include "player/sequencer/messages.h"
#include "player/session/export_messages.h"
#include "player/session/messages.h"
#include "player/settings/messages.h"
#include "player/settings/settings_model.h"
#include "player/song/event_list.h"
#include "player/song/messages.h"
#include "player/wrd/messages.h"

namespace sonfara::session {

void RegisterEngineTranslations() {
    for (const platform::MessageTranslations* table :
         {&files::msg::kEnglish, &song::msg::kEnglish, &song::EventListTranslations(),
          &sequencer::msg::kEnglish, &settings::msg::kEnglish, &wrd::msg::kEnglish,
          &session::msg::kEnglish, &session::msg::kExportEnglish, &platform::msg::kEnglish,
          &library::msg::kEnglish})
        platform::RegisterTranslations(*table);
}

platform::Language StartUiLanguage(const std::string& settingsPath) {
    const auto store = settings::IniSettingsStore::Open(settingsPath, false);
    const platform::Language language = platform::ChooseLanguage(
        settings::StoredLanguageSetting(*store), platform::MessageLocaleFromEnvironment());
    platform::SetUiLanguage(language);
    RegisterEngineTranslations();
    return language;
}

}  // namespace sonfara::session
