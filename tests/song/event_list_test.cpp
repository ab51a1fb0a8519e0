// Event-list lines and the page model.
#include "player/song/event_list.h"

#include <gtest/gtest.h>

#include "player/sequencer/song_cursors.h"
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

void Load(song::SongTable& s, const Bytes& f) {
    song::LoadOptions o;
    o.codePage = &Cp();
    o.songFileName = "t.mid";
    song::LoadStatus r = song::LoadSMFBytes(f, s, o);
    ASSERT_TRUE(r.ok()) << r.Message();
}

song::EventLine LineOf(std::initializer_list<uint8_t> msg, uint32_t delta = 0) {
    song::SongTable s;
    Load(s, Smf(1, 480, {Track().Msg(delta, msg).End()}));
    return song::FormatEvent(s, s.Event(1, 1), Cp());
}

TEST(EventText, NoteNamesAndPositions) {
    EXPECT_EQ(song::NoteName(60), "C6 ");
    EXPECT_EQ(song::NoteName(0), "C1 ");
    EXPECT_EQ(song::NoteName(61), "C#6");
    EXPECT_EQ(song::NoteName(127), "G11");
    EXPECT_EQ(song::PositionText(0, 480), "   0. 1.   0");
    EXPECT_EQ(song::PositionText(1000, 480), "   0. 3.  40");
    EXPECT_EQ(song::PositionText(480 * 4 * 12 + 481, 480), "  12. 2.   1");
}

TEST(EventText, ChannelMessages) {
    song::EventLine on = LineOf({0x90, 0x3C, 0x64});
    EXPECT_EQ(on.name, "NoteOn");
    EXPECT_EQ(on.channel, "1 ");
    EXPECT_EQ(on.param, "KEY=C6   VEL=100");
    EXPECT_EQ(on.colour, song::Rgb(255, 0, 255));

    song::EventLine off0 = LineOf({0x9F, 0x3C, 0x00});
    EXPECT_EQ(off0.name, "NoteOff");
    EXPECT_EQ(off0.channel, "16");
    EXPECT_EQ(off0.param, "KEY=C6 ");
    EXPECT_EQ(off0.colour, song::Rgb(0, 127, 0));

    song::EventLine vol = LineOf({0xB0, 0x07, 0x64});
    EXPECT_EQ(vol.name, "Control Change(#7)");
    EXPECT_EQ(vol.param, "メインボリューム(MSB)  Volume=100");
    EXPECT_EQ(vol.paramBytes,
              33);  // 14 double-byte characters + 5 + "  Volume=100"... in CP932 bytes
    EXPECT_EQ(LineOf({0xB0, 0x5B, 0x28}).name, "Control Change(#5B)");
    EXPECT_EQ(LineOf({0xB0, 0x5B, 0x28}).param, "リバーブ  Value=40");
    EXPECT_EQ(LineOf({0xB1, 0x4A, 0x01}).param, "Unknown Control(#4A) Value = 1");

    EXPECT_EQ(LineOf({0xC9, 0x05}).param, "Program=5");
    EXPECT_EQ(LineOf({0xC9, 0x05}).colour, song::Rgb(255, 0, 0));
    EXPECT_EQ(LineOf({0xD2, 0x40}).param, "VEL=64");
    EXPECT_EQ(LineOf({0xA0, 0x3C, 0x10}).name, "AfterTouch(Key)");
    EXPECT_EQ(LineOf({0xE0, 0x00, 0x40}).param, "Data=8128");
}

song::EventLine ExtLine(Track t) {
    song::SongTable s;
    Load(s, Smf(1, 480, {t.End()}));
    return song::FormatEvent(s, s.Event(1, 1), Cp());
}

TEST(EventText, SysExDump) {
    song::EventLine gs = ExtLine(
        Track().SysEx(0, Bytes{0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7}));
    EXPECT_EQ(gs.name, "SystemExclusive");
    EXPECT_EQ(gs.channel, "--");
    EXPECT_EQ(gs.param, "F0 41 10 42 12 40 00 7F 00 41 F7");
    Bytes twenty(20, 0x01);
    twenty.back() = 0xF7;
    EXPECT_EQ(ExtLine(Track().SysEx(0, twenty)).param,
              "F0 01 01 01 01 01 01 01 01 01 01 01 01 01 01 ...");
    EXPECT_EQ(ExtLine(Track().SysEx(0, Bytes{0x7E, 0x7F, 0x09, 0x01})).param, "F0 7E 7F 09 01 F7");
    Bytes fourteen(14, 0x02);
    fourteen.back() = 0xF7;
    const std::string full = ExtLine(Track().SysEx(0, fourteen)).param;
    EXPECT_EQ(full.size(), 44u);  // all fourteen bytes, nothing appended
    EXPECT_EQ(full.substr(38), " 02 F7");
}

TEST(EventText, MetaEvents) {
    EXPECT_EQ(ExtLine(Track().Tempo(0, 500000)).param, "セットテンポ 120");
    EXPECT_EQ(ExtLine(Track().Tempo(0, 400000)).param, "セットテンポ 150");
    EXPECT_EQ(ExtLine(Track().Meta(0, 0x58, Bytes{6, 3, 24, 8})).param, "拍子 6/8");
    EXPECT_EQ(ExtLine(Track().Meta(0, 0x03, "\x83\x73\x83\x41\x83\x6D")).param,
              "トラック名 \"ピアノ\"");
    EXPECT_EQ(ExtLine(Track().Meta(0, 0x05, "a")).param, "歌詞 \"\"");
    // A song's UTF-8 text is shown as UTF-8; half-width kana that happen to
    // be well-formed UTF-8 ("ý") stay CP932.
    EXPECT_EQ(ExtLine(Track().Meta(0, 0x01, "歌詞")).param, "テキスト \"歌詞\"");
    EXPECT_EQ(ExtLine(Track().Meta(0, 0x01, "\xC3\xBD")).param, "テキスト \"ﾃｽ\"");
    EXPECT_EQ(ExtLine(Track().Meta(0, 0x06, "Intro")).param, "マーカ\"Intro\"");
    EXPECT_EQ(ExtLine(Track().Meta(0, 0x21, Bytes{1})).param, "出力ポート変更 Port:1");
    EXPECT_EQ(ExtLine(Track().Meta(0, 0x7F, Bytes{1})).param, "Unknown Meta Event");
    EXPECT_EQ(ExtLine(Track()).param, "End of Track");
    EXPECT_EQ(ExtLine(Track()).name, "MetaEvent");
}

TEST(EventListView, TwentyEntriesMakeTwoPages) {
    song::SongTable s;
    Track t;
    for (int i = 0; i < 19; ++i) t.Msg(10, {0x90, static_cast<uint8_t>(40 + i), 1});
    Load(s, Smf(1, 480, {t.End()}));
    ASSERT_EQ(s.ListCount(1), 20);
    song::EventPage second = song::RenderPage(s, 1, 17, Cp());
    EXPECT_EQ(second[0].param, "KEY=" + song::NoteName(57) + "  VEL=1");
    EXPECT_EQ(second[2].param, "End of Track");
    for (int i = 3; i < song::kLinesPerPage; ++i) {
        EXPECT_TRUE(second[i].position.empty() && second[i].name.empty() &&
                    second[i].channel.empty() && second[i].param.empty());
    }
}

TEST(EventListView, FollowsTheCursorAndTheUsersScrollBar) {
    song::SongTable s;
    Track t;
    for (int i = 0; i < 99; ++i) t.Msg(10, {0x90, 60, 1});
    Load(s, Smf(1, 480, {t.End()}));  // 100 entries, 6 pages
    sequencer::SongCursors cursors;
    cursors.Fit(s);
    song::EventListView v(s, cursors, Cp());
    v.OnLoadCompleted(s);
    EXPECT_EQ(v.LastRenderedList(), 1);
    EXPECT_EQ(v.ListPageCache(1), 0);
    EXPECT_TRUE(v.ScrollBar().enabled);
    EXPECT_EQ(v.ScrollBar().smallStep, 18);

    // Playback moves within the page: only the marker moves.
    cursors.SetNextEvent(1, 1);
    cursors.SetListNext(1, 5);
    song::EventListAction a = v.FillEventList();
    EXPECT_EQ(a.kind, song::EventListAction::kMoveMarker);
    EXPECT_EQ(a.markerRow, 4);
    EXPECT_EQ(v.FillEventList().kind, song::EventListAction::kNothing);

    // Crossing into entry 35 (0-based 34) renders page 3.
    cursors.SetListNext(1, 35);
    a = v.FillEventList();
    EXPECT_EQ(a.kind, song::EventListAction::kDrawPage);
    EXPECT_EQ(v.ListPageCache(1), 34);
    EXPECT_EQ(v.ScrollBar().value, 40);  // (34 div 17) / (100 div 17) * 100

    // Nothing is rendered while the mouse button is held.
    v.SetMouseButtonDown(true);
    v.SetScrollValueFromUser(100);
    EXPECT_EQ(v.FillEventList().kind, song::EventListAction::kNothing);
    v.SetMouseButtonDown(false);
    // The user's scroll position wins over the cursor.
    a = v.FillEventList();
    EXPECT_EQ(a.kind, song::EventListAction::kDrawPage);
    EXPECT_EQ(v.ListPageCache(1), 85);
    EXPECT_EQ(v.Page()[14].param, "End of Track");
    EXPECT_TRUE(v.Page()[15].name.empty());

    v.SetScrollValueFromUser(50);
    a = v.EventListScrolled();
    EXPECT_EQ(v.ListPageCache(1), 34);
    EXPECT_EQ(v.EventListCountText(1), "100");
    EXPECT_EQ(v.ScrollBar().smallStep, 20);
}

TEST(EventListView, ScrollingToTheEndShowsTheLastEntriesNotABlankPage) {
    song::SongTable s;
    Track t;
    for (int i = 0; i < 33; ++i) t.Msg(10, {0x90, 60, 1});
    Load(s, Smf(1, 480, {t.End()}));  // 34 entries: exactly two pages
    song::EventListView v(s, Cp());
    v.OnLoadCompleted(s);
    v.SetScrollValueFromUser(100);
    song::EventListAction a = v.EventListScrolled();
    EXPECT_EQ(v.ListPageCache(1), 17);
    EXPECT_EQ(a.markerRow, 16);
    EXPECT_EQ(v.Page()[16].param, "End of Track");
    // The follow with the bar moved to the end stays on that page.
    v.SetScrollValueFromUser(100);
    EXPECT_EQ(v.FillEventList().kind, song::EventListAction::kNothing);
    EXPECT_EQ(v.ListPageCache(1), 17);
}

TEST(EventListView, CurrentListAndTrackNumberText) {
    song::SongTable s;
    Load(s, Smf(1, 480, {Track().End(), Track().End(), Track().End()}));
    song::EventListView v(s, Cp());
    v.OnLoadCompleted(s);
    EXPECT_EQ(v.TrackNumberText(), "1/16");
    v.SetCurrentList(3);
    EXPECT_EQ(v.CurrentList(), 3);
    v.SetCurrentList(65);
    EXPECT_EQ(v.CurrentList(), 3);
    // A smaller song brings the list back to 1.
    Load(s, Smf(1, 480, {Track().End()}));
    v.OnLoadCompleted(s);
    EXPECT_EQ(v.CurrentList(), 1);

    std::vector<Track> many(20, Track().End());
    Bytes f = test::Header(1, 20, 480);
    for (auto& t : many) test::AppendChunk(f, "MTrk", t.Data());
    Load(s, f);
    v.OnLoadCompleted(s);
    EXPECT_EQ(v.TrackNumberText(), "1/20");
    EXPECT_TRUE(v.ListMenuEntryVisible(19));
    EXPECT_FALSE(v.ListMenuEntryVisible(20));
}

}  // namespace
}  // namespace sonfara
