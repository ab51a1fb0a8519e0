#include "player/platform/text_decoding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sonfara {
namespace {

// Texts as another program would have written them: UTF-8 source text
// encoded in `codePage`.
std::vector<std::string> Encoded(const char* codePage, std::vector<std::string> utf8) {
    const platform::CodePage cp(codePage);
    for (std::string& t : utf8) t = cp.FromUtf8(t);
    return utf8;
}

std::string Decided(const std::vector<std::string>& texts, const std::string& chosen = {}) {
    const std::vector<std::string_view> views(texts.begin(), texts.end());
    return platform::DecideTextEncoding(views, chosen, platform::CodePageNamed("CP932")).Name();
}

TEST(TextDecoding, JapaneseCodePageTextStaysCp932) {
    EXPECT_EQ(Decided(Encoded("CP932", {"ピアノ独奏"})), "CP932");
    EXPECT_EQ(Decided(Encoded("CP932", {"恋の歌", "作詞：山田太郎", "TOKYO ナイト"})), "CP932");
    // Half-width kana alone, and kanji among English words.
    EXPECT_EQ(Decided(Encoded("CP932", {"ﾋﾟｱﾉ ｿﾛ"})), "CP932");
    EXPECT_EQ(Decided(Encoded("CP932", {"Track 1 東京", "Mr. 雨"})), "CP932");
    // Plain ASCII and nothing at all.
    EXPECT_EQ(Decided({"Hello", "you're"}), "CP932");
    EXPECT_EQ(Decided({}), "CP932");
}

TEST(TextDecoding, WesternTextIsCp1252) {
    EXPECT_EQ(Decided(Encoded("CP1252", {"you’re"})), "CP1252");
    EXPECT_EQ(Decided(Encoded("CP1252", {"Don’t Stop", "Café del Mar", "Für Elise"})), "CP1252");
    EXPECT_EQ(Decided(Encoded("CP1252", {"“Hello”"})), "CP1252");
    EXPECT_EQ(platform::CodePageNamed("CP1252").ToUtf8("you\x92re"), "you’re");
}

TEST(TextDecoding, OneSongIsOneEncodingWhateverItsLines) {
    // Lots of Japanese and one line a Western reading would fit: CP932.
    std::vector<std::string> song = Encoded("CP932", {"さくら", "作曲：不明", "♪春の歌"});
    song.push_back("don\x92t");
    EXPECT_EQ(Decided(song), "CP932");
    // Western lyrics with one line of bytes that is also good CP932.
    EXPECT_EQ(Decided(Encoded("CP1252", {"it’s", "you’re", "I’m", "we’ll", "Über"})), "CP1252");
}

TEST(TextDecoding, KoreanAndChineseTextsKeepTheirScript) {
    EXPECT_EQ(Decided(Encoded("EUC-KR", {"사랑해요", "아리랑 아리랑 아라리요"})), "CP949");
    EXPECT_EQ(platform::CodePageNamed("CP949").ToUtf8(Encoded("EUC-KR", {"강남스타일"})[0]),
              "강남스타일");
    EXPECT_EQ(Decided(Encoded("GBK", {"月亮代表我的心", "甜蜜蜜"})), "GB18030");
}

TEST(TextDecoding, MarksAndUtf8ComeFirst) {
    EXPECT_EQ(Decided({"ピアノ"}), "UTF-8");
    EXPECT_EQ(Decided({"\xEF\xBB\xBFplain"}), "UTF-8");
    EXPECT_EQ(platform::DecodeFileText("\xEF\xBB\xBF曲名\r\n"), "曲名\r\n");
    EXPECT_EQ(platform::DecodeFileText("\xFF\xFE\xF2\x66\x0D\x54"), "曲名");
    // Short UTF-8 that also reads as CP932 is still UTF-8.
    EXPECT_EQ(Decided({"ピアノ", "A"}), "UTF-8");
    // Two half-width kana that are also "ý" stay kana; an accented letter
    // inside a word is UTF-8.
    EXPECT_EQ(Decided({"\xC3\xBD"}), "CP932");
    EXPECT_EQ(Decided({"Caf\xC3\xA9"}), "UTF-8");
    // A UTF-8 text cut inside its last character is UTF-8 all the same.
    EXPECT_EQ(Decided({"ピアノ独\xE5\xA5"}), "UTF-8");
}

TEST(TextDecoding, TheUsersChoiceWins) {
    EXPECT_EQ(Decided(Encoded("CP932", {"ピアノ"}), "CP1252"), "CP1252");
    EXPECT_EQ(Decided({"ピアノ"}, "CP932"), "CP932");

    platform::SetSettingTextEncoding(platform::TextEncodingOfSetting(3));
    EXPECT_EQ(platform::ChosenTextEncoding(), "CP1252");
    platform::SetCommandLineTextEncoding("UTF-8");
    EXPECT_EQ(platform::ChosenTextEncoding(), "UTF-8");  // the command line over the setting
    EXPECT_EQ(platform::DecideTextEncoding(std::string_view("\x83\x73")).Name(), "UTF-8");
    platform::SetCommandLineTextEncoding("");
    platform::SetSettingTextEncoding(platform::TextEncodingOfSetting(0));
    EXPECT_EQ(platform::ChosenTextEncoding(), "");
    EXPECT_EQ(platform::TextEncodingOfSetting(99), "");
}

TEST(TextDecoding, OwnFilesLeanToTheirCodePage) {
    // A file we wrote in EUC-JP is read back in it, not second-guessed.
    const platform::CodePage& eucJp = platform::CodePageNamed("EUC-JP");
    EXPECT_EQ(platform::DecodeFileText(eucJp.FromUtf8("曲集"), eucJp), "曲集");
    // Recoding between one code page passes the bytes through exactly.
    const std::string odd = "\x83\x73\xFF";
    EXPECT_EQ(
        platform::Recode(odd, platform::CodePageNamed("CP932"), platform::CodePageNamed("CP932")),
        odd);
    EXPECT_EQ(platform::Recode("you\x92re", platform::CodePageNamed("CP1252"),
                               platform::CodePageNamed("UTF-8")),
              "you’re");
}

}  // namespace
}  // namespace sonfara
