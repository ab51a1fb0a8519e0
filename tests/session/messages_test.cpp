// The failures' texts as the user has always read them: each layer's
// message table puts code and detail together byte for byte.
#include "player/sequencer/messages.h"

#include <gtest/gtest.h>

#include "player/files/file_entry.h"
#include "player/settings/messages.h"
#include "player/song/messages.h"

namespace sonfara {
namespace {

TEST(FailureMessages, EachLayerComposesItsTextFromCodeAndDetail) {
    EXPECT_EQ(PlaybackStatus().Message(), "");
    EXPECT_EQ(PlaybackStatus(PlaybackError::kCannotOpenPort).Message(), "MIDIデバイスが開けません");
    EXPECT_EQ(PlaybackStatus(PlaybackError::kCannotOpenPort, "port unavailable").Message(),
              "MIDIデバイスが開けません\nport unavailable");
    // The port name stands inside the sentence; the port list follows it.
    EXPECT_EQ(PlaybackStatus(PlaybackError::kNoSuchPort, "Nowhere\n  Rec A\n  Rec B").Message(),
              "MIDIデバイスが開けません: \"Nowhere\" というポートはありません。使えるポート:"
              "\n  Rec A\n  Rec B");
    EXPECT_EQ(PlaybackStatus(PlaybackError::kNoSuchPort, "Nowhere").Message(),
              "MIDIデバイスが開けません: \"Nowhere\" というポートはありません。使えるポート:");

    EXPECT_EQ(LoadResult(LoadError::kEvent, "90 3C 64 3E").Message(), "Event Error:90 3C 64 3E");
    EXPECT_EQ(LoadResult(LoadError::kBadDivision).Message(), "ErrorNo 9");
    EXPECT_EQ(song::msg::LoadErrorCaption(LoadResult(LoadError::kHeader).Message()),
              "読み込みエラー（Header Error）");

    EXPECT_EQ(files::FileStatus(files::FileError::kFavoriteExists, "a:b").Message(),
              "同じ名前のお気に入りが既にあります: a:b");
    EXPECT_EQ(
        SettingsStatus(SettingsError::kDamagedKept, "/c/Sonfara.ini").Message(),
        "設定を保存できませんでした: the damaged settings file /c/Sonfara.ini is left as it is");
}

}  // namespace
}  // namespace sonfara
