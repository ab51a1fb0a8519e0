// The interface language: which locales get which language, the setting
// over the locale, and engine messages with a detail after the known text.
#include "player/platform/language.h"

#include <gtest/gtest.h>

namespace sonfara {
namespace {

TEST(Language, LocaleSettingAndMessages) {
    for (const char* ja : {"ja_JP.UTF-8", "ja", "C", "POSIX", "C.UTF-8", ""})
        EXPECT_EQ(platform::LanguageOfLocale(ja), platform::Language::kJapanese) << ja;
    for (const char* en : {"en_US.UTF-8", "de_DE@euro", "fr", "zh_CN.GB18030"})
        EXPECT_EQ(platform::LanguageOfLocale(en), platform::Language::kEnglish) << en;
    EXPECT_EQ(platform::ChooseLanguage(platform::kLanguageEnglish, "ja_JP.UTF-8"),
              platform::Language::kEnglish);
    EXPECT_EQ(platform::ChooseLanguage(platform::kLanguageJapanese, "en_US.UTF-8"),
              platform::Language::kJapanese);
    EXPECT_EQ(platform::ChooseLanguage(platform::kLanguageFollowsLocale, "en_GB"),
              platform::Language::kEnglish);

    platform::RegisterTranslations(
        {{"ファイルが見つかりません", "File not found"},
         {"ファイル", "File"},
         {"設定を保存できませんでした: ", "The settings could not be saved: "}});
    EXPECT_EQ(platform::Localized("ファイルが見つかりません"), "ファイルが見つかりません");
    platform::SetUiLanguage(platform::Language::kEnglish);
    EXPECT_EQ(platform::Localized("ファイルが見つかりません"), "File not found");
    // The longest known leading text wins; the detail stays.
    EXPECT_EQ(platform::Localized("設定を保存できませんでした: disk full"),
              "The settings could not be saved: disk full");
    EXPECT_EQ(platform::Localized("未知の文"), "未知の文");
    platform::SetUiLanguage(platform::Language::kJapanese);
}

}  // namespace
}  // namespace sonfara
