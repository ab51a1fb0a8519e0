// The control window against a real playback session on the manual clock,
// manual timers and recording ports; buttons driven with QTest mouse input,
// menu entries triggered as a click would, readouts and labels read back.
#include "player/shell/control_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include "player/sequencer/messages.h"
#include "player/session/messages.h"
#include "tests/session/session_fixture.h"

namespace sonfara::shell {
namespace {

using test::BuildSmf;
using test::TrackBuilder;
using test::WriteSong;
using ui::ButtonKind;

class RecordingHooks final : public ShellHooks {
  public:
    void SendNotice(const std::string& bytes) override { notices.push_back(bytes); }
    void SetLowLoad(bool on) override { lowLoad = on; }
    std::string DocumentPath() override { return document; }
    bool RaiseRunningExport() override {
        raisedExport += exportRunning ? 1 : 0;
        return exportRunning;
    }
    void ExportAudio(const session::AudioExportRequest&) override { ++exports; }
    std::vector<std::string> notices;
    bool lowLoad = false;
    std::string document;
    bool exportRunning = false;
    int raisedExport = 0;
    int exports = 0;
};

class TestWindow final : public ControlWindow {
  public:
    using ControlWindow::ControlWindow;
    using ControlWindow::dropEvent;  // no drag manager to route one offscreen
    std::vector<QString> messages;

  protected:
    void ShowMessage(QMessageBox::Icon, const QString& text) override { messages.push_back(text); }
};

// A song of `seconds` with one note per second on channel 1 (4/4, one tick
// a millisecond).
TrackBuilder Track(int seconds) {
    TrackBuilder t;
    for (int i = 0; i < seconds; ++i)
        t.Ev(i * 1000, {0x90, 0x3C, 0x64}).Ev(i * 1000 + 900, {0x80, 0x3C, 0x40});
    return t;
}
std::vector<uint8_t> Song(int seconds) {
    return BuildSmf(0, {Track(seconds)});
}

struct WindowRig : test::SessionRig {
    RecordingHooks hooks;
    TimerTable timers{[] {}};
    TestWindow w{S(), hooks};

    explicit WindowRig(uintmax_t backgroundLoadBytes = UINTMAX_MAX)
        : test::SessionRig(nullptr, nullptr, backgroundLoadBytes) {
        w.UseClock(timers);
        w.show();
    }
    void Click(ButtonKind kind) {
        QTest::mousePress(&w.Button(kind), Qt::LeftButton);
        QTest::mouseRelease(&w.Button(kind), Qt::LeftButton);
    }
    void Trigger(const char* name) {
        QAction* a = w.Action(QString::fromLatin1(name));
        ASSERT_NE(a, nullptr) << name;
        a->trigger();
    }
    std::string TimeText() const {
        std::string s;
        for (int p = 0; p < 4; ++p) s += static_cast<char>('0' + w.TimeReadout().glyphAt(p));
        return s.substr(0, 2) + ":" + s.substr(2);
    }
    bool ReadoutsBlank() const {
        for (int p = 0; p < 4; ++p)
            if (w.TimeReadout().glyphAt(p) != ui::kBlankGlyph) return false;
        for (int p = 0; p < 6; ++p)
            if (w.PositionReadout().glyphAt(p) != ui::kBlankGlyph) return false;
        return true;
    }
    std::string BarBeatText() const {
        std::string s;
        for (int p = 0; p < 6; ++p) s += static_cast<char>('0' + w.PositionReadout().glyphAt(p));
        return s.substr(0, 4) + " " + s.substr(4);
    }
};

TEST(ControlWindow, TransportButtonsAndLabels) {
    WindowRig r;
    const std::string a = WriteSong(r.folder, "a.mid", Song(10));
    const std::string b = WriteSong(r.folder, "b.mid", Song(10));
    r.S().Songs().OpenPaths({a, b});
    r.RunMs(1000);
    ASSERT_TRUE(r.Snap().playing);
    EXPECT_EQ(r.w.FileNameLabel().text(), "a.mid");

    // Pause twice: the second changes nothing; play resumes there.
    r.Click(ButtonKind::kPause);
    const int32_t paused = r.Snap().positionMs;
    r.RunMs(500);
    r.Click(ButtonKind::kPause);
    EXPECT_TRUE(r.Snap().paused);
    EXPECT_EQ(r.Snap().positionMs, paused);
    r.Click(ButtonKind::kPlay);
    EXPECT_TRUE(r.Snap().playing);
    EXPECT_EQ(r.Snap().positionMs, paused);

    // Stop then play: 00:00 at once, then from the beginning.
    r.RunMs(1500);
    r.w.OnCtlSet2(r.S().Snapshot());
    EXPECT_EQ(r.TimeText(), "00:02");
    r.Click(ButtonKind::kStop);
    EXPECT_EQ(r.TimeText(), "00:00");
    EXPECT_EQ(r.w.Knob().knobLeft(), ui::PositionKnob::kFirstLeft);
    EXPECT_EQ(r.Snap().positionMs, 0);
    r.Click(ButtonKind::kPlay);
    r.RunMs(300);
    EXPECT_NEAR(r.Snap().positionMs, 300, 5);  // within one sequencer period

    // Nine speed-downs reach 10 %; a tenth changes nothing.
    for (int i = 0; i < 10; ++i) r.Click(ButtonKind::kSpeedDown);
    EXPECT_EQ(r.w.SpeedLabel().text(), "10%");
    EXPECT_EQ(r.Snap().speedPercent, 10);
    r.Click(ButtonKind::kSpeedUp);
    EXPECT_EQ(r.w.SpeedLabel().text(), "20%");

    QStringList keys;
    for (int i = 0; i < 3; ++i) {
        r.Click(ButtonKind::kKeyUp);
        keys << r.w.KeyLabel().text();
    }
    for (int i = 0; i < 5; ++i) {
        r.Click(ButtonKind::kKeyDown);
        keys << r.w.KeyLabel().text();
    }
    EXPECT_EQ(keys, (QStringList{"+1", "+2", "+3", "+2", "+1", "0", "-1", "-2"}));

    // Next on the last entry opens the first; the file list follows.
    r.Click(ButtonKind::kNext);
    EXPECT_EQ(r.Snap().playListIndex, 2);
    r.Click(ButtonKind::kNext);
    EXPECT_EQ(r.Snap().playListIndex, 1);
    EXPECT_EQ(r.w.FileNameLabel().text(), "a.mid");
    EXPECT_TRUE(r.w.Action("FileList0")->isChecked());
    EXPECT_FALSE(r.w.Action("FileList1")->isChecked());

    // The file-list entry of the playing song does nothing (no restart) and
    // keeps its check mark.
    r.RunMs(400);
    const int32_t before = r.Snap().positionMs;
    r.Trigger("FileList0");
    EXPECT_EQ(r.Snap().positionMs, before);
    EXPECT_TRUE(r.w.Action("FileList0")->isChecked());
    r.Trigger("FileList1");
    EXPECT_EQ(r.Snap().playListIndex, 2);
    EXPECT_FALSE(r.w.Action("FileList0")->isChecked());
    EXPECT_TRUE(r.w.Action("FileList1")->isChecked());

    // The WRD button without a presentation says so.
    r.Click(ButtonKind::kWrd);
    EXPECT_EQ(r.w.messages, std::vector<QString>{QString::fromUtf8(session::msg::kNoWrd)});
}

// A tick's readouts show the one snapshot the tick took, not a later look
// at the session: the time and the bar and beat come from the same moment.
TEST(ControlWindow, ReadoutsShowTheSnapshotTheirTickTook) {
    WindowRig r;
    r.S().Songs().OpenPaths({WriteSong(r.folder, "a.mid", Song(30))});
    r.RunMs(2600);
    const session::SessionSnapshot taken = r.S().Snapshot();
    r.RunMs(10000);  // the song moves on after the tick took its look
    ASSERT_GT(r.S().Snapshot().bar, taken.bar);
    r.w.OnCtlSet2(taken);
    EXPECT_EQ(r.TimeText(), "00:03");
    EXPECT_EQ(r.BarBeatText(), "0001 01");
}

// Stopped, by the button or at the end of the song, the readouts show the
// start, and the readout timer does not bring the old time back.
TEST(ControlWindow, StopShowsTheStartInBothReadouts) {
    WindowRig r;
    r.S().Songs().OpenPaths({WriteSong(r.folder, "a.mid", Song(4))});
    r.RunMs(2600);
    r.w.OnCtlSet2(r.S().Snapshot());
    ASSERT_EQ(r.TimeText(), "00:03");
    ASSERT_NE(r.BarBeatText(), "0000 01");
    r.Click(ButtonKind::kStop);
    EXPECT_EQ(r.BarBeatText(), "0000 01");
    r.w.OnCtlSet2(r.S().Snapshot());
    EXPECT_EQ(r.TimeText(), "00:00");
    EXPECT_EQ(r.BarBeatText(), "0000 01");

    r.Trigger("Repeat3");
    r.Click(ButtonKind::kPlay);
    r.RunMs(4500);
    ASSERT_FALSE(r.Snap().playing);
    r.w.OnCtlSet2(r.S().Snapshot());
    EXPECT_EQ(r.TimeText(), "00:00");
    EXPECT_EQ(r.BarBeatText(), "0000 01");
}

// The program's timers outlive a window: one that goes takes its handlers
// and its running step with it, and a late tick finds nothing to run.
TEST(ControlWindow, WindowGoingLeavesTheTimersClean) {
    WindowRig r;
    r.S().Songs().OpenPaths({WriteSong(r.folder, "long.mid", Song(60))});
    r.RunMs(1000);
    TimerTable timers{[] {}};
    {
        RecordingHooks hooks;
        TestWindow w{r.S(), hooks};
        w.UseClock(timers);
        QTest::mousePress(&w.Button(ButtonKind::kFastForward), Qt::LeftButton);
        ASSERT_TRUE(timers.Timer(kHeldStep).Enabled());
        timers.StartModuleMarks();
    }
    EXPECT_FALSE(timers.Timer(kHeldStep).Enabled());
    EXPECT_FALSE(timers.ModuleMarksPending());
    timers.Timer(kHeldStep).Tick();  // would reach the window gone
}

TEST(ControlWindow, HeldFastForwardAndRewind) {
    WindowRig r;
    r.S().Songs().OpenPaths({WriteSong(r.folder, "long.mid", Song(60))});
    r.RunMs(1000);
    auto& ff = r.w.Button(ButtonKind::kFastForward);
    auto hold = [&](ui::PictureButton& button, int timerSteps) {
        QTest::mousePress(&button, Qt::LeftButton);
        EXPECT_TRUE(r.timers.Timer(kHeldStep).Enabled());
        for (int i = 0; i < timerSteps; ++i) {
            r.clock.AdvanceMs(500);
            r.timers.Timer(kHeldStep).Tick();
        }
        QTest::mouseRelease(&button, Qt::LeftButton);
        EXPECT_FALSE(r.timers.Timer(kHeldStep).Enabled());
    };

    // Paused: the press step and four timer steps in 2 s move 5 s.
    r.Click(ButtonKind::kPause);
    const int32_t p0 = r.Snap().positionMs;
    hold(ff, 4);
    EXPECT_EQ(r.Snap().positionMs, p0 + 5000);
    EXPECT_EQ(r.w.TimeReadout().glyphAt(3), (p0 + 5000) / 1000);
    EXPECT_TRUE(r.Snap().paused);

    // Playing: 1 + 2 + 3 + 4 + 5 s plus the 2 s held.
    r.Click(ButtonKind::kPlay);
    const int32_t p1 = r.Snap().positionMs;
    hold(ff, 4);
    EXPECT_NEAR(r.Snap().positionMs, p1 + 17000, 1);
    EXPECT_TRUE(r.Snap().playing);
    r.w.OnCtlSet(r.S().Snapshot());
    const session::SessionSnapshot s = r.Snap();
    EXPECT_NEAR(r.w.Knob().knobLeft(), 140 + s.positionMs * 455.0 / s.totalMs, 0.5);

    // The knob dragged to 240 seeks there on release: 100 / 455 of the song.
    auto& knob = r.w.Knob();
    const QPoint grab = knob.knobRect().topLeft() + QPoint(5, 5);
    QTest::mousePress(&knob, Qt::LeftButton, {}, grab);
    const QPoint to(240 - ui::PositionKnob::kOriginX + 5, 5);
    QTest::mouseMove(&knob, to);
    QTest::mouseRelease(&knob, Qt::LeftButton, {}, to);
    EXPECT_EQ(knob.knobLeft(), 240);
    EXPECT_NEAR(r.Snap().positionMs, std::lround(100.0 / 455 * s.totalMs), 1);

    // Rewind at the start clamps to 0, fast forward near the end to the end.
    hold(r.w.Button(ButtonKind::kRewind), 8);
    EXPECT_LE(r.Snap().positionMs, 1);
    r.Click(ButtonKind::kPause);
    r.S().Transport().SeekTo(59500);
    hold(ff, 0);
    EXPECT_EQ(r.Snap().positionMs, r.Snap().totalMs);
}

TEST(ControlWindow, ReadoutsTextLineAndMarks) {
    WindowRig r;
    // A GS reset at the start, a lyric line at 3 s.
    TrackBuilder t;
    t.SysEx(0, {0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7});
    for (int i = 0; i < 70; ++i) {
        if (i == 3) t.Meta(3000, 0x05, {'l', 'a', 'l', 'a'});
        t.Ev(i * 1000, {0x90, 0x3C, 0x64}).Ev(i * 1000 + 900, {0x80, 0x3C, 0x40});
    }
    r.S().Songs().OpenPaths({WriteSong(r.folder, "gs.mid", BuildSmf(0, {t}))});
    r.RunMs(10);
    QCoreApplication::processEvents();  // the queued start of the mark update
    ASSERT_TRUE(r.timers.ModuleMarksPending());
    r.w.OnMidiDisp(r.S().Snapshot());
    EXPECT_TRUE(r.w.Marks().isLit(ui::Mark::kGs));
    EXPECT_FALSE(r.w.Marks().isLit(ui::Mark::kXg));
    EXPECT_EQ(r.w.ModuleNameLabel().text(), QStringLiteral("ID 10"));

    // 4/4 at 500 ticks a quarter: bar 0000 beat 01, the fifth quarter 0001 01.
    r.w.OnCtlSet2(r.S().Snapshot());
    EXPECT_EQ(r.BarBeatText(), "0000 01");
    r.RunMs(2100);
    r.w.OnCtlSet2(r.S().Snapshot());
    EXPECT_EQ(r.BarBeatText(), "0001 01");

    // The lyric line: shown with its tool tip, sent once as a notice.
    const size_t noticesBefore = r.hooks.notices.size();
    r.RunMs(1000);
    r.w.OnCtlSet2(r.S().Snapshot());
    r.w.OnCtlSet2(r.S().Snapshot());
    EXPECT_TRUE(r.w.FormatLabel().text().startsWith(QStringLiteral("♪")));
    EXPECT_EQ(r.w.FormatLabel().toolTip(), r.w.FormatLabel().text());
    ASSERT_EQ(r.hooks.notices.size(), noticesBefore + 1);
    EXPECT_EQ(r.hooks.notices.back(), r.Snap().displayText);

    // 61 s: 01:01, only the seconds' units place repainted from 01:00.
    r.RunMs(60000 - 3000);
    r.w.OnCtlSet2(r.S().Snapshot());
    EXPECT_EQ(r.TimeText(), "01:00");
    r.RunMs(1000);
    r.w.OnCtlSet2(r.S().Snapshot());
    EXPECT_EQ(r.TimeText(), "01:01");
    EXPECT_EQ(r.w.TimeReadout().lastRepainted(), 1u << 3);
}

TEST(ControlWindow, MenuTogglesPortsAndDrop) {
    WindowRig r;
    // Toggles flip their check mark and the setting.
    const bool mwrd = r.S().Settings().Values().mimpiWrdEmulation;
    r.Trigger("MWRD_Emu");
    EXPECT_EQ(r.S().Settings().Values().mimpiWrdEmulation, !mwrd);
    EXPECT_EQ(r.w.Action("MWRD_Emu")->isChecked(), !mwrd);
    r.Trigger("SendSysEX");
    EXPECT_FALSE(r.S().Settings().Values().sendSysEx);
    r.Trigger("BltOff");
    EXPECT_FALSE(r.S().Settings().Values().displayOn);
    EXPECT_TRUE(r.hooks.lowLoad);
    r.Trigger("BltOff");
    EXPECT_TRUE(r.S().Settings().Values().displayOn);
    EXPECT_FALSE(r.hooks.lowLoad);
    r.Trigger("Repeat2");
    EXPECT_EQ(r.S().Settings().Values().repeatMode, platform::RepeatMode::kRandom);
    EXPECT_EQ(r.Snap().repeatMode, platform::RepeatMode::kRandom);
    EXPECT_FALSE(r.w.Action("Repeat0")->isChecked());
    EXPECT_TRUE(r.w.Action("Repeat2")->isChecked());
    r.Trigger("ListMode1");
    EXPECT_EQ(r.S().Settings().Values().openMode, 1);
    r.Trigger("FileSort1");
    EXPECT_EQ(r.S().Settings().Values().fileSort, 1);
    r.Trigger("ChorusEft0");
    EXPECT_EQ(r.S().Settings().Values().effectChorus, 256);
    EXPECT_FALSE(r.w.Action("ChorusEft1")->isChecked());
    // An empty play list shows the placeholder, which opens nothing.
    EXPECT_EQ(r.w.Action("FileList0")->text(), QStringLiteral("なし"));
    r.Trigger("FileList0");
    EXPECT_FALSE(r.Snap().loaded);
    // Saving as SMF without a song says so before any dialog opens.
    EXPECT_EQ(r.w.Action("SaveAsSmf")->text(), QStringLiteral("SMFとして保存…"));
    r.Trigger("SaveAsSmf");
    ASSERT_FALSE(r.w.messages.empty());
    EXPECT_EQ(r.w.messages.back(), QStringLiteral("ファイルがありません"));
    r.w.messages.clear();

    // A dropped file opens (the list mode now appends); the text editor
    // entry follows the document the main window shows.
    EXPECT_FALSE(r.w.Action("ShellText")->isEnabled());
    r.hooks.document = r.folder + "/dropped.txt";
    const std::string song = WriteSong(r.folder, "dropped.mid", Song(5));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(song))});
    QDropEvent drop(QPointF(300, 60), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    r.w.dropEvent(&drop);
    r.RunMs(100);
    EXPECT_TRUE(r.Snap().playing);
    EXPECT_EQ(r.w.TitleLabel().text().isEmpty(), false);
    EXPECT_TRUE(r.w.Action("ShellText")->isEnabled());

    // The current port again does not reopen it; another port does, and a
    // port that fails says so while the player keeps working.
    const auto opened = r.ports.OpenedDevices();
    ASSERT_FALSE(opened.empty());
    ASSERT_EQ(r.S().Settings().Values().outDevice, -1);  // the mapper
    EXPECT_TRUE(r.w.Action("MIDIPortMapper")->isChecked());
    r.Trigger("MIDIPortMapper");
    EXPECT_EQ(r.ports.OpenedDevices(), opened);
    r.Trigger("MIDIPortNum1");
    EXPECT_EQ(r.ports.OpenedDevices().back(), 1);
    EXPECT_TRUE(r.w.Action("MIDIPortNum1")->isChecked());
    r.Trigger("MIDIPortNum1");
    EXPECT_EQ(r.ports.OpenedDevices().size(), opened.size() + 1);
    r.ports.failing = {"Rec A"};
    r.Trigger("MIDIPortNum0");
    EXPECT_EQ(r.w.messages,
              std::vector<QString>{QString::fromUtf8(sequencer::msg::kCannotOpenDevice) +
                                   QStringLiteral("\nport unavailable")});
    r.Trigger("MIDIPortNum1");
    EXPECT_EQ(r.ports.OpenedDevices().back(), 1);
    r.RunMs(100);
    EXPECT_TRUE(r.Snap().playing);
}

// Every menu entry as the menu bar holds it, in order: caption, object
// name, check mark (x), radio group (o), hidden (h), shortcut; "-" a
// separator, submenus in braces. Actions are found by name and order is
// what the user sees, so nothing may move.
QString MenuOutline(const QList<QAction*>& actions) {
    QStringList out;
    for (QAction* a : actions) {
        if (a->isSeparator()) {
            out << QStringLiteral("-");
            continue;
        }
        QString row = a->text();
        if (!a->objectName().isEmpty()) row += QStringLiteral("|") + a->objectName();
        if (a->isCheckable()) row += a->actionGroup() ? QStringLiteral(" o") : QStringLiteral(" x");
        if (!a->isVisible()) row += QStringLiteral(" h");
        if (!a->shortcut().isEmpty()) row += QStringLiteral(" ") + a->shortcut().toString();
        if (a->menu())
            row += QStringLiteral("{") + MenuOutline(a->menu()->actions()) + QStringLiteral("}");
        out << row;
    }
    return out.join(QStringLiteral(";"));
}

TEST(ControlWindow, MenuBarEntriesInOrder) {
    WindowRig r;
    const QStringList expected = {
        "ファイル(&F){ファイルを開く|FileOpen;フォルダを開く|FolderOpen;リストを保存|ListSave;"
        "SMFとして保存…|SaveAsSmf;音声ファイルに書き出し…|ExportAudio;-;"
        "ファイルリスト{次曲再生|NextSong;前曲再生|PrevSong;-;再生リスト編集|FileListDel;-;"
        "なし|FileList0};"
        "お気に入り{お気に入りに追加|FavoriteAdd;お気に入りの整理|FavoriteDel;-;なし};"
        "最近使ったファイル{最近使ったファイルのクリア|RecentClear;-;なし};-;終了|ExitProgram}",

        "再生(&P){A点設定|SetPointA Ctrl+[;B点設定|SetPointB Ctrl+];A-B解除|ClearAB Ctrl+\\;-;"
        "ループ回数{オフ|LoopCount0 o;1回|LoopCount1 o;2回|LoopCount2 o;3回|LoopCount3 o;"
        "4回|LoopCount4 o;5回|LoopCount5 o;6回|LoopCount6 o;7回|LoopCount7 o;8回|LoopCount8 o;"
        "9回|LoopCount9 o;無限|LoopCount10 o};"
        "ループ後のフェードアウト{なし|LoopFade0 o;3秒|LoopFade3 o;5秒|LoopFade5 o;10秒|LoopFade10 "
        "o}}",

        "表示(&V){歌詞|ShowLyrics Ctrl+L;ライブラリ|ShowLibrary Ctrl+F}",

        "拡張機能(&E){起動{アーカイバ|ShellArc;テキストエディタ|ShellText;"
        "エクスプローラ|ShellExp};-;アレンジ{なし|ArrNone o};イコライザ{なし|EqNone o};"
        "エフェクト設定{"
        "コーラスエフェクト{強く|ChorusEft0 o;標準|ChorusEft1 o;弱く|ChorusEft2 o};"
        "リバーブエフェクト{強く|ReverbEft0 o;標準|ReverbEft1 o;弱く|ReverbEft2 o}};-;"
        "MIMPI-WRDエミュレーション|MWRD_Emu x;Sherry-WRDエミュレーション|SWRD_Emu x}",

        "設定(&S){設定全般|Settings;コントロールパネル - マルチメディア|CPanel_MMedia;"
        "音量調節|VolumeSet;-;"
        "リピートモード{全曲リピート|Repeat0 o;単曲リピート|Repeat1 o;ランダム再生|Repeat2 o;"
        "リピートなし|Repeat3 o};"
        "ファイルオープンモード{リストを新規作成|ListMode0 o;リストに追加|ListMode1 o};"
        "ソートなし|FileSort0 o;ファイル名でソート|FileSort1 o;-;"
        "簡易エミュレート（送出イベント設定）{バンクセレクト|SendBankSelect x;"
        "エクスクルーシブ|SendSysEX x};"
        "出力デバイス切り替え{MIDI Mapper|MIDIPortMapper o;Rec A|MIDIPortNum0 o;"
        "Rec B|MIDIPortNum1 o};-;"
        "低負荷モード（画面描画停止）|BltOff x}",

        "ヘルプ(&H){ヘルプ|Help;ホームページ|HomePage h;-;バージョン情報|Version}",
    };
    const QList<QAction*> bar = r.w.menuBar()->actions();
    ASSERT_EQ(bar.size(), expected.size());
    for (qsizetype i = 0; i < bar.size(); ++i)
        EXPECT_EQ(MenuOutline({bar[i]}).toStdString(), expected[i].toStdString());
}

}  // namespace
}  // namespace sonfara::shell

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

namespace sonfara::shell {
namespace {

// A and B from the menu mark the track where the knob stood; a B before A
// is refused with a word; a new song clears both.
TEST(ControlWindow, AbPointsMarkTheTrack) {
    WindowRig r;
    r.S().Songs().OpenPaths({WriteSong(r.folder, "a.mid", Song(10))});
    r.RunMs(3000);
    r.Trigger("SetPointA");
    EXPECT_GT(r.w.Knob().markX(0), 0);
    EXPECT_EQ(r.w.Knob().markX(1), -1);
    r.S().Transport().SeekTo(1000);
    r.Trigger("SetPointB");
    EXPECT_EQ(r.w.Knob().markX(1), -1);
    EXPECT_EQ(r.w.messages.size(), 1u);
    r.RunMs(3000);
    r.Trigger("SetPointB");
    EXPECT_GT(r.w.Knob().markX(1), r.w.Knob().markX(0));
    r.S().Songs().OpenPaths({WriteSong(r.folder, "b.mid", Song(10))});
    EXPECT_EQ(r.w.Knob().markX(0), -1);
}

// While a large song is read, the readouts and the text line show nothing
// of the song before (the readout timer does not bring them back); the new
// one starts at 00:00.
TEST(ControlWindow, LoadingALargeSongBlanksTheReadouts) {
    WindowRig r(/*backgroundLoadBytes=*/0);
    const auto waitForLoad = [&] {
        for (int i = 0; i < 20000 && r.Snap().loading; ++i) {
            r.ui.RunPending();
            QThread::msleep(1);
        }
        return !r.Snap().loading;
    };
    TrackBuilder lyric;
    lyric.Meta(1000, 0x05, {'l', 'a'});
    r.S().Songs().OpenPaths({WriteSong(r.folder, "a.mid", BuildSmf(1, {lyric, Track(10)}))});
    ASSERT_TRUE(waitForLoad());
    r.RunMs(3000);
    r.w.OnCtlSet2(r.S().Snapshot());
    r.w.OnCtlSet(r.S().Snapshot());
    ASSERT_EQ(r.TimeText(), "00:03");
    ASSERT_TRUE(r.w.FormatLabel().text().startsWith(QStringLiteral("♪")));
    ASSERT_GT(r.w.Knob().knobLeft(), ui::PositionKnob::kFirstLeft);

    r.S().Songs().OpenPaths({WriteSong(r.folder, "b.mid", Song(20))});
    ASSERT_TRUE(r.Snap().loading);
    EXPECT_EQ(r.w.TitleLabel().text(), QStringLiteral("読み込み中…"));
    r.w.OnCtlSet2(r.S().Snapshot());
    r.w.OnCtlSet(r.S().Snapshot());
    EXPECT_TRUE(r.ReadoutsBlank()) << r.TimeText() << " " << r.BarBeatText();
    EXPECT_EQ(r.w.FormatLabel().text(), QString());
    EXPECT_EQ(r.w.Knob().knobLeft(), ui::PositionKnob::kFirstLeft);

    ASSERT_TRUE(waitForLoad());
    r.w.OnCtlSet2(r.S().Snapshot());
    EXPECT_EQ(r.TimeText(), "00:00");
    EXPECT_EQ(r.w.FileNameLabel().text(), "b.mid");
}

// A second export while one runs is refused before any file name is asked
// for: its window comes forward and the user is told why.
TEST(ControlWindow, SecondExportWhileOneRunsSaysSoWithoutAFileDialog) {
    WindowRig r;
    r.S().Songs().OpenPaths({WriteSong(r.folder, "a.mid", Song(10))});
    r.hooks.exportRunning = true;
    bool dialogShown = false;
    QTimer::singleShot(200, [&] {  // a file dialog would block here: close it, noted
        if (QWidget* modal = QApplication::activeModalWidget()) {
            dialogShown = true;
            modal->close();
        }
    });
    r.Trigger("ExportAudio");
    EXPECT_FALSE(dialogShown);
    EXPECT_EQ(r.hooks.raisedExport, 1);
    EXPECT_EQ(r.hooks.exports, 0);
    ASSERT_EQ(r.w.messages.size(), 1u);
    EXPECT_TRUE(r.w.messages[0].contains(QStringLiteral("書き出し中")))
        << r.w.messages[0].toStdString();
}

}  // namespace
}  // namespace sonfara::shell
