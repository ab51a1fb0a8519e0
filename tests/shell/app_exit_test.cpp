// The exit handshake and the three close paths of the player, and the main
// window's channel switches and tabs, offscreen, with manual timers and
// recording ports; every timer is ticked by hand.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "player/dialogs/list_dialog.h"
#include "player/dialogs/settings_dialog.h"
#include "player/dialogs/wrd_window.h"
#include "player/display/display_controller.h"
#include "player/display/drawing_thread.h"
#include "player/settings/settings_store.h"
#include "player/shell/app.h"
#include "player/shell/control_window.h"
#include "player/shell/docking.h"
#include "player/shell/instance_channel.h"
#include "player/shell/main_panels.h"
#include "player/shell/main_window.h"
#include "player/shell/mpris_service.h"
#include "tests/dialogs/test_support.h"
#include "tests/session/session_fixture.h"
#include "tests/shell/qt_app.h"

using namespace sonfara;
using namespace sonfara::shell;

namespace {

TEST(ExitHandshake, WaitsForEveryEnabledTimerAndTheDrawingThread) {
    display::DrawingThread thread([] {}, 50);
    ASSERT_TRUE(thread.Start());
    ExitHandshake hs([&] { return thread.Done(); });
    int work = 0;
    IndexedTimer flash(hs, 2, 100, [&] { ++work; });
    IndexedTimer meter(hs, 6, 100, [&] { ++work; });
    IndexedTimer idle(hs, 7, 50, [&] { ++work; });
    flash.Start();
    meter.Start();

    hs.BeginStop();
    EXPECT_TRUE(hs.StopTimers());
    EXPECT_FALSE(hs.TimerStopped(2));
    EXPECT_TRUE(hs.TimerStopped(7));  // disabled already: nothing to wait for
    EXPECT_FALSE(hs.PollEnd());

    flash.Tick();  // acknowledges instead of working
    EXPECT_FALSE(flash.Enabled());
    EXPECT_TRUE(hs.TimerStopped(2));
    EXPECT_FALSE(hs.PollEnd());
    meter.Tick();
    EXPECT_EQ(work, 0);
    EXPECT_FALSE(hs.PollEnd()) << "the drawing thread has not acknowledged";

    thread.RequestStop();
    while (!thread.Done()) QThread::msleep(1);
    EXPECT_TRUE(hs.PollEnd());
    EXPECT_FALSE(hs.StopTimers());
}

TEST(ExitHandshake, LongDrawIntervalAndGsDispStopWithoutWaiting) {
    ExitHandshake hs;
    IndexedTimer draw(hs, kDisplayDraw, 1001, [] {});
    IndexedTimer gsDisp(hs, kDotPicture, 50, [] {});
    IndexedTimer shortDraw(hs, 3, 1000, [] {});
    draw.Start();
    gsDisp.Start();
    shortDraw.Start();
    hs.BeginStop();
    EXPECT_FALSE(draw.Enabled());
    EXPECT_FALSE(gsDisp.Enabled());
    EXPECT_TRUE(hs.TimerStopped(kDisplayDraw));
    EXPECT_TRUE(hs.TimerStopped(kDotPicture));
    EXPECT_FALSE(hs.Complete());  // the 1000 ms one is waited for
    shortDraw.Tick();
    EXPECT_TRUE(hs.Complete());

    // With ShuttingDown set, the display timers end without acknowledging.
    ExitHandshake late;
    int work = 0;
    IndexedTimer flash(
        late, 2, 100, [&] { ++work; }, true);
    IndexedTimer cpu(
        late, 5, 500, [&] { ++work; }, false);
    flash.Start();
    cpu.Start();
    late.SetShuttingDown(true);
    flash.Tick();
    cpu.Tick();
    EXPECT_FALSE(flash.Enabled());
    EXPECT_TRUE(cpu.Enabled());
    EXPECT_EQ(work, 1);
}

// A player on a private configuration, playing a ten-second song.
class AppRig : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(home_.isValid());
        for (const char* v : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "HOME"})
            qputenv(v, home_.path().toUtf8());
        iniPath_ = settings::IniSettingsStore::DefaultPath();
        song_ = test::WriteSong(home_.path().toStdString(), "ten.mid", test::TenSecondSong());
    }
    void WriteSettings(const std::string& lines) {
        std::filesystem::create_directories(std::filesystem::path(iniPath_).parent_path());
        std::ofstream(iniPath_) << "[Sonfara]\n" << lines;
    }
    void StartPlaying() {
        AppPlatform platform{clock_, timers_, ports_, true, false, false};
        platform.wrdPluginFolders = wrdPluginFolders_;
        app_ = std::make_unique<SonfaraApp>(std::move(platform), nullptr);
        app_->onFinished = [] {};
        ASSERT_TRUE(app_->Start({QString::fromStdString(song_)}));
        timers_.RunForMs(1500);
        ASSERT_TRUE(app_->Session().Snapshot().playing);
        ASSERT_GT(ports_.Latest()->NotesOnCount(), 0);
    }
    void WaitForDrawingThread() {
        while (!app_->Display()->DrawThreadDone()) QThread::msleep(1);
    }

    QTemporaryDir home_;
    std::string iniPath_, song_;
    std::vector<std::string> wrdPluginFolders_;
    platform::ManualClock clock_;
    platform::ManualTimerService timers_{clock_};
    platform::RecordingOutputSystem ports_{clock_};
    std::unique_ptr<SonfaraApp> app_;
};

TEST_F(AppRig, OrderlyExitUnloadsOnlyAfterEveryTimerAndTheDrawingThread) {
    StartPlaying();
    app_->RequestClose(SonfaraApp::kUserClose);
    // Silenced, closed and saved at once; the windows hidden but kept.
    EXPECT_EQ(ports_.Latest()->NotesOnCount(), 0);
    EXPECT_TRUE(ports_.Latest()->Closed());
    EXPECT_TRUE(std::filesystem::exists(iniPath_));
    EXPECT_FALSE(app_->Main()->isVisible());
    EXPECT_TRUE(app_->EndTimerActive());

    const std::vector<int> running = {kDisplayDraw,     kNoteLamps, kPositionKnob,
                                      kControlReadouts, kCpuLoad,   kLevelDecay};
    for (int i : running) {
        EXPECT_TRUE(app_->Timer(i).Enabled()) << i;
        app_->EndTimerTick();
        EXPECT_FALSE(app_->Finished()) << "timer " << i << " has not acknowledged";
        app_->Timer(i).Tick();
    }
    WaitForDrawingThread();
    app_->RequestClose(SonfaraApp::kUserClose);  // a second request changes nothing
    app_->EndTimerTick();
    EXPECT_TRUE(app_->Finished());
    EXPECT_FALSE(app_->EndTimerActive());
    EXPECT_TRUE(app_->Handshake().ShuttingDown());
}

TEST_F(AppRig, LongDrawIntervalDoesNotHoldTheExit) {
    StartPlaying();
    // Beyond what the settings allow (10..1000 ms); the exit must not wait for it.
    app_->Timer(kDisplayDraw).SetIntervalMs(5000);
    app_->RequestClose(SonfaraApp::kProgramClose);
    EXPECT_FALSE(app_->Timer(kDisplayDraw).Enabled());
    for (int i : {kNoteLamps, kPositionKnob, kControlReadouts, kCpuLoad, kLevelDecay})
        app_->Timer(i).Tick();
    WaitForDrawingThread();
    app_->EndTimerTick();
    EXPECT_TRUE(app_->Finished());
}

TEST_F(AppRig, ResidentCloseHidesUntilWokenAndTheTaskManagerEndsIt) {
    WriteSettings("AlwaysMove=True\n");
    StartPlaying();
    app_->RequestClose(SonfaraApp::kUserClose);
    EXPECT_TRUE(app_->ResidentHidden());
    EXPECT_FALSE(app_->Finished());
    EXPECT_FALSE(app_->EndTimerActive());
    EXPECT_FALSE(app_->Main()->isVisible());
    EXPECT_FALSE(app_->ControlWidget()->isVisible());
    for (int i : {kDisplayDraw, kNoteLamps, kPositionKnob, kControlReadouts, kCpuLoad, kLevelDecay})
        EXPECT_FALSE(app_->Timer(i).Enabled()) << i;
    EXPECT_TRUE(ports_.Latest()->Closed());
    EXPECT_EQ(ports_.Latest()->NotesOnCount(), 0);
    EXPECT_TRUE(std::filesystem::exists(iniPath_));

    const size_t portsBefore = ports_.Opened().size();
    app_->Wake({QString::fromStdString(song_)});
    EXPECT_FALSE(app_->ResidentHidden());
    EXPECT_TRUE(app_->Main()->isVisible());
    EXPECT_TRUE(app_->Timer(kControlReadouts).Enabled());
    EXPECT_GT(ports_.Opened().size(), portsBefore) << "the song opens the port again";
    timers_.RunForMs(500);
    EXPECT_TRUE(app_->Session().Snapshot().playing);

    app_->RequestClose(SonfaraApp::kTaskManager);
    EXPECT_TRUE(app_->EndTimerActive());
}

TEST_F(AppRig, SessionEndClosesAtOnce) {
    StartPlaying();
    app_->RequestClose(SonfaraApp::kSessionEnd);
    EXPECT_TRUE(app_->Finished());
    EXPECT_TRUE(app_->Display()->DrawThreadDone());
    EXPECT_EQ(ports_.Latest()->NotesOnCount(), 0);
    EXPECT_TRUE(ports_.Latest()->Closed());
    EXPECT_TRUE(std::filesystem::exists(iniPath_));
}

// A window whose title bar can be reached stays; one off every screen goes
// whole onto the nearest screen's available area.
TEST(WindowPlaces, OffEveryScreenGoesOntoTheNearest) {
    const QList<QRect> areas = {QRect(0, 0, 1280, 1024), QRect(1280, 24, 1920, 1056)};
    EXPECT_EQ(ReachablePosition(QRect(-30, 500, 620, 200), areas), QPoint(-30, 500));
    EXPECT_EQ(ReachablePosition(QRect(3000, 10, 620, 200), areas), QPoint(2580, 24));
    EXPECT_EQ(ReachablePosition(QRect(100, -300, 620, 200), areas), QPoint(100, 0));
}

// Stored places are the frames' top-left corners: they come back where they
// were saved whatever the decoration (offscreen frames have a border), and a
// docked pair stored off the screen comes back onto it together.
TEST_F(AppRig, WindowPlacesRoundTripAndComeBackOntoTheScreen) {
    auto stored = [&] {
        std::ifstream in(iniPath_);
        std::string ini{std::istreambuf_iterator<char>(in), {}};
        return ini.substr(0, ini.find("MTimer"));
    };
    WriteSettings("CTL_TOP=3000\nCTL_LEFT=4500\nMAIN_TOP=1500\nMAIN_LEFT=1500\n");
    StartPlaying();
    QCoreApplication::processEvents();
    QWidget* control = app_->ControlWidget();
    ASSERT_NE(control->geometry().topLeft(), control->pos()) << "no decoration offset";
    EXPECT_EQ(control->pos(), QPoint(300, 200));
    EXPECT_EQ(app_->Main()->pos(), QPoint(100, 100));
    EXPECT_FALSE(app_->Docked());
    const int controlHeight = control->frameGeometry().height();
    app_->RequestClose(SonfaraApp::kSessionEnd);
    EXPECT_EQ(stored(), "[Sonfara]\nCTL_TOP=3000\nCTL_LEFT=4500\nMAIN_TOP=1500\nMAIN_LEFT=1500\n");

    app_.reset();
    const int mainTop = -400 + controlHeight;
    WriteSettings("CTL_TOP=-6000\nCTL_LEFT=-900\nMAIN_TOP=" + std::to_string(mainTop * 15) +
                  "\nMAIN_LEFT=-900\n");
    StartPlaying();
    QCoreApplication::processEvents();
    const QPoint screen = QGuiApplication::primaryScreen()->availableGeometry().topLeft();
    EXPECT_EQ(app_->ControlWidget()->pos(), screen);
    EXPECT_EQ(app_->Main()->pos(), screen + QPoint(0, controlHeight));
    EXPECT_TRUE(app_->Docked());
}

// Notes on channels 1 to 4, each held 900 of every 1000 ticks.
std::vector<uint8_t> FourChannelSong() {
    test::TrackBuilder t;
    for (int i = 0; i < 10; ++i) {
        for (uint8_t ch = 0; ch < 4; ++ch)
            t.Ev(i * 1000, {uint8_t(0x90 | ch), uint8_t(60 + ch), 0x64});
        for (uint8_t ch = 0; ch < 4; ++ch)
            t.Ev(i * 1000 + 900, {uint8_t(0x80 | ch), uint8_t(60 + ch), 0x40});
    }
    return test::BuildSmf(0, {t});
}

// Channels (1..16) with a note sounding on the port.
std::set<int> SoundingChannels(const platform::RecordingPort& port) {
    std::set<int> out;
    for (int n : port.NotesOn()) out.insert((n >> 8) + 1);
    return out;
}

TEST_F(AppRig, ChannelSwitchMutesLeftAndSolosRightWithoutHangingNotes) {
    song_ = test::WriteSong(home_.path().toStdString(), "four.mid", FourChannelSong());
    StartPlaying();
    MainPanels& panels = *app_->Panels();
    KeyboardPanelView* keys = panels.Keyboard();
    const QPoint row3 = KeyboardPanelView::SwitchRect(3).center();
    auto enabled = [&](int c) { return app_->Session().Output().Channel(c).Enabled.load() != 0; };
    ASSERT_TRUE(SoundingChannels(*ports_.Latest()).contains(3));

    QTest::mouseClick(keys, Qt::LeftButton, {}, row3);
    EXPECT_FALSE(enabled(3));
    EXPECT_FALSE(SoundingChannels(*ports_.Latest()).contains(3));
    timers_.RunForMs(1000);  // the next notes on channel 3 stay silent
    EXPECT_FALSE(SoundingChannels(*ports_.Latest()).contains(3));
    EXPECT_TRUE(SoundingChannels(*ports_.Latest()).contains(1));
    QTest::mouseClick(keys, Qt::LeftButton, {}, row3);
    EXPECT_TRUE(enabled(3));

    QTest::mouseClick(keys, Qt::RightButton, {}, row3);
    for (int c = 1; c <= 16; ++c) EXPECT_EQ(enabled(c), c == 3) << c;
    timers_.RunForMs(1000);
    EXPECT_EQ(SoundingChannels(*ports_.Latest()), std::set<int>{3});
    QTest::mouseClick(keys, Qt::MiddleButton, {}, row3);  // the same solo again ends it
    for (int c = 1; c <= 16; ++c) EXPECT_TRUE(enabled(c)) << c;
}

TEST_F(AppRig, TabsSwitchPanelsAndThePanelAndRollUpAreKept) {
    WriteSettings("WindowType=1\n");
    StartPlaying();
    MainPanels& panels = *app_->Panels();
    QWidget* main = app_->Main();
    EXPECT_TRUE(panels.Document()->isVisibleTo(main));
    EXPECT_FALSE(panels.Keyboard()->isVisibleTo(main));
    EXPECT_TRUE(panels.Tab(1)->Selected());

    QTest::mouseClick(panels.Tab(2), Qt::LeftButton);
    EXPECT_TRUE(panels.Events()->isVisibleTo(main));
    EXPECT_FALSE(panels.Document()->isVisibleTo(main));
    EXPECT_TRUE(panels.Tab(2)->Selected());
    EXPECT_FALSE(panels.Tab(1)->Selected());
    EXPECT_EQ(panels.Events()->TrackNumber()->text(), QStringLiteral("1/16"));
    EXPECT_FALSE(panels.Events()->EventMax()->text().isEmpty()) << "filled after the load";

    QTest::mouseClick(panels.Tab(0), Qt::LeftButton);
    EXPECT_TRUE(panels.Keyboard()->isVisibleTo(main));
    EXPECT_FALSE(panels.Events()->isVisibleTo(main));

    // The panel and the roll-up are kept for the next start.
    QTest::mouseClick(panels.Tab(2), Qt::LeftButton);
    app_->ToggleMainRollUp();
    app_->RequestClose(SonfaraApp::kSessionEnd);
    std::ifstream in(iniPath_);
    const std::string ini{std::istreambuf_iterator<char>(in), {}};
    EXPECT_NE(ini.find("WindowType=2"), std::string::npos) << ini;
    EXPECT_NE(ini.find("WindowStyle=False"), std::string::npos) << ini;
}

// The main window asks for no close and no maximise box; a close request
// that arrives anyway closes the player as before.
TEST_F(AppRig, MainWindowOffersNoCloseOrMaximiseBox) {
    StartPlaying();
    MainWindow* main = app_->Main();
    EXPECT_FALSE(main->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(main->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(main->windowFlags() & Qt::WindowMinimizeButtonHint);
    main->close();
    EXPECT_TRUE(app_->EndTimerActive());
}

// Roll-up: strips instead of tabs, the white caption's panel back on
// unrolling, WindowStyle in step; the title bar's double click acts only on
// a normal window. Files dropped on a control open as one list in order.
TEST_F(AppRig, RollUpByTitleDoubleClickAndFileDrop) {
    StartPlaying();
    MainPanels& panels = *app_->Panels();
    MainWindow* main = app_->Main();
    auto titleDoubleClick = [&] {
        QMouseEvent e(QEvent::NonClientAreaMouseButtonDblClick, QPointF(40, -10), QPointF(40, -10),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(main, &e);
    };
    QTest::mouseClick(panels.Tab(1), Qt::LeftButton);
    app_->ToggleMainRollUp();
    EXPECT_EQ(main->height(), MainWindow::kRolledHeight);
    EXPECT_FALSE(panels.Tab(1)->isVisibleTo(main));
    EXPECT_TRUE(panels.Strip(1)->isVisibleTo(main));
    EXPECT_EQ(panels.Strip(0)->Caption(), QStringLiteral("Document"));
    EXPECT_FALSE(app_->Session().Settings().Values().mainWindowFull);
    titleDoubleClick();
    EXPECT_FALSE(panels.RolledUp());
    EXPECT_FALSE(panels.Strip(0)->isVisibleTo(main));
    EXPECT_TRUE(panels.Document()->isVisibleTo(main));
    EXPECT_TRUE(app_->Session().Settings().Values().mainWindowFull);
    for (Qt::WindowState state : {Qt::WindowMaximized, Qt::WindowMinimized}) {
        main->setWindowState(state);
        titleDoubleClick();
        EXPECT_FALSE(panels.RolledUp()) << state;
        main->setWindowState(Qt::WindowNoState);
    }

    QList<QUrl> urls;
    for (const char* name : {"c.mid", "a.mid", "b.mid"})
        urls << QUrl::fromLocalFile(QString::fromStdString(
            test::WriteSong(home_.path().toStdString(), name, test::TenSecondSong())));
    QMimeData files;
    files.setUrls(urls);
    QWidget* text = panels.Document()->findChild<QPlainTextEdit*>()->viewport();
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(text, &enter);  // as a drag does before its drop
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(text, &drop);
    const files::PlayList& list = app_->Session().Lists().List();
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Entry(1).FileName, "c.mid");
    EXPECT_EQ(list.Entry(3).FileName, "b.mid");
}

// The play-list editor over the running session: the playing entry stays
// (with the message), another one goes and the playing index follows.
TEST_F(AppRig, ListEditorRemovesEntriesButNotThePlayingOne) {
    const std::string second =
        test::WriteSong(home_.path().toStdString(), "b.mid", test::TenSecondSong());
    dialogs::test::ScriptedPrompts prompts;
    AppPlatform platform{clock_, timers_, ports_, true, false, false};
    platform.prompts = &prompts;
    app_ = std::make_unique<SonfaraApp>(platform, nullptr);
    app_->onFinished = [] {};
    ASSERT_TRUE(app_->Start({QString::fromStdString(second), QString::fromStdString(song_)}));
    ASSERT_TRUE(app_->Session().Songs().PlayEntry(2));
    ASSERT_EQ(app_->Session().Lists().List().Index(), 2);

    auto removeRow = [&](int row) {
        QTimer::singleShot(0, [row] {
            auto* dialog = qobject_cast<dialogs::ListDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            dialog->SelectRow(row);
            dialog->Command2();
            dialog->accept();
        });
        app_->ShowListEditor(dialogs::ListMode::kPlayList);
    };
    removeRow(1);
    ASSERT_EQ(prompts.errors.size(), 1u);
    EXPECT_EQ(prompts.errors[0], QString::fromUtf8(dialogs::list_text::kCannotRemovePlaying));
    EXPECT_EQ(app_->Session().Lists().List().Count(), 2);

    removeRow(0);
    EXPECT_EQ(prompts.errors.size(), 1u);
    EXPECT_EQ(app_->Session().Lists().List().Count(), 1);
    EXPECT_EQ(app_->Session().Lists().List().Index(), 1) << "the index follows its entry";
    EXPECT_EQ(app_->Session().Snapshot().playListIndex, 1);
}

// With nothing playing and nothing moving on the display the display timers
// rest; input, playback and a close bring them back.
TEST_F(AppRig, IdleDisplayRestsAndWakes) {
    StartPlaying();
    auto settle = [&] {
        for (int i = 0; i < 40; ++i)
            for (int t : {kLevelDecay, kNoteLamps, kDisplayDraw, kPositionKnob})
                app_->Timer(t).Tick();
    };
    auto resting = [&] {
        return !app_->Timer(kNoteLamps).Enabled() && !app_->Timer(kLevelDecay).Enabled() &&
               app_->Timer(kDisplayDraw).IntervalMs() ==
                   display::DisplayController::kRestIntervalMs &&
               app_->Display()->Thread().IntervalMs() ==
                   display::DisplayController::kRestIntervalMs;
    };
    settle();
    EXPECT_FALSE(resting()) << "a playing song keeps the display going";

    app_->Session().Transport().Stop();
    settle();
    EXPECT_TRUE(resting());
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
    QApplication::sendEvent(app_->ControlWidget(), &press);
    EXPECT_FALSE(resting());
    EXPECT_TRUE(app_->Timer(kNoteLamps).Enabled());
    EXPECT_EQ(app_->Timer(kDisplayDraw).IntervalMs(), 50);
    EXPECT_EQ(app_->Display()->Thread().IntervalMs(), 50);

    settle();
    ASSERT_TRUE(resting());
    app_->Session().Transport().Play();
    app_->Timer(kPositionKnob).Tick();
    EXPECT_FALSE(resting());

    app_->Session().Transport().Stop();
    settle();
    ASSERT_TRUE(resting());
    app_->RequestClose(SonfaraApp::kUserClose);
    EXPECT_EQ(app_->Timer(kDisplayDraw).IntervalMs(), 50) << "the exit does not wait on the rest";
}

// A start with no files wakes a resident player to the empty song display,
// with the arrangement menu read again (its CP932 caption shown as text).
TEST_F(AppRig, WakeWithoutFilesShowsNoSongAndRereadsArrangements) {
    WriteSettings("AlwaysMove=True\n");
    StartPlaying();
    app_->RequestClose(SonfaraApp::kUserClose);
    ASSERT_TRUE(app_->ResidentHidden());
    const std::filesystem::path arr = home_.path().toStdString() + "/Sonfara/arr";
    std::filesystem::create_directories(arr);
    std::ofstream(arr / "strings.arr", std::ios::binary)
        << "[SONFARA ARRANGE "
           "FILE]\r\n\x83\x58\x83\x67\x83\x8A\x83\x93\x83\x4F\x83\x58\r\n[INST]\r\n1:49\r\n";

    app_->Wake({});
    EXPECT_TRUE(app_->Main()->isVisible());
    const session::SessionSnapshot s = app_->Session().Snapshot();
    EXPECT_FALSE(s.loaded);
    EXPECT_FALSE(s.started || s.paused || s.playing);
    EXPECT_EQ(s.totalMs, 0);
    EXPECT_EQ(s.title, "");
    EXPECT_EQ(s.fileName, "");
    EXPECT_FALSE(s.wrdActive);
    auto* control = qobject_cast<ControlWindow*>(app_->ControlWidget());
    ASSERT_NE(control, nullptr);
    for (QLabel* label :
         {&control->TitleLabel(), &control->FileNameLabel(), &control->FormatLabel()})
        EXPECT_TRUE(label->text().isEmpty()) << label->text().toStdString();
    EXPECT_FALSE(control->Action(QStringLiteral("ShellText"))->isEnabled());
    auto* item = app_->ControlWidget()->findChild<QAction*>(QStringLiteral("ArrDats1"));
    ASSERT_NE(item, nullptr) << "the new arrangement file is in the menu";
    EXPECT_EQ(item->text(), QStringLiteral("ストリングス"));
    timers_.RunForMs(500);
    EXPECT_FALSE(app_->Session().Snapshot().playing) << "nothing plays after the wake";
}

// A Western karaoke song's title reads as written; the encoding chosen in
// the settings dialog takes over at once, in the title strip too.
TEST_F(AppRig, TextEncodingFromTheSettingsDialogRereadsTheSong) {
    test::TrackBuilder t;
    t.Meta(0, 0x03, {'Y', 'o', 'u', 0x92, 'r', 'e'});
    for (int i = 0; i < 10; ++i) t.Ev(i * 1000, {0x90, 60, 0x64}).Ev(i * 1000 + 900, {0x80, 60, 0});
    song_ = test::WriteSong(home_.path().toStdString(), "w.kar", test::BuildSmf(0, {t}));
    StartPlaying();
    auto* control = qobject_cast<ControlWindow*>(app_->ControlWidget());
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->TitleLabel().text(), QStringLiteral("You’re"));

    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<dialogs::SettingsDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* box = dialog->findChild<QComboBox*>(QStringLiteral("TextEncoding"));
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->currentIndex(), 0) << "automatic by default";
        box->setCurrentIndex(1);  // CP932
        dialog->Ok();
    });
    app_->ShowSettings();
    EXPECT_EQ(app_->Session().Settings().Values().textEncoding, 1);
    const QString cp932 = QString::fromStdString(platform::CodePage("CP932").ToUtf8("You\x92re"));
    EXPECT_EQ(QString::fromStdString(app_->Session().Snapshot().title), cp932);
    EXPECT_EQ(control->TitleLabel().text(), cp932);
}

// "OK" in the settings dialog reaches the session and the running timers.
TEST_F(AppRig, SettingsDialogAppliesToTheSessionAndTimers) {
    StartPlaying();
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<dialogs::SettingsDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QLineEdit*>(QStringLiteral("GTimerInt"))->setText(QStringLiteral("300"));
        dialog->findChild<QLineEdit*>(QStringLiteral("WRDInt"))->setText(QStringLiteral("120"));
        dialog->findChild<QLineEdit*>(QStringLiteral("MTimerInt"))->setText(QStringLiteral("8"));
        dialog->Ok();
    });
    const int created = timers_.CreatedCount();
    app_->ShowSettings();
    EXPECT_GT(timers_.CreatedCount(), created) << "the playing song's timer is made anew";
    EXPECT_EQ(timers_.PeriodsUs(), std::vector<int64_t>{8000});
    EXPECT_EQ(app_->Session().Settings().Values().graphicsTimerMs, 300);
    EXPECT_EQ(app_->Session().Settings().Values().wrdTimerMs, 120);
    EXPECT_EQ(app_->Timer(kDisplayDraw).IntervalMs(), 300);
    EXPECT_EQ(app_->Display()->Thread().IntervalMs(), 300);
    EXPECT_EQ(app_->WrdWindow()->Interval(), 120);
    EXPECT_TRUE(app_->Session().Snapshot().playing);

    // The idle rest ends on the new interval, not on the one of the start.
    app_->Session().Transport().Stop();
    for (int i = 0; i < 40; ++i)
        for (int t : {kLevelDecay, kNoteLamps, kDisplayDraw, kPositionKnob}) app_->Timer(t).Tick();
    ASSERT_EQ(app_->Display()->Thread().IntervalMs(), display::DisplayController::kRestIntervalMs);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
    QApplication::sendEvent(app_->ControlWidget(), &press);
    EXPECT_EQ(app_->Display()->Thread().IntervalMs(), 300);
    EXPECT_EQ(app_->Timer(kDisplayDraw).IntervalMs(), 300);
}

// A song with a ".sry" script beside it is presented by the WRD player
// plug-in: attached to the WRD window, fed the position by the window's
// timer, painting into what the window shows; detached at the exit.
TEST_F(AppRig, WrdPluginPresentsAndPaintsIntoTheWrdWindow) {
    std::ofstream(home_.filePath(QStringLiteral("ten.sry")).toStdString()) << "plug-in script\n";
    wrdPluginFolders_ = {FAKE_WRD_PLUGIN_DIR};
    StartPlaying();
    void* plugin =
        dlopen((std::string(FAKE_WRD_PLUGIN_DIR) + "/libdswrd.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(plugin, nullptr) << "the player did not load the plug-in";
    auto log = reinterpret_cast<const char* (*)()>(dlsym(plugin, "fakeWrdLog"));
    EXPECT_EQ(std::string(log()).rfind("attach;callback 42 0;open ten.sry;", 0), 0u) << log();
    EXPECT_TRUE(app_->Session().Snapshot().wrdActive);

    app_->WrdWindow()->OnTimer();
    EXPECT_NE(std::string(log()).find("process 16 "), std::string::npos) << log();
    app_->WrdWindow()->resize(640, 480);
    const QImage shown = app_->WrdWindow()->grab().toImage();
    EXPECT_EQ(shown.pixel(5, 5) & 0xFFFFFF, 0x3366CCu);
    EXPECT_EQ(shown.pixel(20, 20) & 0xFFFFFF, 0u);

    app_->Session().Shutdown();
    EXPECT_NE(std::string(log()).find("reset;destroy;"), std::string::npos) << log();
    dlclose(plugin);
}

// A running WRD timer holds the orderly exit until its next tick.
TEST_F(AppRig, WrdTimerTakesPartInTheExit) {
    StartPlaying();
    app_->WrdWindow()->StartTimer();
    app_->RequestClose(SonfaraApp::kUserClose);
    for (int i : {kDisplayDraw, kNoteLamps, kPositionKnob, kControlReadouts, kCpuLoad, kLevelDecay})
        app_->Timer(i).Tick();
    WaitForDrawingThread();
    app_->EndTimerTick();
    EXPECT_FALSE(app_->Finished());
    EXPECT_FALSE(app_->Handshake().TimerStopped(kWrdPresentation));
    app_->Timer(kWrdPresentation).Tick();
    EXPECT_FALSE(app_->WrdWindow()->TimerActive());
    app_->WrdWindow()->StartTimer();  // the exit holds: nothing starts it again
    EXPECT_FALSE(app_->WrdWindow()->TimerActive());
    app_->EndTimerTick();
    EXPECT_TRUE(app_->Finished());
}

// Messages raised inside an operation open only after it returns, and
// requests from outside (a second start, the desktop's media controls) never
// run inside an operation: with a box showing they run at once, with a
// dialog's event loop running they wait for it, in order.
TEST_F(AppRig, NoticesWaitForTheOperationAndRequestsNeverReenterIt) {
    const std::string folder = home_.path().toStdString();
    const std::string second = test::WriteSong(folder, "b.mid", test::TenSecondSong());
    const std::string third = test::WriteSong(folder, "c.mid", test::TenSecondSong());
    const std::string broken = folder + "/broken.mid";
    std::ofstream(broken) << "not a song";
    const std::string unsupported = folder + "/notes.xyz";
    std::ofstream(unsupported) << "text";
    InstanceChannel channel(home_.path() + QStringLiteral("/instance"));
    ASSERT_EQ(channel.Start({}), InstanceChannel::StartResult::kListening);
    AppPlatform platform{clock_, timers_, ports_, false, false, false};
    app_ = std::make_unique<SonfaraApp>(platform, &channel);
    app_->onFinished = [] {};
    // Started with a file that is not there: Start returns with the box still to come.
    ASSERT_TRUE(app_->Start({home_.path() + QStringLiteral("/missing.mid")}));
    EXPECT_EQ(app_->Boxes().Showing(), nullptr);
    ASSERT_TRUE(SpinUntil([&] { return app_->Boxes().Showing() != nullptr; }));
    QPointer<QMessageBox> first = app_->Boxes().Showing();
    EXPECT_EQ(first->text(), QString::fromUtf8(files::msg::kFileNotFound) + QStringLiteral(": ") +
                                 home_.path() + QStringLiteral("/missing.mid"));

    // A second start while it shows: answered at once, its song plays.
    auto handOff = [&](const std::string& path) {
        std::atomic<int> result{-1};
        std::thread sender([&] {
            result = int(InstanceChannel::Send(channel.SocketPath(),
                                               InstanceChannel::Message::kFilesReady,
                                               {QString::fromStdString(path)}, 3000));
        });
        SpinUntil([&] { return result >= 0; });
        sender.join();
        return InstanceChannel::SendResult(result.load());
    };
    EXPECT_EQ(handOff(second), InstanceChannel::SendResult::kDelivered);
    EXPECT_EQ(app_->Session().Songs().CurrentSource().FileName, "b.mid");
    EXPECT_EQ(app_->Boxes().Showing(), first);

    // The desktop's open answers at once: a missing file and a broken one
    // are errors with the message; an unsupported one's box waits its turn.
    MediaControlTarget& mpris = app_->Mpris()->Target();
    EXPECT_TRUE(mpris.OpenPaths({home_.path() + QStringLiteral("/gone.mid")})
                    .startsWith(QString::fromUtf8(files::msg::kFileNotFound)));
    EXPECT_FALSE(mpris.OpenPaths({QString::fromStdString(broken)}).isEmpty());
    EXPECT_EQ(mpris.OpenPaths({QString::fromStdString(unsupported)}),
              QString::fromUtf8(files::msg::kUnsupported));
    EXPECT_EQ(app_->Boxes().Showing(), first);
    first->accept();
    ASSERT_TRUE(
        SpinUntil([&] { return app_->Boxes().Showing() && app_->Boxes().Showing() != first; }));
    app_->Boxes().Showing()->accept();
    ASSERT_TRUE(SpinUntil([&] { return app_->Boxes().Idle(); }));

    // A dialog's event loop holds requests back until it has returned:
    // the list it shows is the list it acts on.
    std::vector<std::string> seenInDialog;
    QTimer::singleShot(0, [&] {
        EXPECT_EQ(handOff(third), InstanceChannel::SendResult::kDelivered);
        mpris.Stop();
        seenInDialog.push_back(app_->Session().Songs().CurrentSource().FileName);
        QApplication::activeModalWidget()->close();
    });
    app_->ShowListEditor(dialogs::ListMode::kPlayList);
    EXPECT_EQ(seenInDialog, std::vector<std::string>{"b.mid"});
    EXPECT_EQ(app_->Requests().Waiting(), 2u);
    ASSERT_TRUE(SpinUntil([&] { return app_->Requests().Waiting() == 0; }));
    // In order: the hand-off's song opened, then the stop.
    EXPECT_EQ(app_->Session().Songs().CurrentSource().FileName, "c.mid");
    EXPECT_FALSE(app_->Session().Snapshot().playing);
    EXPECT_EQ(mpris.State().status, MediaState::Status::kStopped);
    // A repeat mode set from the desktop is the one the menu ticks.
    mpris.SetRepeatMode(platform::RepeatMode::kSong);
    auto* control = qobject_cast<ControlWindow*>(app_->ControlWidget());
    EXPECT_TRUE(control->Action(QStringLiteral("Repeat1"))->isChecked());
    mpris.SetRate(0.5);
    EXPECT_EQ(control->SpeedLabel().text(), QStringLiteral("50%"));
}

// A second start handing over a file that is not there names it in its box,
// word for word as the desktop's open names it; the song playing plays on.
TEST_F(AppRig, HandOffOfAMissingFileNamesIt) {
    InstanceChannel channel(home_.path() + QStringLiteral("/instance"));
    ASSERT_EQ(channel.Start({}), InstanceChannel::StartResult::kListening);
    app_ = std::make_unique<SonfaraApp>(AppPlatform{clock_, timers_, ports_, false, false, false},
                                        &channel);
    app_->onFinished = [] {};
    ASSERT_TRUE(app_->Start({QString::fromStdString(song_)}));
    const QString missing = home_.path() + QStringLiteral("/gone/missing.mid");
    std::atomic<int> result{-1};
    std::thread sender([&] {
        result = int(InstanceChannel::Send(channel.SocketPath(),
                                           InstanceChannel::Message::kFilesReady, {missing}, 3000));
    });
    SpinUntil([&] { return result >= 0; });
    sender.join();
    ASSERT_EQ(InstanceChannel::SendResult(result.load()), InstanceChannel::SendResult::kDelivered);
    ASSERT_TRUE(SpinUntil([&] { return app_->Boxes().Showing() != nullptr; }));
    const QString shown = app_->Boxes().Showing()->text();
    EXPECT_TRUE(shown.endsWith(missing)) << shown.toStdString();
    EXPECT_EQ(shown, app_->Mpris()->Target().OpenPaths({missing}));
    EXPECT_EQ(app_->Session().Songs().CurrentSource().FileName, "ten.mid");
    app_->Boxes().Showing()->accept();
}

// A folder on the command line (or handed over) plays its songs, as the
// folder command does.
TEST_F(AppRig, FolderOnTheCommandLineOpensItsSongs) {
    const QString folder = home_.path() + QStringLiteral("/album");
    ASSERT_TRUE(QDir().mkpath(folder));
    test::WriteSong(folder.toStdString(), "1.mid", test::TenSecondSong());
    test::WriteSong(folder.toStdString(), "2.mid", test::TenSecondSong());
    app_ = std::make_unique<SonfaraApp>(AppPlatform{clock_, timers_, ports_, true, false, false},
                                        nullptr);
    app_->onFinished = [] {};
    ASSERT_TRUE(app_->Start({folder}));
    EXPECT_EQ(app_->Session().Lists().List().Count(), 2);
    EXPECT_EQ(app_->Session().Songs().CurrentSource().FileName, "1.mid");
}

// A folder without songs is named in a notice that opens after the start
// has returned, not inside it; the player stands empty.
TEST_F(AppRig, EmptyFolderOnTheCommandLineIsNamed) {
    const QString folder = home_.path() + QStringLiteral("/nothing here");
    ASSERT_TRUE(QDir().mkpath(folder));
    std::ofstream((folder + QStringLiteral("/readme.txt")).toStdString()) << "no songs";
    app_ = std::make_unique<SonfaraApp>(AppPlatform{clock_, timers_, ports_, false, false, false},
                                        nullptr);
    app_->onFinished = [] {};
    ASSERT_TRUE(app_->Start({folder}));
    EXPECT_EQ(app_->Boxes().Showing(), nullptr);
    ASSERT_TRUE(SpinUntil([&] { return app_->Boxes().Showing() != nullptr; }));
    QMessageBox* box = app_->Boxes().Showing();
    EXPECT_EQ(box->text(), QString::fromUtf8(files::msg::kNoSongsInFolder) + folder);
    EXPECT_EQ(app_->Session().Lists().List().Count(), 0);
    box->accept();
}

// The program's timer table is the only clock of the display: after the
// low-load mode is switched off and on again, nothing else decays the
// meters or flashes the lamps (a second set of timers would, on their own).
TEST_F(AppRig, LowLoadToggleLeavesOneOwnerOfTheDisplayTimers) {
    StartPlaying();
    app_->Session()
        .Transport()
        .Pause();  // levels stand while no note sounds and no timer is ticked
    auto levels = [&] {
        int sum = 0;
        for (int c = 1; c <= 16; ++c) sum += app_->Session().Output().Channel(c).Level.load();
        return sum;
    };
    const int before = levels();
    ASSERT_GT(before, 0);
    app_->SetLowLoad(true);
    app_->SetLowLoad(false);
    ASSERT_TRUE(app_->Timer(kLevelDecay).Enabled());
    app_->Timer(kLevelDecay).Stop();       // the table's own, so only another owner could decay
    SpinUntil([] { return false; }, 350);  // longer than three meter periods
    EXPECT_EQ(levels(), before);
    app_->Timer(kLevelDecay).Tick();
    EXPECT_LT(levels(), before);
}

// The dot picture's pace is the table's slot: a picture starts it at 50 ms,
// the show tick moves it to 3000 ms, and the exit stops it without waiting.
TEST_F(AppRig, DotPictureRunsFromItsSlotAndTheExitStopsIt) {
    StartPlaying();
    IndexedTimer& dots = app_->Timer(kDotPicture);
    EXPECT_FALSE(dots.Enabled());
    app_->Display()->ScheduleDisplayBitmap();
    ASSERT_TRUE(dots.Enabled());
    EXPECT_EQ(dots.IntervalMs(), 50);
    dots.Tick();
    EXPECT_TRUE(dots.Enabled());
    EXPECT_EQ(dots.IntervalMs(), 3000);
    app_->RequestClose(SonfaraApp::kUserClose);
    EXPECT_FALSE(dots.Enabled());
    EXPECT_TRUE(app_->Handshake().TimerStopped(kDotPicture));
}

// A message raised by the exit itself (a failed save) is shown before the
// process ends; the desktop session ending does not wait for its OK.
TEST_F(AppRig, ExitWaitsForTheOKOfItsOwnLastMessageUnlessTheSessionEnds) {
    for (bool sessionEnds : {false, true}) {
        AppPlatform platform{clock_, timers_, ports_, false, false, false};
        app_ = std::make_unique<SonfaraApp>(platform, nullptr);
        bool ended = false;
        app_->onFinished = [&] { ended = true; };
        ASSERT_TRUE(app_->Start({QString::fromStdString(song_)}));
        app_->RequestClose(SonfaraApp::kProgramClose);
        app_->Boxes().Error("設定を保存できませんでした");  // as the session's save would
        for (int i :
             {kDisplayDraw, kNoteLamps, kPositionKnob, kControlReadouts, kCpuLoad, kLevelDecay})
            app_->Timer(i).Tick();
        app_->WrdWindow()->OnTimer();
        WaitForDrawingThread();
        app_->EndTimerTick();
        ASSERT_TRUE(app_->Finished());
        ASSERT_TRUE(SpinUntil([&] { return app_->Boxes().Showing() != nullptr; }));
        EXPECT_FALSE(ended);
        if (sessionEnds)
            app_->RequestClose(SonfaraApp::kSessionEnd);
        else
            app_->Boxes().Showing()->accept();
        EXPECT_TRUE(SpinUntil([&] { return ended; })) << sessionEnds;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
