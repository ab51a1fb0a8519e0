// One song, one encoding: the title, track names, event list and lyrics of
// a song are all read in the code page decided for the song at load.
#include <gtest/gtest.h>

#include "player/platform/text_decoding.h"
#include "player/song/event_list.h"
#include "player/song/lyrics.h"
#include "player/song/smf_reader.h"
#include "tests/support_code/smf_bytes.h"

namespace sonfara {
namespace {

using test::Smf;
using test::Track;

std::string In(const char* codePage, const std::string& utf8) {
    return platform::CodePage(codePage).FromUtf8(utf8);
}

class SongTexts : public ::testing::Test {
  protected:
    void TearDown() override { platform::SetCommandLineTextEncoding(""); }

    void Load(std::initializer_list<Track> tracks) {
        song::LoadOptions o;
        o.codePage = &system_;
        o.songFileName = "曲.kar";
        o.observers = {&notices_};
        const song::LoadStatus r = song::LoadSMFBytes(Smf(1, 500, tracks), song_, o);
        ASSERT_TRUE(r.ok()) << r.Message();
    }
    std::string Title() const { return song_.TextCodePage().ToUtf8(song_.SongTitle); }
    std::string EventText(int track, int event) const {
        return song::FormatEvent(song_, song_.Event(track, event), system_).param;
    }

    struct Notices final : song::LoadObserver {
        void OnLoadNotice(const std::string& bytes) override { last = bytes; }
        std::string last;
    } notices_;
    platform::CodePage system_{"CP932"};
    song::SongTable song_;
};

TEST_F(SongTexts, WesternKaraokeReadsAsCp1252Everywhere) {
    Track info;
    info.Meta(0, 0x03, In("CP1252", "Don’t Stop")).Meta(0, 0x01, "@KMIDI KARAOKE FILE").End();
    Track words;
    words.Meta(0, 0x01, "\\I ")
        .Meta(100, 0x01, In("CP1252", "know "))
        .Meta(100, 0x01, "you")
        .Meta(100, 0x01, In("CP1252", "’re "))
        .Meta(100, 0x01, "/here")
        .End();
    Load({info, words});
    EXPECT_EQ(song_.TextCodePage().Name(), "CP1252");
    EXPECT_EQ(Title(), "Don’t Stop");
    EXPECT_EQ(song_.TextCodePage().ToUtf8(song_.TrackName(1)), "Don’t Stop");
    const song::Lyrics lyrics = song::Lyrics::FromSong(song_);
    EXPECT_EQ(lyrics.Text(), "I know you’re\nhere");
    EXPECT_EQ(lyrics.Text().find("\xEF\xBF\xBD"), std::string::npos) << "no replacement marks";
    EXPECT_EQ(EventText(2, 4), "テキスト \"’re \"");
    // The desktop companion still gets the system code page.
    EXPECT_NE(notices_.last.find(In("CP932", "Don’t Stop")), std::string::npos);
}

TEST_F(SongTexts, JapaneseSongReadsAsBefore) {
    Track t;
    t.Meta(0, 0x03, "\x83\x73\x83\x41\x83\x6D\x93\xC6\x91\x74")  // ピアノ独奏
        .Meta(0, 0x05, "\x82\xB3\x82\xAD")                       // さく
        .Meta(100, 0x05, "\x82\xE7")                             // ら
        .End();
    Load({t});
    EXPECT_EQ(song_.TextCodePage().Name(), "CP932");
    EXPECT_EQ(Title(), "ピアノ独奏");
    EXPECT_EQ(song::Lyrics::FromSong(song_).Text(), "さくら");
    // The notice carries the title's bytes as they were.
    EXPECT_NE(notices_.last.find("\x83\x73\x83\x41\x83\x6D\x93\xC6\x91\x74"), std::string::npos);
}

TEST_F(SongTexts, KoreanAndChineseSongsShowTheirScript) {
    Track ko;
    ko.Meta(0, 0x03, In("EUC-KR", "아리랑"))
        .Meta(0, 0x05, In("EUC-KR", "아리랑 "))
        .Meta(100, 0x05, In("EUC-KR", "아라리요"))
        .End();
    Load({ko});
    EXPECT_EQ(Title(), "아리랑");
    EXPECT_EQ(song::Lyrics::FromSong(song_).Text(), "아리랑 아라리요");

    Track zh;
    zh.Meta(0, 0x03, In("GBK", "月亮代表我的心"))
        .Meta(0, 0x05, In("GBK", "你问我爱你有多深"))
        .End();
    Load({zh});
    EXPECT_EQ(Title(), "月亮代表我的心");
    EXPECT_EQ(EventText(1, 2), "歌詞 \"你问我爱你有多深\"");
}

TEST_F(SongTexts, Utf8SongAndTheUsersChoice) {
    Track t;
    t.Meta(0, 0x03, "ピアノ").Meta(0, 0x05, "A").End();  // short UTF-8 that also reads as CP932
    Load({t});
    EXPECT_EQ(Title(), "ピアノ");

    platform::SetCommandLineTextEncoding("CP932");
    Load({t});
    EXPECT_EQ(song_.TextCodePage().Name(), "CP932");
    EXPECT_NE(Title(), "ピアノ");
}

TEST_F(SongTexts, UntitledSongTakesItsFileNameInItsOwnEncoding) {
    Track t;
    t.Meta(0, 0x05, "ピアノ").End();
    Load({t});
    EXPECT_EQ(song_.TextCodePage().Name(), "UTF-8");
    EXPECT_EQ(Title(), "曲.kar");
}

}  // namespace
}  // namespace sonfara
