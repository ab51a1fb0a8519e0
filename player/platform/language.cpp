#include "player/platform/language.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>

namespace sonfara::platform {

namespace {
std::atomic<Language> gLanguage{Language::kJapanese};

struct Table {
    std::mutex mu;
    std::map<std::string, std::string, std::less<>> entries;
};
Table& Translations() {
    static Table t;
    return t;
}
}  // namespace

Language LanguageOfLocale(std::string_view locale) {
    const std::string_view name = locale.substr(0, locale.find_first_of("_.@"));
    if (name.empty() || name == "C" || name == "POSIX" || name == "ja") return Language::kJapanese;
    return Language::kEnglish;
}

std::string MessageLocaleFromEnvironment() {
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(var);
        if (v && *v) return v;
    }
    return {};
}

Language ChooseLanguage(int setting, std::string_view locale) {
    if (setting == kLanguageJapanese) return Language::kJapanese;
    if (setting == kLanguageEnglish) return Language::kEnglish;
    return LanguageOfLocale(locale);
}

void SetUiLanguage(Language language) {
    gLanguage.store(language, std::memory_order_relaxed);
}

Language UiLanguage() {
    return gLanguage.load(std::memory_order_relaxed);
}

void RegisterTranslations(const MessageTranslations& table) {
    Table& t = Translations();
    std::lock_guard lk(t.mu);
    for (const auto& [ja, en] : table) t.entries.emplace(std::string(ja), std::string(en));
}

std::string Localized(std::string_view japanese) {
    if (UiLanguage() == Language::kJapanese) return std::string(japanese);
    Table& t = Translations();
    std::lock_guard lk(t.mu);
    if (auto it = t.entries.find(japanese); it != t.entries.end()) return it->second;
    // The longest known text the message starts with; the rest (a path, a
    // reason from the system) stays as it is.
    size_t best = 0;
    const std::string* english = nullptr;
    for (auto it = t.entries.begin(); it != t.entries.end(); ++it) {
        const std::string& ja = it->first;
        if (ja.size() > best && japanese.starts_with(ja)) {
            best = ja.size();
            english = &it->second;
        }
    }
    if (!english) return std::string(japanese);
    return *english + std::string(japanese.substr(best));
}

}  // namespace sonfara::platform
