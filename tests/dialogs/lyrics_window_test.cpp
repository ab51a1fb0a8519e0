// The lyrics window: which lines it shows as the song moves (also backwards,
// as after a seek), the sung syllables lit, and text that grows with the window.
#include "player/dialogs/lyrics_window.h"

#include <gtest/gtest.h>

#include <QImage>

#include "player/song/smf_reader.h"
#include "player/ui/palette.h"
#include "tests/support_code/smf_bytes.h"

namespace sonfara::dialogs {
namespace {

using test::Smf;
using test::Track;

// One tick is one millisecond: "AB CD/" then "EF/" then "GH".
std::shared_ptr<const song::Lyrics> ThreeLines() {
    static platform::CodePage cp("CP932");
    Track words;
    words.Meta(0, 0x05, "AAAA")
        .Meta(500, 0x05, "BBBB/")
        .Meta(500, 0x05, "CCCC/")
        .Meta(500, 0x05, "DDDD")
        .End();
    song::SongTable s;
    song::LoadOptions o;
    o.codePage = &cp;
    EXPECT_TRUE(song::LoadSMFBytes(Smf(1, 500, {Track().End(), words}), s, o).ok());
    return std::make_shared<const song::Lyrics>(song::Lyrics::FromSong(s));
}

int CountColour(const QImage& img, const QRect& r, QColor c) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) n += img.pixelColor(x, y) == c;
    return n;
}

TEST(LyricsWindow, FollowsThePositionBothWaysAndLightsWhatWasSung) {
    LyricsWindow w;
    w.resize(640, 240);
    w.SetLyrics(ThreeLines());
    EXPECT_EQ(w.CurrentLine(), 0);  // before the first syllable the first line waits
    EXPECT_EQ(w.NextLine(), 1);

    w.SetPositionMs(600);  // "BBBB" sung
    QImage img = w.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRect top(0, 0, img.width(), img.height() / 2);
    EXPECT_GT(CountColour(img, top, ui::palette::kLyricsSung), 0);
    EXPECT_EQ(CountColour(img, top, ui::palette::kLyricsToCome), 0);

    w.SetPositionMs(1600);
    EXPECT_EQ(w.CurrentLine(), 2);
    EXPECT_EQ(w.NextLine(), -1);
    w.SetPositionMs(100);  // a seek back
    EXPECT_EQ(w.CurrentLine(), 0);
    EXPECT_EQ(w.Position().syllable, 0);
    img = w.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_GT(CountColour(img, top, ui::palette::kLyricsToCome), 0);  // "BBBB" not yet

    const int small = w.TextPixelSize();
    w.resize(1920, 1080);
    EXPECT_GT(w.TextPixelSize(), 3 * small);
}

TEST(LyricsWindow, SaysSoWithoutLyrics) {
    LyricsWindow w;
    w.SetLyrics(nullptr);
    EXPECT_EQ(w.CurrentLine(), -1);
    w.SetPositionMs(1000);  // nothing to follow
    EXPECT_EQ(w.Position().index, -1);
}

}  // namespace
}  // namespace sonfara::dialogs
