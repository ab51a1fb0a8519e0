// The interface language: which locales get which language, the setting
// over the locale, and engine messages with a detail after the known text.
#include "player/platform/language.h"

#include <gtest/gtest.h>

namespace sonfara {
namespace {

TEST(Language, LocaleSettingAndMessages) {
    for (const char* ja : {"ja_JP.UTF-8", "ja", "C", "POSIX", "C.UTF-8", ""})
        EXPECT_EQ(LanguageOfLocale(ja), Language::kJapanese) << ja;
    for (const char* en : {"en_US.UTF-8", "de_DE@euro", "fr", "zh_CN.GB18030"})
        EXPECT_EQ(LanguageOfLocale(en), Language::kEnglish) << en;
    EXPECT_EQ(ChooseLanguage(kLanguageEnglish, "ja_JP.UTF-8"), Language::kEnglish);
    EXPECT_EQ(ChooseLanguage(kLanguageJapanese, "en_US.UTF-8"), Language::kJapanese);
    EXPECT_EQ(ChooseLanguage(kLanguageFollowsLocale, "en_GB"), Language::kEnglish);

    RegisterTranslations({{"ファイルが見つかりません", "File not found"},
                          {"ファイル", "File"},
                          {"設定を保存できませんでした: ", "The settings could not be saved: "}});
    EXPECT_EQ(Localized("ファイルが見つかりません"), "ファイルが見つかりません");
    SetUiLanguage(Language::kEnglish);
    EXPECT_EQ(Localized("ファイルが見つかりません"), "File not found");
    // The longest known leading text wins; the detail stays.
    EXPECT_EQ(Localized("設定を保存できませんでした: disk full"),
              "The settings could not be saved: disk full");
    EXPECT_EQ(Localized("未知の文"), "未知の文");
    SetUiLanguage(Language::kJapanese);
}

}  // namespace
}  // namespace sonfara
