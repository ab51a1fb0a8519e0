#include "player/shell/app.h"

#include <QApplication>
#include <QDBusConnection>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include "player/dialogs/library_window.h"
#include "player/dialogs/lyrics_window.h"
#include "player/dialogs/wrd_window.h"
#include "player/display/display_controller.h"
#include "player/files/favorites.h"
#include "player/files/shaping_catalog.h"
#include "player/platform/codepage.h"
#include "player/platform/file_types.h"
#include "player/platform/sstp_notice.h"
#include "player/platform/user_files.h"
#include "player/session/audio_export.h"
#include "player/session/messages.h"
#include "player/shell/control_window.h"
#include "player/shell/desktop_launch.h"
#include "player/shell/docking.h"
#include "player/shell/instance_channel.h"
#include "player/shell/main_panels.h"
#include "player/shell/main_window.h"
#include "player/shell/media_target.h"
#include "player/shell/mpris_service.h"
#include "player/shell/tray_icon.h"

namespace sonfara::shell {

SonfaraApp::SonfaraApp(AppPlatform platform, InstanceChannel* channel)
    : platform_(platform), channel_(channel) {
    notifier_.SetQuiet(platform_.quietMessages);
    onFinished = [] { QCoreApplication::quit(); };
}

SonfaraApp::~SonfaraApp() {
    qApp->removeEventFilter(this);  // the windows' destruction sends events
    if (session_) session_->RemoveObserver(this);
    timers_.StopAll();
    // Nothing may draw into a window that is going.
    if (display_) display_->Shutdown();
}

bool SonfaraApp::Start(const QStringList& paths) {
    // The instance channel already answers; the engine comes next.
    lib_.InstInit();
    MakeSession();
    if (!session_) return false;
    MakeWindows();
    PlaceWindows();
    MakeTimers();
    ConnectChannel();
    panels_->SelectPanel(session_->Settings().Values().mainPanel);
    if (!session_->Settings().Values().mainWindowFull) panels_->SetRolledUp(true);
    control_->ResetReadouts();
    bench_.StampWhenShown(*main_, *control_);
    bench_.WriteMenuTitles(*control_->menuBar());
    ShowWindows();
    dialogs_->RestoreLyricsWindow(session_->Settings().Values());
    OpenPaths(paths);
    docking_->TestDocked();
    if (platform_.registerFileTypes)
        platform::PlatformShell().RegisterFileType(
            QCoreApplication::applicationFilePath().toStdString());
    taskType_ = session_->Settings().Values().taskType;
    textEncoding_ = session_->Settings().Values().textEncoding;
    AddTray();
    display_->StartDrawingThread();
    timers_.Start(session_->Settings().Values().displayOn);
    if (platform_.mpris) mpris_->Register();  // without a session bus the player runs without it
    SendNotice(platform::StartupNoticeText(platform::SystemCodePage()));
    return true;
}

namespace {
bool IsUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::KeyPress:
        case QEvent::Wheel:
        case QEvent::Drop:
        case QEvent::ContextMenu:
            return true;
        default:
            return false;
    }
}
}  // namespace

void SonfaraApp::MakeSession() {
    work_ = files::WorkFolder::Create();
    if (!work_.Ok()) {
        notifier_.Error(files::msg::kWorkFolderUnsafe + work_.Error());
        return;
    }
    settings::SettingsOpenReport report;
    const std::string settingsPath = settings::IniSettingsStore::DefaultPath();
    store_ = settings::IniSettingsStore::Open(settingsPath, true, &report);
    if (const std::string notice = session::msg::SettingsOpenNotice(report, settingsPath);
        !notice.empty())
        notifier_.Error(notice);
    session::SessionEnv env{
        platform_.clock, platform_.timers, platform_.ports, ui_, platform::SystemCodePage(),
        notifier_,       work_.Path()};
    env.settingsStore = store_.get();
    env.priority = &priority_;
    env.shapingFolders = files::DefaultShapingFolders(platform::ProgramFolder());
    env.favoriteFolder = files::DefaultFavoriteFolder();
    // A song this large takes longer than a glance to read: the windows go on.
    env.backgroundLoadBytes = uintmax_t{32} << 20;
    dialogs_ = std::make_unique<DialogHost>(lib_, platform_, requests_, notifier_);
    wrd::WrdWindowWidget& wrdWindow = dialogs_->MakeWrdWindow();
    env.wrdWindow = &wrdWindow;
    // The plug-in attaches to the window's native handle.
    env.wrdPlugin = &wrdPlugin_;
    env.wrdWindowHandle = reinterpret_cast<void*>(wrdWindow.winId());
    session_ = std::make_unique<session::PlaybackSession>(std::move(env));
    session_->AddObserver(this);
    dialogs_->AttachSession(*session_);
    timers_.AttachWrdWindow(wrdWindow);
}

void SonfaraApp::MakeWindows() {
    displaySource_ = std::make_unique<display::OutputLayerSource>(session_->Output().Layer());
    display::DisplayOptions options;
    options.dpr = qApp->devicePixelRatio();
    options.graphicsIntervalMs = session_->Settings().Values().graphicsTimerMs;
    options.instLabel = [this](int program, int bank, int map) {
        return platform::InstLabelText(lib_, program, bank, map);
    };
    display_ = std::make_unique<display::DisplayController>(*displaySource_, options);
    main_ = std::make_unique<MainWindow>();
    main_->onCloseRequested = [this] { RequestClose(kUserClose); };
    panels_ = std::make_unique<MainPanels>(*main_, *session_, *display_, options.instLabel);
    main_->onTitleDoubleClick = [this] { ToggleMainRollUp(); };
    for (int i = 0; i < 2; ++i) panels_->Strip(i)->onDoubleClicked = [this] { ToggleMainRollUp(); };
    main_->onFilesDropped = [this](const QStringList& paths) { OpenPaths(paths); };
    connect(display_.get(), &display::DisplayController::keyboardFrameReady, main_.get(), [this] {
        QImage frame;
        QRect changed;
        if (display_->TakeKeyboardFrame(&frame, &changed))
            panels_->Keyboard()->SetFrame(frame, changed);
    });
    control_ = std::make_unique<ControlWindow>(*session_, *this);
    auto* bars = new BarPanelView(*display_);
    connect(display_.get(), &display::DisplayController::metersChanged, bars,
            [bars] { bars->update(); });
    control_->SetBarDisplay(bars);
    // Application-wide: input in any window also ends the idle rest.
    qApp->installEventFilter(this);
    docking_ = std::make_unique<Docking>(*control_.get(), *main_);
    docking_->wrdActive = [this] { return session_->Snapshot().wrdActive; };
    tray_ = std::make_unique<TrayIcon>(QApplication::windowIcon());
    connect(tray_.get(), &TrayIcon::restoreRequested, this, [this] {
        QWidget* control = control_.get();
        if (control->isMinimized() || control->isHidden()) {
            control->showNormal();
            OnControlStateChanged();
        }
    });
    connect(tray_.get(), &TrayIcon::menuRequested, this, [this](const QPoint& at) {
        if (QMenu* menu = control_->FileMenu()) menu->popup(at);
    });
    notifier_.SetOwner(control_.get());
    dialogs_->SetOwner(*control_);
    MediaTargetHooks hooks;
    // The session tells the windows and MPRIS what changed (OnStateChanged).
    hooks.run = [this](std::function<void()> operation) { requests_.Run(std::move(operation)); };
    hooks.open = [this](const QStringList& paths) { return OpenRequest(paths, false); };
    hooks.raise = [this] { requests_.Run([this] { Raise(); }); };
    // A close request is never held back by a dialog.
    hooks.quit = [this] { RequestClose(kProgramClose); };
    media_ = std::make_unique<SessionMediaTarget>(*session_, std::move(hooks));
    mpris_ = std::make_unique<MprisService>(*media_, QDBusConnection::sessionBus());
}

// The stored places are the frames' top-left corners, in twips. Qt sizes a
// window that has no size yet when it is shown and then takes the position
// for the client area's, so the window would walk by its title bar on every
// start: sized first, the window manager places the frame itself.
void SonfaraApp::PlaceWindows() {
    const settings::SettingsValues& v = session_->Settings().Values();
    QWidget* control = control_.get();
    control->adjustSize();
    const QRect ctl(QPoint(v.controlLeft / kTwipsPerPixel, v.controlTop / kTwipsPerPixel),
                    control->size());
    QRect main(QPoint(v.mainLeft / kTwipsPerPixel, v.mainTop / kTwipsPerPixel), main_->size());
    const bool stored = v.mainTop != v.controlTop || v.mainLeft != v.controlLeft;
    if (!stored) main.moveTopLeft(DockedMainPosition(ctl));
    const bool docked = !stored || StoredDocked(ctl, main.topLeft());
    QList<QRect> areas;
    for (const QScreen* screen : QGuiApplication::screens()) areas << screen->availableGeometry();
    const WindowPlaces at = PlaceWindowPair(ctl, main, docked, areas);
    control->move(at.control);
    main_->move(at.main);
    if (docked) docking_->StartDocked(at.main);
}

void SonfaraApp::MakeTimers() {
    TimerTable::Work work;
    work.displayDraw = [this] {
        panels_->OnDrawInterval();
        // The lyrics move with the drawing pass while their window is shown.
        if (dialogs::LyricsWindow& lyrics = dialogs_->Lyrics(); lyrics.isVisible())
            lyrics.SetPositionMs(session_->Snapshot().positionMs);
    };
    work.positionKnob = [this] { control_->OnCtlSet(session_->Snapshot()); };
    work.controlReadouts = [this] { control_->OnCtlSet2(session_->Snapshot()); };
    work.busy = [this] { return state_.playing || state_.stepping; };
    timers_.Make(*display_, session_->Settings().Values().graphicsTimerMs, std::move(work));
    control_->UseClock(timers_);
}

void SonfaraApp::ConnectChannel() {
    if (!channel_) return;
    connect(channel_, &InstanceChannel::filesHanded, this,
            [this](const QStringList& paths) { OpenRequest(paths, true); });
    connect(channel_, &InstanceChannel::wakeRequested, this,
            [this](const QStringList& paths) { requests_.Run([this, paths] { Wake(paths); }); });
    connect(channel_, &InstanceChannel::exitRequested, this,
            [this] { RequestClose(kProgramClose); });
}

void SonfaraApp::ShowWindows() {
    main_->showNormal();
    control_.get()->showNormal();
    docking_->Reattach();
}

void SonfaraApp::AddTray() {
    if (taskType_ != TrayIcon::kTaskbarOnly) tray_->Add(taskType_);
}

void SonfaraApp::RemoveTray() {
    if (taskType_ != TrayIcon::kTaskbarOnly) tray_->Remove();
}

void SonfaraApp::SaveWindowPlacement() {
    const QPoint c = control_.get()->pos();
    const QPoint m = main_->pos();
    const int panel = panels_->SelectedPanel();
    const bool full = !main_->RolledUp();
    session_->Settings().Edit([&](settings::SettingsValues& v) {
        dialogs_->SaveLyricsWindow(v);
        v.controlTop = c.y() * kTwipsPerPixel;
        v.controlLeft = c.x() * kTwipsPerPixel;
        v.mainTop = m.y() * kTwipsPerPixel;
        v.mainLeft = m.x() * kTwipsPerPixel;
        v.mainPanel = panel;
        v.mainWindowFull = full;
    });
}

// Folders open as their songs, as the folder command finds them.
void SonfaraApp::OpenPaths(const QStringList& paths) {
    if (paths.isEmpty()) return;
    std::vector<std::string> list;
    for (const QString& p : paths) list.push_back(QFile::encodeName(p).toStdString());
    const files::FileContext ctx{notifier_, work_.Path(), platform::SystemCodePage()};
    list = files::WithFolderSongs(list, ctx);
    if (!list.empty()) session_->Songs().OpenPaths(list);
}

// A hand-off or a desktop's open: run now, or after the dialog that is up.
// Returns the messages the open raised ("" when none, or when it waits).
QString SonfaraApp::OpenRequest(const QStringList& paths, bool raise) {
    auto failure = std::make_shared<QString>();
    requests_.Run([this, paths, raise, failure] {
        if (raise) Raise();
        const quint64 before = notifier_.Raised();
        const int attempts = session_->Songs().OpenAttempts();
        OpenPaths(paths);
        if (notifier_.Raised() != before)
            *failure = QString::fromStdString(notifier_.LastText());
        else if (session_->Songs().OpenAttempts() != attempts && !session_->Songs().LastOpenOk())
            *failure =
                QString::fromStdString(session_->Songs().LastError());  // the title label's text
    });
    return *failure;
}

// The main window first, so the control window ends up in front.
void SonfaraApp::Raise() {
    for (QWidget* w : {static_cast<QWidget*>(main_.get()), static_cast<QWidget*>(control_.get())}) {
        if (w->isMinimized() || w->isHidden()) w->showNormal();
        w->raise();
        w->activateWindow();
    }
    // A message still waiting for its OK stays in front of its window.
    if (QWidget* box = notifier_.Showing()) box->raise();
}

void SonfaraApp::Wake(const QStringList& paths) {
    if (residentHidden_) {
        session_->Output().ReloadShapingCatalog();  // files may have come or gone meanwhile
        timers_.Start(session_->Settings().Values().displayOn);
        session_->Presentation().AttachWrdPlugin();
        AddTray();
    }
    if (residentHidden_) dialogs_->RestoreLyricsWindow(session_->Settings().Values());
    if (paths.isEmpty() && residentHidden_) {
        session_->Songs().ClearSong();
        dialogs_->Lyrics().SetLyrics(nullptr);
        panels_->SongCleared();
        display_->NotifyOutputReset();
        control_->ShowNoSong();
    }
    ShowWindows();
    OpenPaths(paths);
    residentHidden_ = false;
}

// --- Close requests -----------------------------------------------------------

void SonfaraApp::RequestClose(CloseMode mode) {
    if (!session_) {  // the start-up failed: nothing to save or silence
        if (onFinished) onFinished();
        return;
    }
    // The exit waits only for the OK of its own last message; the desktop
    // session ending does not wait for it.
    if (finished_) {
        if (mode == kSessionEnd) notifier_.CloseAll();
        return;
    }
    timers_.LeaveRest();  // a slowed DrawInterval would hold the exit handshake
    if (unloading_ || timers_.Closing()) return;
    if (mode == kSessionEnd)
        CloseForSessionEnd();
    else if (session_->Settings().Values().stayResidentOnClose && mode != kTaskManager)
        HideResident();
    else
        BeginOrderlyExit();
}

void SonfaraApp::CloseForSessionEnd() {
    timers_.ShutDown();
    dialogs_->CloseDialogs();
    notifier_.SetQuiet(true);  // nobody is left to press OK: standard error
    display_->Shutdown();      // DrawThreadStop, then wait for DrawThreadDone
    if (channel_) channel_->StopListening();
    SaveWindowPlacement();
    session_->Shutdown();  // saves, silences, resets and closes the port
    RemoveTray();
    Finish();
}

void SonfaraApp::HideResident() {
    timers_.StopForHide();
    dialogs_->WrdWindow()->hide();
    SaveWindowPlacement();  // before the lyrics window hides: it is remembered as shown
    dialogs_->Lyrics().hide();
    dialogs_->Library().hide();
    RemoveTray();
    main_->hide();
    control_.get()->hide();
    session_->Suspend();  // port silenced, reset and closed; settings saved
    residentHidden_ = true;
    if (channel_) channel_->SetResidentHidden(true);
    control_->ResetReadouts();
    mpris_->Refresh();
}

void SonfaraApp::BeginOrderlyExit() {
    dialogs_->CloseDialogs();
    display_->RequestDrawThreadStop();
    if (channel_) channel_->StopListening();  // a start from now on is a player of its own
    RemoveTray();
    SaveWindowPlacement();
    session_->Shutdown();
    main_->hide();
    control_.get()->hide();
    dialogs_->WrdWindow()->hide();
    dialogs_->Lyrics().hide();
    dialogs_->Library().hide();
    timers_.BeginExit();  // EndTimer calls Finish once every timer acknowledged
}

void SonfaraApp::Finish() {
    display_->Shutdown();  // the thread has ended; this only joins it
    bench_.WriteDrawStats(*display_, session_->Transport().Lateness());
    unloading_ = true;
    finished_ = true;
    main_->AllowClose();
    main_->close();
    dialogs_->WrdWindow()->SetShuttingDown(true);
    dialogs_->WrdWindow()->close();
    dialogs_->Lyrics().close();
    dialogs_->Library().close();
    control_.get()->close();
    // A message of the exit itself (the settings could not be saved) is
    // shown before the process ends.
    if (!notifier_.Idle()) {
        connect(&notifier_, &MessageBoxNotifier::drained, this, [this] {
            if (onFinished) onFinished();
        });
        return;
    }
    if (onFinished) onFinished();
}

// --- What the control window asks ----------------------------------------------

void SonfaraApp::ExportAudio(const session::AudioExportRequest& request) {
    session::AudioExportRequest r = request;
    r.shapingFolders = files::DefaultShapingFolders(platform::ProgramFolder());
    r.workFolder = work_.Path();
    if (r.soundFont.empty()) r.soundFont = platform_.soundFont;
    dialogs_->ExportAudio(r);
}

void SonfaraApp::ToggleMainRollUp() {
    panels_->SetRolledUp(!panels_->RolledUp());
    const int panel = panels_->SelectedPanel();
    const bool full = !panels_->RolledUp();
    session_->Settings().Edit([&](settings::SettingsValues& v) {
        v.mainPanel = panel;
        v.mainWindowFull = full;
    });
}

void SonfaraApp::SendNotice(const std::string& noticeBytes) {
    sonfara::platform::SendNotice(lib_, session_->Settings().Values().sstpNotices, noticeBytes);
}

void SonfaraApp::OpenHelp() {
    launch::OpenHelp();
}

bool SonfaraApp::HasHomePage() const {
    return launch::HasHomePage();
}

void SonfaraApp::OpenHomePage() {
    launch::OpenHomePage();
}

std::string SonfaraApp::DocumentPath() {
    return panels_ ? panels_->Document()->FilePath() : std::string();
}

QWidget* SonfaraApp::ControlWidget() const {
    return control_ ? control_.get() : nullptr;
}

bool SonfaraApp::Docked() const {
    return docking_ && docking_->Docked();
}

// --- Session hooks ----------------------------------------------------------------

void SonfaraApp::OnSongOpened(int, bool ok, const std::string&) {
    timers_.LeaveRest();
    if (ok && panels_) panels_->SongOpened();
    if (ok && dialogs_) dialogs_->Lyrics().SetLyrics(session_->Songs().SongLyrics());
}

void SonfaraApp::OnStateChanged(const session::SessionSnapshot& state) {
    state_ = state;
    if (mpris_) mpris_->Refresh();
}

// The tray and the drawing and WRD timers follow the settings, whichever
// way they changed.
void SonfaraApp::OnSettingsChanged(const settings::SettingsValues& v) {
    if (!display_ || !tray_) return;  // still starting: the windows take the values when made
    if (v.taskType != taskType_) {
        RemoveTray();
        taskType_ = v.taskType;
        AddTray();
    }
    if (v.graphicsTimerMs != display_->GraphicsIntervalMs())
        timers_.SetGraphicsInterval(v.graphicsTimerMs);
    dialogs_->WrdWindow()->SetInterval(v.wrdTimerMs);
    // The session read the song's texts again; the windows show them anew.
    if (v.textEncoding != textEncoding_) {
        textEncoding_ = v.textEncoding;
        if (session_->Songs().Song().Loaded && panels_) panels_->TextsChanged();
        dialogs_->Lyrics().SetLyrics(session_->Songs().SongLyrics());
    }
}

void SonfaraApp::OnDotPicture() {
    display_->NotifyDotPicture();
}
void SonfaraApp::OnClearMeters() {
    display_->NotifyOutputReset();
}

// --- Minimising and the close box ------------------------------------------------------

bool SonfaraApp::eventFilter(QObject* watched, QEvent* event) {
    if (IsUserInput(event->type())) timers_.LeaveRest();
    if (watched != ControlWidget()) return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::WindowStateChange) OnControlStateChanged();
    // The close box is a close request; the exit decides when the window goes.
    if (event->type() == QEvent::Close && !unloading_) {
        event->ignore();
        RequestClose(kUserClose);
        return true;
    }
    return QObject::eventFilter(watched, event);
}

// Minimised: the main window hides (and with tray only, the control window
// too); restored: both come back, docked as they were.
void SonfaraApp::OnControlStateChanged() {
    QWidget* control = control_.get();
    if (control->isMinimized()) {
        main_->hide();
        if (TrayIcon::EffectiveTaskType(taskType_) == TrayIcon::kTrayOnly)
            QTimer::singleShot(0, control, &QWidget::hide);
        windowsMinimised_ = true;
        display_->SetControlMinimised(true);
    } else if (windowsMinimised_ && !unloading_) {
        windowsMinimised_ = false;
        display_->SetControlMinimised(false);
        main_->showNormal();
        docking_->Reattach();
    }
}

}  // namespace sonfara::shell
