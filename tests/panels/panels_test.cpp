// The event page at its design pixels (ratio 1 and 2), the event panel's
// track and scroll rules, the two menus, and the document panel's links.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <climits>
#include <fstream>

#include "player/panels/document_panel.h"
#include "player/panels/event_list_panel.h"
#include "player/panels/event_page.h"
#include "player/panels/menus.h"
#include "player/panels/panel_style.h"
#include "player/platform/sfrlib_binding.h"
#include "player/sequencer/output_layer.h"
#include "player/sequencer/song_cursors.h"
#include "player/song/smf_reader.h"
#include "player/ui/palette.h"
#include "tests/sequencer/smf_builder.h"

namespace sonfara::panels {
namespace {

using test::BuildSmf;
using test::TrackBuilder;

const platform::CodePage& Cp() {
    static const platform::CodePage cp("CP932");
    return cp;
}

std::vector<uint8_t> Bytes(const std::string& utf8) {
    const std::string s = Cp().FromUtf8(utf8);
    return {s.begin(), s.end()};
}

// A loaded song with its page model, as the session will hold them.
struct Song {
    song::SongTable table;
    sequencer::SongCursors cursors;
    song::EventListView view{table, cursors, Cp()};
    ViewEventListSource source{table, view};
    explicit Song(const std::vector<uint8_t>& smf) {
        song::LoadOptions options;
        options.codePage = &Cp();
        options.observers = {&view};
        EXPECT_TRUE(song::LoadSMFBytes(smf, table, options).ok());
        cursors.Fit(table);
    }
};

// Antialiased text: the glyphs' cores, not their soft edges.
bool Near(QColor a, QColor b) {
    // Black strokes one pixel wide come out mid grey at ratio 1.
    if (b == Qt::black) return std::max({a.red(), a.green(), a.blue()}) <= 150;
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
               std::abs(a.blue() - b.blue()) <=
           200;
}

// Ink columns of one colour inside a logical rectangle, in logical x.
struct Ink {
    int left = INT_MAX, right = INT_MIN, top = INT_MAX;
    bool Any() const { return right >= left; }
};
Ink FindInk(const QImage& image, QRect logical, QColor colour) {
    const qreal dpr = image.devicePixelRatio();
    Ink ink;
    for (int y = int(logical.top() * dpr); y < int((logical.bottom() + 1) * dpr); ++y)
        for (int x = int(logical.left() * dpr); x < int((logical.right() + 1) * dpr); ++x)
            if (Near(image.pixelColor(x, y), colour)) {
                ink.left = std::min(ink.left, int(x / dpr));
                ink.right = std::max(ink.right, int(x / dpr));
                ink.top = std::min(ink.top, int(y / dpr));
            }
    return ink;
}

class PageTest : public ::testing::TestWithParam<qreal> {};

TEST_P(PageTest, LinesSitAtTheirColumnsInTheirColours) {
    const qreal dpr = GetParam();
    Song song(BuildSmf(0, {TrackBuilder()
                               .Ev(0, {0x90, 0x3C, 0x64})
                               .Ev(10, {0xB0, 0x07, 0x64})
                               .Ev(20, {0xC0, 0x05})
                               .Ev(30, {0x80, 0x3C, 0x40})}));
    const song::EventPage& page = song.source.Page();
    const QImage image = DrawEventPage(page, dpr);
    ASSERT_EQ(image.size(), kEventPictureSize * dpr);
    const QColor black(0, 0, 0), magenta(255, 0, 255), red(255, 0, 0), green(0, 127, 0);
    auto band = [](int i, int x0, int x1) { return QRect(x0, LineTop(i), x1 - x0, 15); };

    // Line 1, NoteOn: position from x 1, name from 95 in magenta, channel
    // from 240 and parameters from 280 in black, ink from the line's top.
    const Ink position = FindInk(image, band(1, 0, kNameX - 4), black);
    ASSERT_TRUE(position.Any());
    EXPECT_GE(position.left, kPositionX);
    EXPECT_LE(position.top, LineTop(1) + 4);
    EXPECT_GE(position.top, LineTop(1));
    const Ink name = FindInk(image, band(1, 0, kChannelX - 4), magenta);
    ASSERT_TRUE(name.Any());
    EXPECT_GE(name.left, kNameX);
    EXPECT_LE(name.left, kNameX + 2);
    const Ink channel = FindInk(image, band(1, kChannelX - 4, kParamX - 5), black);
    ASSERT_TRUE(channel.Any());
    EXPECT_GE(channel.left, kChannelX);
    EXPECT_LE(channel.left, kChannelX + 3);
    const Ink param = FindInk(image, band(1, kParamX - 3, kEventPictureSize.width()), black);
    EXPECT_GE(param.left, kParamX);
    EXPECT_LE(param.left, kParamX + 2);

    // Line 2 carries a double-byte label: drawn whole, to its last character.
    const QFontMetrics fm(style::TextFont(kEventFontPixels));
    const QString label = QString::fromStdString(page[1].param);
    ASSERT_TRUE(label.startsWith(QStringLiteral("メインボリューム")));
    const Ink wide = FindInk(image, band(2, kParamX - 3, kEventPictureSize.width()), black);
    EXPECT_GE(wide.right, kParamX + fm.horizontalAdvance(label) - 8);
    EXPECT_GE(wide.top, LineTop(2));
    EXPECT_TRUE(FindInk(image, band(2, kNameX, kChannelX - 4), QColor(0, 0, 255)).Any());
    EXPECT_TRUE(FindInk(image, band(3, kNameX, kChannelX - 4), red).Any());
    EXPECT_TRUE(FindInk(image, band(4, kNameX, kChannelX - 4), green).Any());
    // Blank lines beyond the list's end.
    EXPECT_FALSE(FindInk(image, band(6, 0, kEventPictureSize.width()), black).Any());

    // The marker: one row across the picture at 16 × row + 15.
    QImage marked = image;
    QPainter painter(&marked);
    DrawMarker(painter, 3);
    painter.end();
    const Ink marker = FindInk(marked, QRect(0, MarkerY(3) - 1, kEventPictureSize.width(), 3),
                               ui::palette::kMarker);
    EXPECT_EQ(marker.left, 0);
    EXPECT_EQ(marker.right, kEventPictureSize.width() - 1);
    EXPECT_EQ(marker.top, 63);
    EXPECT_FALSE(FindInk(marked, QRect(0, MarkerY(3) + 1, kEventPictureSize.width(), 1),
                         ui::palette::kMarker)
                     .Any());
}

INSTANTIATE_TEST_SUITE_P(Ratios, PageTest, ::testing::Values(1.0, 2.0));

std::vector<uint8_t> TwentyTrackSong() {
    std::vector<TrackBuilder> tracks(20);
    for (int t = 0; t < 20; ++t) {
        tracks[t].Meta(0, 0x03, Bytes("パート" + std::to_string(t + 1)));
        for (int n = 0; n <= t; ++n) tracks[t].Ev(n * 10, {0x90, 0x40, 0x40});
    }
    return BuildSmf(1, tracks);
}

TEST(EventListPanel, TwentyTrackSongStepsThroughItsTracksAndMenu) {
    Song song(TwentyTrackSong());
    EventListPanel panel(song.source);
    panel.SongLoaded();
    TrackMenu& menu = *panel.TrackMenu();
    EXPECT_EQ(menu.title(), QStringLiteral("イベントウィンドウトラック"));
    EXPECT_EQ(menu.TrackAction(0)->text(), QStringLiteral("トラック  1"));
    EXPECT_EQ(menu.TrackAction(8)->text(), QStringLiteral("トラック  9"));
    EXPECT_EQ(menu.TrackAction(19)->text(), QStringLiteral("トラック 20"));
    for (int i = 0; i < kTrackMenuItems; ++i)
        EXPECT_EQ(menu.TrackAction(i)->isVisible(), i < 20) << i;

    menu.TrackAction(17)->trigger();
    EXPECT_EQ(panel.TrackNumber()->text(), QStringLiteral("18/20"));
    ASSERT_GT(song.table.ListCount(18), 18);
    EXPECT_EQ(panel.EventMax()->text(), QString::number(song.table.ListCount(18)));
    EXPECT_EQ(panel.TrackName()->text(), QStringLiteral("パート18"));
    EXPECT_EQ(panel.Picture()->Composite(1).size(), kEventPictureSize);
    QTest::mouseClick(panel.TrackFF(), Qt::LeftButton);
    QTest::mouseClick(panel.TrackFF(), Qt::LeftButton);
    QTest::mouseClick(panel.TrackFF(), Qt::LeftButton);
    EXPECT_EQ(panel.TrackNumber()->text(), QStringLiteral("20/20"));
    QTest::mouseClick(panel.TrackRev(), Qt::LeftButton);
    EXPECT_EQ(panel.TrackNumber()->text(), QStringLiteral("19/20"));

    // A 10-track song still steps up to track 16, then no further.
    std::vector<TrackBuilder> ten(10);
    for (auto& t : ten) t.Ev(0, {0x90, 0x40, 0x40});
    Song small(BuildSmf(1, ten));
    EventListPanel smallPanel(small.source);
    smallPanel.SongLoaded();
    EXPECT_FALSE(smallPanel.TrackMenu()->TrackAction(16)->isVisible());
    for (int i = 0; i < 20; ++i) smallPanel.TrackForward();
    EXPECT_EQ(smallPanel.TrackNumber()->text(), QStringLiteral("16/16"));
    EXPECT_EQ(smallPanel.EventMax()->text(), QStringLiteral("0"));
}

TEST(EventListPanel, ManyTracksComeInSubMenusOf64AndTheButtonsReachThemAll) {
    std::vector<TrackBuilder> tracks(130);
    for (auto& t : tracks) t.Ev(0, {0x90, 0x40, 0x40});
    Song song(BuildSmf(1, tracks));
    EventListPanel panel(song.source);
    panel.SongLoaded();
    TrackMenu& menu = *panel.TrackMenu();
    EXPECT_FALSE(menu.TrackAction(0)->isVisible());
    ASSERT_EQ(menu.Groups().size(), 3u);
    QMenu* last = menu.Groups()[2];
    EXPECT_EQ(last->title(), QStringLiteral("トラック 129～130"));
    emit last->aboutToShow();
    ASSERT_EQ(last->actions().size(), 2);
    last->actions()[1]->trigger();
    EXPECT_EQ(panel.TrackNumber()->text(), QStringLiteral("130/130"));
    QTest::mouseClick(panel.TrackRev(), Qt::LeftButton);
    EXPECT_EQ(panel.TrackNumber()->text(), QStringLiteral("129/130"));
    EXPECT_EQ(panel.EventMax()->text(), QStringLiteral("2"));  // the note and the end
}

TEST(EventListPanel, FollowsTheCursorButNotWhileTheSliderIsHeld) {
    TrackBuilder track;
    for (int n = 0; n < 40; ++n) track.Ev(n * 10, {0x90, 0x40, 0x40});
    Song song(BuildSmf(0, {track}));
    EventListPanel panel(song.source);
    panel.SongLoaded();
    QScrollBar& bar = *panel.Scroll();
    EXPECT_TRUE(bar.isEnabled());

    song.cursors.SetListNext(1, 20);  // entry 19: second page, row 2
    panel.Refresh();
    EXPECT_EQ(panel.Picture()->MarkerRow(), 2);
    EXPECT_EQ(bar.value(), 50);
    song.cursors.SetListNext(1, 21);
    panel.Refresh();
    EXPECT_EQ(panel.Picture()->MarkerRow(), 3);

    bar.setSliderDown(true);
    song.cursors.SetListNext(1, 40);
    panel.Refresh();
    EXPECT_EQ(panel.Picture()->MarkerRow(), 3);
    EXPECT_EQ(bar.value(), 50);
    bar.setSliderDown(false);
    panel.Refresh();
    EXPECT_EQ(panel.Picture()->MarkerRow(), 5);  // entry 39, third page
    EXPECT_EQ(bar.value(), 100);

    // The user's own scroll renders the page it points at.
    bar.setValue(0);
    EXPECT_EQ(panel.Picture()->MarkerRow(), 0);
    EXPECT_EQ(song.source.Page()[0].name, "NoteOn");
    EXPECT_EQ(bar.value(), 0);
}

// A page the user chose stays, paused or playing, until playback moves on
// to another page; keys, the wheel and the bar's trough turn pages.
TEST(EventListPanel, ChosenPageStaysUntilPlaybackMovesOn) {
    TrackBuilder track;
    for (int n = 0; n < 100; ++n) track.Ev(n * 10, {0x90, 0x40, 0x40});
    Song song(BuildSmf(0, {track}));  // 101 entries: pages from 0, 17, ... 85
    EventListPanel panel(song.source);
    panel.SongLoaded();
    QScrollBar& bar = *panel.Scroll();
    auto shown = [&] { return song.view.ShownPageStart(); };
    song.cursors.SetListNext(1, 20);  // playing on the page from 17
    panel.Refresh();
    ASSERT_EQ(shown(), 17);

    bar.setSliderDown(true);
    bar.setValue(100);
    bar.setSliderDown(false);
    for (int i = 0; i < 5; ++i) panel.Refresh();
    EXPECT_EQ(shown(), 85) << "the released thumb snapped back";
    song.cursors.SetListNext(1, 30);  // playback on the same page
    panel.Refresh();
    EXPECT_EQ(shown(), 85);

    QTest::keyClick(panel.Picture(), Qt::Key_PageUp);
    EXPECT_EQ(shown(), 68);
    QTest::keyClick(panel.Picture(), Qt::Key_Home);
    EXPECT_EQ(shown(), 0);
    QWheelEvent towardUser(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, -240),
                           Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(panel.Picture(), &towardUser);
    EXPECT_EQ(shown(), 34);
    QTest::keyClick(panel.Picture(), Qt::Key_End);
    EXPECT_EQ(shown(), 85);
    bar.triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(shown(), 68);
    EXPECT_EQ(bar.value(), 80);  // the page's own bar position: 4 of 5
    panel.Refresh();
    EXPECT_EQ(shown(), 68);

    song.cursors.SetListNext(1, 40);  // playback moves on
    panel.Refresh();
    EXPECT_EQ(shown(), 34);
    EXPECT_EQ(panel.Picture()->MarkerRow(), 5);
}

TEST(InstrumentMenu, CaptionsRebuildsAndSendsTheProgramChange) {
    platform::SfrLibBinding lib(SFRLIB_PATH);
    ASSERT_EQ(lib.InstInit(), 0);
    int lookups = 0;
    InstLabeler labeler = [&](int program, int bank, int map) {
        ++lookups;
        return platform::InstLabelText(lib, program, bank, map);
    };
    platform::ManualClock clock;
    platform::RecordingOutputSystem ports(clock);
    song::SongTable table;
    sequencer::SongCursors cursors;
    sequencer::PlaybackSettings settings;
    sequencer::SoundShaping shaping;
    sequencer::OutputLayer out(table, cursors, ports, settings, shaping, Cp());
    ASSERT_TRUE(out.OpenOutputPort(0).ok());
    OutputLayerProgramChanger changer(out);
    InstrumentMenu menu(labeler, changer);

    EXPECT_EQ(lookups, 128);
    EXPECT_EQ(menu.title(), QStringLiteral("GM規格"));
    EXPECT_EQ(menu.CategoryMenu(0)->title(), QStringLiteral("ピアノ"));
    EXPECT_EQ(menu.CategoryMenu(4)->title(), QStringLiteral("ベース"));
    EXPECT_EQ(menu.CategoryMenu(15)->title(), QStringLiteral("サウンドエフェクト"));
    EXPECT_EQ(menu.ProgramAction(0)->text(), QStringLiteral("001:GrandPno"));
    EXPECT_EQ(menu.ProgramAction(47)->text(),
              QString::fromStdString(platform::InstLabelText(lib, 47, 0, 0)) +
                  QStringLiteral("(パーカッション)"));
    EXPECT_EQ(menu.CategoryMenu(5)->actions().back(), menu.ProgramAction(47));

    // The same pair is not recaptioned; a new pair is, once, without the suffix.
    menu.PrepareFor(3, 0, 0);
    EXPECT_EQ(menu.HeaderAction()->text(), QStringLiteral("Track3 演奏楽器変更"));
    EXPECT_EQ(lookups, 128);
    EXPECT_TRUE(menu.ProgramAction(47)->text().endsWith(QStringLiteral("(パーカッション)")));
    menu.PrepareFor(12, 127, 1);
    menu.PrepareFor(1, 127, 1);
    EXPECT_EQ(lookups, 256);
    EXPECT_EQ(menu.ProgramAction(127)->text(), QStringLiteral("128:Jungle Tune"));
    menu.PrepareFor(10, 0, 0);
    EXPECT_EQ(lookups, 384);
    EXPECT_EQ(menu.HeaderAction()->text(), QStringLiteral("Track10 演奏楽器変更"));
    EXPECT_FALSE(menu.ProgramAction(47)->text().contains(QStringLiteral("パーカッション")));

    // Channel 10, "ベース", third item: C9 22.
    ports.Latest()->ClearLog();
    menu.CategoryMenu(4)->actions()[2]->trigger();
    const auto sent = ports.Latest()->Messages();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(platform::HexLine(sent[0].bytes), "C9 22");
    EXPECT_EQ(out.Channel(10).Program.load(), 0x22);
}

TEST(DocumentPanel, ShowsTheCompanionAndOpensALinkOnDoubleClick) {
    QTemporaryDir dir;
    {
        std::ofstream note(dir.filePath(QStringLiteral("song.txt")).toStdString(),
                           std::ios::binary);
        note << Cp().FromUtf8(
            "曲の説明です。\r\nhome: http://example.org/a_b\r\nbbs "
            "http://example.org/bbs/~sonfara?id=1\r\n");
    }
    std::vector<QUrl> opened;
    DocumentPanel panel(Cp(), nullptr, [&](const QUrl& url) { opened.push_back(url); });
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    const std::string songPath = dir.filePath(QStringLiteral("song.mid")).toStdString();
    panel.ShowDocument(files::ReadCompanionDocument(songPath));

    EXPECT_TRUE(panel.DocMain()->toPlainText().startsWith(QStringLiteral("曲の説明です。\nhome:")));
    EXPECT_EQ(panel.DocFileName()->text(), dir.filePath(QStringLiteral("song.txt")));
    QListWidget& urls = *panel.RelateURL();
    ASSERT_EQ(urls.count(), 2);
    EXPECT_EQ(urls.item(0)->text(), QStringLiteral("http://example.org/a"));

    const QRect second = urls.visualItemRect(urls.item(1));
    QTest::mouseClick(urls.viewport(), Qt::LeftButton, {}, second.center());
    QTest::mouseDClick(urls.viewport(), Qt::LeftButton, {}, second.center());
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl(QStringLiteral("http://example.org/bbs/~sonfara?id")));

    // A path outside ASCII, as the file system spells it.
    const QString japanese = dir.filePath(QStringLiteral("曲の説明.txt"));
    std::ofstream(QFile::encodeName(japanese).toStdString()) << "x\r\n";
    panel.ShowDocument(files::ReadCompanionDocument(
        QFile::encodeName(dir.filePath(QStringLiteral("曲の説明.mid"))).toStdString()));
    EXPECT_EQ(panel.DocFileName()->text(), japanese);
    EXPECT_EQ(panel.FilePath(), QFile::encodeName(japanese).toStdString());

    // A song without a document empties the panel.
    panel.ShowDocument(
        files::ReadCompanionDocument(dir.filePath(QStringLiteral("other.mid")).toStdString()));
    EXPECT_TRUE(panel.DocMain()->toPlainText().isEmpty());
    EXPECT_TRUE(panel.DocFileName()->text().isEmpty());
    EXPECT_EQ(urls.count(), 0);
}

// A document in UTF-8, with a byte-order mark or without, reads as written;
// one in CP932 beside it still reads as before.
TEST(DocumentPanel, ShowsUtf8DocumentsAsWritten) {
    QTemporaryDir dir;
    DocumentPanel panel(Cp(), nullptr, [](const QUrl&) {});
    const std::string text = "歌詞カード\r\nハングル 한국어 and “quotes”\r\n";
    const std::string plain = "歌詞カード\nハングル 한국어 and “quotes”\n";
    for (const std::string& bytes : {text, "\xEF\xBB\xBF" + text, Cp().FromUtf8("曲の説明\r\n")}) {
        std::ofstream(dir.filePath(QStringLiteral("song.txt")).toStdString(), std::ios::binary)
            << bytes;
        panel.ShowDocument(
            files::ReadCompanionDocument(dir.filePath(QStringLiteral("song.mid")).toStdString()));
        const QString shown = panel.DocMain()->toPlainText();
        if (bytes.starts_with("\x8B"))
            EXPECT_EQ(shown, QStringLiteral("曲の説明\n"));
        else
            EXPECT_EQ(shown, QString::fromStdString(plain)) << "with mark: " << bytes[0];
    }
}

}  // namespace
}  // namespace sonfara::panels

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
