// Sung lyrics: the three conventions, their marks and odd corners, decoding
// and timing.
#include "player/song/lyrics.h"

#include <gtest/gtest.h>

#include "player/song/smf_reader.h"
#include "tests/support_code/smf_bytes.h"

namespace sonfara {
namespace {

using test::Bytes;
using test::Smf;
using test::Track;

const platform::CodePage& Cp() {
    static platform::CodePage cp("CP932");
    return cp;
}

// Division 500 without tempo events: one tick is one millisecond.
song::Lyrics LyricsOf(std::initializer_list<Track> tracks, int division = 500) {
    song::SongTable s;
    song::LoadOptions o;
    o.codePage = &Cp();
    const song::LoadStatus r = song::LoadSMFBytes(Smf(1, division, tracks), s, o);
    EXPECT_TRUE(r.ok()) << r.Message();
    return song::Lyrics::FromSong(s);
}

std::vector<std::string> LineTexts(const song::Lyrics& l) {
    std::vector<std::string> out;
    for (const song::LyricLine& line : l.Lines())
        out.push_back((line.newPage ? "<" : "") + line.Text());
    return out;
}

TEST(Lyrics, JapaneseKaraokeMarksInShiftJis) {
    Track words;
    words
        .Meta(0, 0x05, "<")            // a page mark before anything
        .Meta(100, 0x05, "\x83\x5C")   // ソ: its second byte is "\"
        .Meta(100, 0x05, "\x82\xE7^")  // ら and a space
        .Meta(100, 0x05, "")           // empty event
        .Meta(100, 0x05, "\x82\xC6/")  // と, end of line
        .Meta(100, 0x05, "^")          // a space opening a line
        .Meta(100, 0x05, "\x82\xCD")   // は
        .Meta(100, 0x05, "<")
        .Meta(100, 0x05, "\x82\xA0/")  // あ
        .Meta(100, 0x05, "/")          // a second mark makes no empty line
        .Meta(100, 0x05, "\x82\xA2")   // い, the last line has no mark
        .End();
    const song::Lyrics l = LyricsOf({Track().End(), words});
    EXPECT_EQ(l.Source(), song::LyricsSource::kLyricEvents);
    EXPECT_EQ(LineTexts(l), (std::vector<std::string>{"ソら と", "は", "<あ", "い"}));
    EXPECT_EQ(l.Text(), "ソら と\nは\n\nあ\nい");
    const auto& first = l.Lines()[0].syllables;
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(first[1].text, "ら ");
    EXPECT_EQ(first[1].ms, 200);
    EXPECT_EQ(first[2].tick, 400);
}

TEST(Lyrics, LyricEventsWithLineEndsWinOverKaraokeText) {
    Track text;  // karaoke text as well: the lyric events are what is sung
    text.Meta(0, 0x01, "@KMIDI KARAOKE FILE").Meta(0, 0x01, "\\Not").Meta(10, 0x01, "/sung").End();
    Track words;
    words.Meta(0, 0x05, "Hel")
        .Meta(100, 0x05, "lo \r")
        .Meta(100, 0x05, "world\r\n")
        .Meta(100, 0x05, "\n")  // a lone line feed parts pages where CR ends lines
        .Meta(100, 0x05, "Bye\r")
        .End();
    const song::Lyrics l = LyricsOf({text, words});
    EXPECT_EQ(l.Source(), song::LyricsSource::kLyricEvents);
    EXPECT_EQ(LineTexts(l), (std::vector<std::string>{"Hello", "world", "<Bye"}));
}

TEST(Lyrics, KaraokeFileWordsTrack) {
    Track info;
    info.Meta(0, 0x01, "@KMIDI KARAOKE FILE")
        .Meta(0, 0x01, "@V0100")
        .Meta(0, 0x01, "@Isome info")
        .End();
    Track words;
    words.Meta(0, 0x03, "Words")
        .Meta(0, 0x01, "@LENGL")
        .Meta(0, 0x01, "@T Star Song ")
        .Meta(0, 0x01, "@TTenmoor")
        .Meta(0, 0x01, "")
        .Meta(100, 0x01, "\\Twin")
        .Meta(100, 0x01, "kle ")
        .Meta(100, 0x01, "twin")
        .Meta(100, 0x01, "kle")
        .Meta(100, 0x01, "/lit")
        .Meta(100, 0x01, "tle ")
        .Meta(100, 0x01, "star")
        .Meta(100, 0x01, "\\How ")
        .Meta(100, 0x01, "I")
        .End();
    Track notes;
    notes.Meta(0, 0x01, "(c) nobody, a comment").End();
    const song::Lyrics l = LyricsOf({info, words, notes});
    EXPECT_EQ(l.Source(), song::LyricsSource::kKaraokeText);
    EXPECT_EQ(l.Title(), "Star Song");
    EXPECT_EQ(LineTexts(l), (std::vector<std::string>{"Twinkle twinkle", "little star", "<How I"}));
    EXPECT_EQ(l.Lines()[0].syllables[0].ms, 100);
}

TEST(Lyrics, TextsThatAreNotLyricsGiveNone) {
    Track conductor;
    conductor.Meta(0, 0x03, "Song")
        .Meta(0, 0x02, "(C) 1995 /\\ Someone")
        .Meta(0, 0x01, "Sequenced by me")
        .Meta(10, 0x01, "/ intro")
        .Meta(10, 0x01, "tempo 120 / feel free")
        .End();
    Track piano;
    piano.Meta(0, 0x04, "Piano / Strings")
        .Meta(0, 0x01, "play softly")
        .Msg(0, {0x90, 60, 100})
        .End(100);
    const song::Lyrics l = LyricsOf({conductor, piano});
    EXPECT_TRUE(l.Empty());
    EXPECT_EQ(l.Source(), song::LyricsSource::kNone);
    EXPECT_EQ(l.Text(), "");
    EXPECT_EQ(l.AtMs(1000).index, -1);
}

TEST(Lyrics, UnmarkedUtf8LyricsBreakAtPausesAndDecodeAsOneText) {
    // Alone, "ア" reads as valid CP932; the song's whole text does not.
    Track words;
    words.Meta(0, 0x05, "ア")
        .Meta(500, 0x05, "イ")
        .Meta(500, 0x05, "歌")
        .Meta(1500, 0x05, "詞")
        .End();  // three quarters later: a new line
    const song::Lyrics l = LyricsOf({words});
    EXPECT_EQ(LineTexts(l), (std::vector<std::string>{"アイ歌", "詞"}));
}

TEST(Lyrics, SungSyllableFollowsTheTempoMap) {
    Track conductor;
    conductor.Tempo(0, 500000).Tempo(960, 250000).End();
    Track words;
    words.Meta(480, 0x05, "one/").Meta(480, 0x05, "two ").Meta(480, 0x05, "three").End();
    const song::Lyrics l = LyricsOf({conductor, words}, 480);
    ASSERT_EQ(l.SyllableCount(), 3);
    EXPECT_EQ(l.Lines()[1].syllables[1].ms, 1250);
    EXPECT_EQ(l.AtMs(499).index, -1);
    const song::LyricPosition atFirst = l.AtMs(500);
    EXPECT_EQ(atFirst.index, 0);
    EXPECT_EQ(atFirst.line, 0);
    const song::LyricPosition between = l.AtMs(1249);
    EXPECT_EQ(between.index, 1);
    EXPECT_EQ(between.line, 1);
    EXPECT_EQ(between.syllable, 0);
    EXPECT_EQ(l.AtTick(1440).syllable, 1);
    EXPECT_EQ(l.AtMs(1'000'000).index, 2);
}

}  // namespace
}  // namespace sonfara
