// The language of the user's texts. Japanese is the program's own language
// and the source of every text; English is a translation. Qt-free: the
// engine's message tables carry both languages and the GUI's texts go
// through Qt's translators, both chosen here once at start-up.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sonfara::platform {

enum class Language { kJapanese, kEnglish };

// The setting "言語 / Language": 0 follows the locale, 1 Japanese, 2 English.
inline constexpr int kLanguageFollowsLocale = 0;
inline constexpr int kLanguageJapanese = 1;
inline constexpr int kLanguageEnglish = 2;

// The language of a locale name ("ja_JP.UTF-8", "en_US", "C"): Japanese for
// Japanese, for C/POSIX and for an empty name (no language named, as in
// scripts and CI); English for any other language.
Language LanguageOfLocale(std::string_view locale);
// The locale as the environment names it for messages: LC_ALL, then
// LC_MESSAGES, then LANG (the first that is set and not empty).
std::string MessageLocaleFromEnvironment();
// The setting, else the environment's locale.
Language ChooseLanguage(int setting, std::string_view locale);

// Process-wide, set once at start-up before any thread starts.
void SetUiLanguage(Language language);
Language UiLanguage();

// One message table's translations: Japanese text, English text.
using MessageTranslations = std::vector<std::pair<std::string_view, std::string_view>>;
// Adds a table (each layer registers its own at start-up; idempotent).
void RegisterTranslations(const MessageTranslations& table);
// The text in the user's language: in Japanese the text itself; in English
// the table's translation, found whole or by its longest known leading
// piece (messages are often a fixed text followed by a path or a reason);
// the text itself when no table knows it.
std::string Localized(std::string_view japanese);

}  // namespace sonfara::platform
