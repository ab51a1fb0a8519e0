// The failures' texts as the user has always read them: each layer's
// message table puts code and detail together byte for byte.
#include "player/sequencer/messages.h"

#include <gtest/gtest.h>

#include "player/files/file_entry.h"
#include "player/files/recomposer.h"
#include "player/platform/messages.h"
#include "player/session/export_messages.h"
#include "player/session/messages.h"
#include "player/session/translations.h"
#include "player/settings/messages.h"
#include "player/song/messages.h"

namespace sonfara {
namespace {

TEST(FailureMessages, EachLayerComposesItsTextFromCodeAndDetail) {
    EXPECT_EQ(sequencer::PlaybackStatus().Message(), "");
    EXPECT_EQ(sequencer::PlaybackStatus(sequencer::PlaybackError::kCannotOpenPort).Message(),
              "MIDIデバイスが開けません");
    EXPECT_EQ(
        sequencer::PlaybackStatus(sequencer::PlaybackError::kCannotOpenPort, "port unavailable")
            .Message(),
        "MIDIデバイスが開けません\nport unavailable");
    // The port name stands inside the sentence; the port list follows it.
    EXPECT_EQ(sequencer::PlaybackStatus(sequencer::PlaybackError::kNoSuchPort,
                                        "Nowhere\n  Rec A\n  Rec B")
                  .Message(),
              "MIDIデバイスが開けません: \"Nowhere\" というポートはありません。使えるポート:"
              "\n  Rec A\n  Rec B");
    EXPECT_EQ(sequencer::PlaybackStatus(sequencer::PlaybackError::kNoSuchPort, "Nowhere").Message(),
              "MIDIデバイスが開けません: \"Nowhere\" というポートはありません。使えるポート:");

    EXPECT_EQ(song::LoadStatus(song::LoadError::kEvent, "90 3C 64 3E").Message(),
              "Event Error:90 3C 64 3E");
    EXPECT_EQ(song::LoadStatus(song::LoadError::kBadDivision).Message(), "ErrorNo 9");
    EXPECT_EQ(song::msg::LoadErrorCaption(song::LoadStatus(song::LoadError::kHeader).Message()),
              "読み込みエラー（Header Error）");

    EXPECT_EQ(files::FileStatus(files::FileError::kFavoriteExists, "a:b").Message(),
              "同じ名前のお気に入りが既にあります: a:b");
    EXPECT_EQ(
        settings::SettingsStatus(settings::SettingsError::kDamagedKept, "/c/Sonfara.ini").Message(),
        "設定を保存できませんでした: the damaged settings file /c/Sonfara.ini is left as it is");
}

bool HasJapanese(std::string_view text) {
    // Every kana and kanji, and the full-width forms, start with E3..EF in UTF-8.
    for (unsigned char c : text)
        if (c >= 0xE3 && c <= 0xEF) return true;
    return false;
}

// In English the registered tables translate every engine text, also where a
// path or name stands inside the sentence; nothing Japanese is left over.
TEST(FailureMessages, EnglishTextsComeFromEveryLayersTable) {
    session::RegisterEngineTranslations();
    platform::SetUiLanguage(platform::Language::kEnglish);
    for (const platform::MessageTranslations* table :
         {&files::msg::kEnglish, &song::msg::kEnglish, &sequencer::msg::kEnglish,
          &settings::msg::kEnglish, &session::msg::kEnglish, &session::msg::kExportEnglish,
          &platform::msg::kEnglish}) {
        for (const auto& [ja, en] : *table) {
            EXPECT_FALSE(en.empty() || HasJapanese(en)) << ja;
            EXPECT_EQ(platform::Localized(ja), en);
        }
    }
    EXPECT_EQ(platform::Localized(std::string(files::msg::kSaveFailed) + "disk full"),
              "Could not save the file: disk full");
    EXPECT_EQ(song::msg::LoadErrorCaption(song::LoadStatus(song::LoadError::kHeader).Message()),
              "Load error (Header Error)");
    EXPECT_EQ(
        sequencer::PlaybackStatus(sequencer::PlaybackError::kNoSuchPort, "Nowhere\n  Rec A")
            .Message(),
        "Cannot open the MIDI device: there is no port \"Nowhere\". Ports there are:\n  Rec A");
    EXPECT_EQ(files::RcpProblemText(files::RcpProblem::kTruncated, "/m/a.rcp"),
              "Could not convert the Recomposer file (the file is cut short): /m/a.rcp");
    settings::SettingsOpenReport aside;
    aside.status = settings::SettingsOpenReport::Status::kSetAside;
    aside.aside_path = "/c/S.ini.bad";
    EXPECT_FALSE(HasJapanese(session::msg::SettingsOpenNotice(aside, "/c/S.ini")));
    platform::SetUiLanguage(platform::Language::kJapanese);
    EXPECT_EQ(files::RcpProblemText(files::RcpProblem::kTruncated, "/m/a.rcp"),
              "レコンポーザ形式のファイルを変換できませんでした（ファイルが途中で切れています）: "
              "/m/a.rcp");
}

}  // namespace
}  // namespace sonfara
