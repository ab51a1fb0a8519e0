#include "player/shell/app.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDialog>
#include <QDesktopServices>
#include <QFile>
#include <QAction>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QUrl>
#include <QWidget>
#include <QWindow>
#include <chrono>
#include <cstdio>

#include "player/dialogs/list_dialog.h"
#include "player/dialogs/version_window.h"
#include "player/display/display_controller.h"
#include "player/files/favorites.h"
#include "player/files/shaping_catalog.h"
#include "player/platform/codepage.h"
#include "player/platform/file_types.h"
#include "player/platform/sstp_notice.h"
#include "player/platform/user_files.h"
#include "player/session/messages.h"
#include "player/dialogs/settings_dialog.h"
#include "player/shell/docking.h"
#include "player/shell/instance_channel.h"
#include "player/shell/main_panels.h"
#include "player/shell/main_window.h"
#include "player/shell/media_target.h"
#include "player/shell/mpris_service.h"
#include "player/shell/control_window.h"
#include "player/shell/tray_icon.h"
#include "player/dialogs/wrd_window.h"

namespace sonfara::shell {
namespace {

constexpr int kCtlSetMs = 100;
constexpr int kCtlSet2Ms = 200;
constexpr int kCtlSet3Ms = 500;
constexpr int kMeterMs = 100;
constexpr int kFlashMs = 100;
constexpr int kPosChgMs = 500;
constexpr int kGsDispMs = 3000;
constexpr int kMWrdProcMs = 100;
// Set by the build (SONFARA_HOME_PAGE); empty until the product has one.
constexpr const char* kHomePage = SONFARA_HOME_PAGE;

// WRDProc drives the session's presentation.
class SessionWrdSource final : public wrd::WrdFrameSource {
  public:
    explicit SessionWrdSource(PlaybackSession& session) : session_(session) {}
    void Tick() override { session_.Presentation().WrdTick(); }
    void PresentFrame() override { session_.Presentation().PresentWrdFrame(); }
    bool RepaintExternal(wrd::WrdPaintTarget& target) override {
        return session_.Presentation().RepaintExternalWrd(&target);
    }

  private:
    PlaybackSession& session_;
};

// The list dialog's two modes over the session: its favourites (entries
// are 1-based, the session's 0-based) and its play list.
class SessionListModel final : public dialogs::ListDialogModel {
  public:
    SessionListModel(PlaybackSession& session, dialogs::ListMode mode)
        : session_(session), mode_(mode) {}
    dialogs::ListMode Mode() const override { return mode_; }
    std::vector<std::string> Rows() const override {
        std::vector<std::string> rows;
        if (mode_ == dialogs::ListMode::kFavorites) {
            for (const files::FavoriteEntry& f : session_.Library().Favorites()) rows.push_back(f.Title);
        } else {
            for (const files::FileEntry& e : session_.Library().List().Entries()) rows.push_back(e.FileName);
        }
        return rows;
    }
    // The session reports its own failures.
    bool RenameFavorite(int entry, const std::string& title, std::string*) override {
        return session_.Library().RenameFavorite(entry - 1, title);
    }
    bool DeleteFavorite(int entry, std::string*) override {
        return session_.Library().DeleteFavorite(entry - 1);
    }
    int PlayingEntry() const override { return session_.Library().List().Index(); }
    bool PlayEntry(int entry) override {
        session_.Library().FileListClick(entry - 1);
        return session_.Library().List().Index() == entry;
    }
    void RemoveEntry(int entry) override { session_.Library().RemoveEntry(entry); }

  private:
    PlaybackSession& session_;
    dialogs::ListMode mode_;
};

}  // namespace

SonfaraApp::SonfaraApp(AppPlatform platform, InstanceChannel* channel)
    : platform_(platform),
      channel_(channel),
      handshake_([this] { return !display_ || display_->DrawThreadDone(); }) {
    notifier_.SetQuiet(platform_.quietMessages);
    onFinished = [] { QCoreApplication::quit(); };
    endTimer_.setInterval(ExitHandshake::kEndTimerMs);
    connect(&endTimer_, &QTimer::timeout, this, &SonfaraApp::EndTimerTick);
}

SonfaraApp::~SonfaraApp() {
    qApp->removeEventFilter(this);  // the windows' destruction sends events
    if (session_) session_->RemoveObserver(this);
    if (wrdWindow_) wrdWindow_->StopTimer();
    // Nothing may draw into a window that is going.
    if (display_) display_->Shutdown();
    for (auto& t : timers_)
        if (t) t->Stop();
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
    panels_->SelectPanel(session_->Settings().Values().WindowType);
    if (!session_->Settings().Values().WindowStyle) panels_->SetRolledUp(true);
    control_->ResetReadouts();
    StampWhenShown();
    ShowWindows();
    OpenPaths(paths);
    docking_->TestDocked();
    if (platform_.registerFileTypes)
        PlatformShell().RegisterFileType(QCoreApplication::applicationFilePath().toStdString());
    taskType_ = session_->Settings().Values().TaskType;
    AddTray();
    display_->StartDrawingThread();
    StartTimers();
    if (platform_.mpris) mpris_->Register();  // without a session bus the player runs without it
    SendNotice(StartupNoticeText(SystemCodePage()));
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
    SettingsOpenReport report;
    const std::string settingsPath = IniSettingsStore::DefaultPath();
    store_ = IniSettingsStore::Open(settingsPath, true, &report);
    if (const std::string notice = session::msg::SettingsOpenNotice(report, settingsPath);
        !notice.empty())
        notifier_.Error(notice);
    SessionEnv env{platform_.clock, platform_.timers, platform_.ports, ui_,
                   SystemCodePage(),  notifier_,        work_.Path()};
    env.settingsStore = store_.get();
    env.priority = &priority_;
    env.shapingFolders = DefaultShapingFolders(ProgramFolder());
    env.favoriteFolder = files::DefaultFavoriteFolder();
    wrdWindow_ = std::make_unique<wrd::WrdWindowWidget>();
    env.wrdWindow = wrdWindow_.get();
    // The plug-in attaches to the window's native handle.
    env.wrdPlugin = &wrdPlugin_;
    env.wrdWindowHandle = reinterpret_cast<void*>(wrdWindow_->winId());
    session_ = std::make_unique<PlaybackSession>(std::move(env));
    session_->AddObserver(this);
    wrdSource_ = std::make_unique<SessionWrdSource>(*session_);
    wrdWindow_->SetFrameSource(wrdSource_.get());
    wrdWindow_->SetInterval(session_->Settings().Values().MWRDTimer);
    handshake_.RegisterExternal(
        kWrdProc, [w = wrdWindow_.get()] { w->RequestStop(); },
        [w = wrdWindow_.get()] { return w->StopAcknowledged(); });
}

void SonfaraApp::MakeWindows() {
    displaySource_ = std::make_unique<display::OutputLayerSource>(session_->Output().Layer());
    display::DisplayOptions options;
    options.dpr = qApp->devicePixelRatio();
    options.graphicsIntervalMs = session_->Settings().Values().GTimer;
    options.instLabel = [this](int program, int bank, int map) {
        return InstLabelText(lib_, program, bank, map);
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
        if (display_->TakeKeyboardFrame(&frame, &changed)) panels_->Keyboard()->SetFrame(frame, changed);
    });
    control_ = std::make_unique<ControlWindow>(*session_, *this);
    auto* bars = new BarPanelView(*display_);
    connect(display_.get(), &display::DisplayController::metersChanged, bars, [bars] { bars->update(); });
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
    const SettingsValues& v = session_->Settings().Values();
    QWidget* control = control_.get();
    control->adjustSize();
    const QRect ctl(QPoint(v.CtlLeft / kTwipsPerPixel, v.CtlTop / kTwipsPerPixel), control->size());
    QRect main(QPoint(v.MainLeft / kTwipsPerPixel, v.MainTop / kTwipsPerPixel), main_->size());
    const bool stored = v.MainTop != v.CtlTop || v.MainLeft != v.CtlLeft;
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
    auto make = [this](int index, int ms, std::function<void()> work, bool quitsOnShutdown) {
        timers_.at(index - 1) = std::make_unique<IndexedTimer>(handshake_, index, ms, std::move(work),
                                                               quitsOnShutdown, this);
    };
    auto* d = display_.get();
    make(kDrawInterval, session_->Settings().Values().GTimer, [this, d] {
        d->OnDrawInterval();
        panels_->OnDrawInterval();
    }, false);
    make(kFlash, kFlashMs, [d] { d->OnFlash(); }, true);
    make(kCtlSet, kCtlSetMs, [this] {
        control_->OnCtlSet();
        CheckRest();
    }, true);
    make(kCtlSet2, kCtlSet2Ms, [this] { control_->OnCtlSet2(); }, true);
    make(kCtlSet3, kCtlSet3Ms, [d] { d->OnCpuTick(); }, false);
    make(kMeterInterval, kMeterMs, [d] { d->OnMeterInterval(); }, true);
    // kWrdProc is the WRD window's own timer (WRDProc), in the handshake
    // since the session was made.
    // The control window's held-step timer and the display's GSDisp timing
    // are owned by those windows; these slots stay idle here.
    make(kPosChgProc, kPosChgMs, nullptr, false);
    make(kGsDisp, kGsDispMs, nullptr, false);
    make(kMWrdProcTimer, kMWrdProcMs, nullptr, false);
}

void SonfaraApp::ConnectChannel() {
    if (!channel_) return;
    connect(channel_, &InstanceChannel::filesHanded, this,
            [this](const QStringList& paths) { OpenRequest(paths, true); });
    connect(channel_, &InstanceChannel::wakeRequested, this, [this](const QStringList& paths) {
        requests_.Run([this, paths] { Wake(paths); });
    });
    connect(channel_, &InstanceChannel::exitRequested, this,
            [this] { RequestClose(kProgramClose); });
}

void SonfaraApp::ShowWindows() {
    main_->showNormal();
    control_.get()->showNormal();
    docking_->Reattach();
}

void SonfaraApp::StartDisplayTimers() {
    LeaveRest();
    if (!session_->Settings().Values().BltSw) return;
    for (int i : {kDrawInterval, kFlash, kMeterInterval}) Timer(i).Start();
}

// Idle rest: after a second with nothing playing and nothing moving on the
// display, DrawInterval and the drawing thread slow to the rest interval and
// Flash and MeterInterval (they only act on notes) stop. Playback, a song
// opening or any input in the windows brings them back at once.
void SonfaraApp::CheckRest() {
    const bool quiet = !state_.playing && !state_.stepping && display_->Settled();
    if (!quiet) {
        quietTicks_ = 0;
        LeaveRest();
        return;
    }
    if (resting_ || ++quietTicks_ < kQuietTicksBeforeRest) return;
    if (!Timer(kDrawInterval).Enabled()) return;  // low-load mode: nothing to slow
    resting_ = true;
    Timer(kFlash).Stop();
    Timer(kMeterInterval).Stop();
    Timer(kDrawInterval).SetIntervalMs(display::DisplayController::kRestIntervalMs);
    display_->SetResting(true);
}

void SonfaraApp::LeaveRest() {
    quietTicks_ = 0;
    if (!resting_) return;
    resting_ = false;
    display_->SetResting(false);
    Timer(kDrawInterval).SetIntervalMs(display_->GraphicsIntervalMs());
    if (!Timer(kDrawInterval).Enabled() || handshake_.StopTimers()) return;
    Timer(kFlash).Start();
    Timer(kMeterInterval).Start();
}

void SonfaraApp::StartTimers() {
    StartDisplayTimers();
    for (int i : {kCtlSet, kCtlSet2, kCtlSet3}) Timer(i).Start();
}

void SonfaraApp::StopTimers() {
    for (auto& t : timers_)
        if (t) t->Stop();
    wrdWindow_->StopTimer();
    control_->StepTimer().stop();
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
    session_->Settings().Edit([&](SettingsValues& v) {
        v.CtlTop = c.y() * kTwipsPerPixel;
        v.CtlLeft = c.x() * kTwipsPerPixel;
        v.MainTop = m.y() * kTwipsPerPixel;
        v.MainLeft = m.x() * kTwipsPerPixel;
        v.WindowType = panel;
        v.WindowStyle = full;
    });
}

// Folders open as their songs, as the folder command finds them.
void SonfaraApp::OpenPaths(const QStringList& paths) {
    if (paths.isEmpty()) return;
    std::vector<std::string> list;
    for (const QString& p : paths) list.push_back(QFile::encodeName(p).toStdString());
    const files::FileContext ctx{notifier_, work_.Path(), SystemCodePage()};
    list = files::WithFolderSongs(list, ctx);
    if (!list.empty()) session_->Library().OpenPaths(list);
}

// A hand-off or a desktop's open: run now, or after the dialog that is up.
// Returns the messages the open raised ("" when none, or when it waits).
QString SonfaraApp::OpenRequest(const QStringList& paths, bool raise) {
    auto failure = std::make_shared<QString>();
    requests_.Run([this, paths, raise, failure] {
        if (raise) Raise();
        const quint64 before = notifier_.Raised();
        const int attempts = session_->Library().OpenAttempts();
        OpenPaths(paths);
        if (notifier_.Raised() != before)
            *failure = QString::fromStdString(notifier_.LastText());
        else if (session_->Library().OpenAttempts() != attempts && !session_->Library().LastOpenOk())
            *failure = QString::fromStdString(session_->Library().LastError());  // the title label's text
    });
    return *failure;
}

// Dialogs still open when the program closes: their event loops return,
// and what opened them must not act on a session that is shut down.
void SonfaraApp::CloseDialogs() {
    notifier_.CloseAll();
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible()) dialog->reject();
    }
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
        StartTimers();
        session_->Presentation().AttachWrdPlugin();
        AddTray();
        }
    if (paths.isEmpty() && residentHidden_) {
        session_->Library().ClearSong();
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
    LeaveRest();  // a slowed DrawInterval would hold the exit handshake
    if (unloading_ || handshake_.ShuttingDown() || handshake_.StopTimers() || endTimer_.isActive())
        return;
    if (mode == kSessionEnd)
        CloseForSessionEnd();
    else if (session_->Settings().Values().AlwaysMove && mode != kTaskManager)
        HideResident();
    else
        BeginOrderlyExit();
}

void SonfaraApp::CloseForSessionEnd() {
    handshake_.SetShuttingDown(true);
    CloseDialogs();
    notifier_.SetQuiet(true);  // nobody is left to press OK: standard error
    StopTimers();
    display_->Shutdown();  // DrawThreadStop, then wait for DrawThreadDone
    if (channel_) channel_->StopListening();
    SaveWindowPlacement();
    session_->Shutdown();  // saves, silences, resets and closes the port
    RemoveTray();
    Finish();
}

void SonfaraApp::HideResident() {
    for (int i : {kDrawInterval, kFlash, kCtlSet, kCtlSet2, kCtlSet3, kMeterInterval})
        Timer(i).Stop();
    wrdWindow_->StopTimer();
    wrdWindow_->hide();
    RemoveTray();
    SaveWindowPlacement();
    main_->hide();
    control_.get()->hide();
    session_->Suspend();  // port silenced, reset and closed; settings saved
    residentHidden_ = true;
    if (channel_) channel_->SetResidentHidden(true);
    control_->ResetReadouts();
    mpris_->Refresh();
}

void SonfaraApp::BeginOrderlyExit() {
    CloseDialogs();
    display_->RequestDrawThreadStop();
    Timer(kMWrdProcTimer).Stop();
    if (channel_) channel_->StopListening();  // a start from now on is a player of its own
    RemoveTray();
    SaveWindowPlacement();
    session_->Shutdown();
    main_->hide();
    control_.get()->hide();
    wrdWindow_->hide();
    control_->StepTimer().stop();  // its window's own timer
    handshake_.BeginStop();
    endTimer_.start();
}

void SonfaraApp::EndTimerTick() {
    if (!handshake_.PollEnd()) return;
    endTimer_.stop();
    handshake_.SetShuttingDown(true);
    Finish();
}

void SonfaraApp::Finish() {
    display_->Shutdown();  // the thread has ended; this only joins it
    // SONFARA_DRAW_STATS=<file>: the drawing thread's pass times (the GUI cost benchmark).
    if (const QString stats = qEnvironmentVariable("SONFARA_DRAW_STATS"); !stats.isEmpty()) {
        QFile out(stats);
        const auto& t = display_->Thread();
        if (out.open(QIODevice::WriteOnly))
            out.write(QByteArray::fromStdString(display::PassStatsReport(t.PassWallTimes(), t.PassCpuTimes())));
    }
    unloading_ = true;
    finished_ = true;
    main_->AllowClose();
    main_->close();
    wrdWindow_->SetShuttingDown(true);
    wrdWindow_->close();
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

void SonfaraApp::ToggleMainRollUp() {
    panels_->SetRolledUp(!panels_->RolledUp());
    const int panel = panels_->SelectedPanel();
    const bool full = !panels_->RolledUp();
    session_->Settings().Edit([&](SettingsValues& v) {
        v.WindowType = panel;
        v.WindowStyle = full;
    });
}

void SonfaraApp::SetLowLoad(bool on) {
    LeaveRest();
    display_->SetDisplayOn(!on);
    for (int i : {kDrawInterval, kFlash, kMeterInterval}) {
        if (on)
            Timer(i).Stop();
        else if (!handshake_.ShuttingDown())
            Timer(i).Start();
    }
}

void SonfaraApp::SendNotice(const std::string& noticeBytes) {
    sonfara::SendNotice(lib_, session_->Settings().Values().SSTP, noticeBytes);
}

void SonfaraApp::ShowSettings() {
    if (!settingsDialog_) {
        settingsDialog_ = std::make_unique<dialogs::SettingsDialog>(
            session_->Settings(), PlatformShell(), lib_, dialogs::DefaultShortcutPlaces(),
            platform_.prompts);
    }
    settingsDialog_->Refill();
    RequestQueue::Hold hold(requests_);
    settingsDialog_->exec();  // an apply reaches the menus through OnStateChanged
}

void SonfaraApp::ShowVersion() {
    dialogs::VersionWindow window(dialogs::CollectVersions(lib_), control_.get());
    RequestQueue::Hold hold(requests_);
    window.exec();
}

void SonfaraApp::ShowListEditor(dialogs::ListMode list) {
    SessionListModel model(*session_, list);
    dialogs::ListDialog dialog(model, platform_.prompts, control_.get());
    RequestQueue::Hold hold(requests_);
    dialog.exec();
}

bool SonfaraApp::ShowWrdWindow() {
    if (!session_->Snapshot().wrdActive) return false;
    wrdWindow_->showNormal();
    wrdWindow_->raise();
    wrdWindow_->activateWindow();
    return true;
}

void SonfaraApp::OpenHelp() {
    const std::string page = JoinPath(ShippedDataFolder(ProgramFolder()), "help/index.htm");
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(page.c_str())));
}

std::string SonfaraApp::DocumentPath() {
    return panels_ ? panels_->Document()->FilePath() : std::string();
}

bool SonfaraApp::HasHomePage() const { return kHomePage[0] != '\0'; }

void SonfaraApp::OpenHomePage() {
    if (HasHomePage()) QDesktopServices::openUrl(QUrl(QString::fromUtf8(kHomePage)));
}

QWidget* SonfaraApp::ControlWidget() const { return control_ ? control_.get() : nullptr; }

bool SonfaraApp::Docked() const { return docking_ && docking_->Docked(); }

// --- Session hooks ----------------------------------------------------------------

void SonfaraApp::OnSongOpened(int, bool ok, const std::string&) {
    LeaveRest();
    if (ok && panels_) panels_->SongOpened();
}

void SonfaraApp::OnStateChanged(const SessionSnapshot& state) {
    state_ = state;
    if (mpris_) mpris_->Refresh();
}

// The tray and the drawing and WRD timers follow the settings, whichever
// way they changed.
void SonfaraApp::OnSettingsChanged(const SettingsValues& v) {
    if (!display_ || !tray_) return;  // still starting: the windows take the values when made
    if (v.TaskType != taskType_) {
        RemoveTray();
        taskType_ = v.TaskType;
        AddTray();
    }
    if (v.GTimer != display_->GraphicsIntervalMs()) {
        // The drawing thread keeps the rest interval while resting and takes
        // the new one when the rest ends.
        display_->SetGraphicsIntervalMs(v.GTimer);
        if (!resting_) Timer(kDrawInterval).SetIntervalMs(v.GTimer);
    }
    wrdWindow_->SetInterval(v.MWRDTimer);
}

void SonfaraApp::OnDotPicture() { display_->NotifyDotPicture(); }
void SonfaraApp::OnClearMeters() { display_->NotifyOutputReset(); }
void SonfaraApp::OnClearKeyboard() { display_->NotifyKeyboardCleared(); }

// --- Minimising and the start-up stamp -------------------------------------------------

bool SonfaraApp::eventFilter(QObject* watched, QEvent* event) {
    if (IsUserInput(event->type())) LeaveRest();
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

// SONFARA_SHOWN_STAMP=<file>: once both windows have painted, the wall-clock
// time in nanoseconds is written there (the start-up benchmark).
void SonfaraApp::StampWhenShown() {
    const QString file = qEnvironmentVariable("SONFARA_SHOWN_STAMP");
    if (file.isEmpty()) return;
    auto* watcher = new QTimer(this);
    watcher->setInterval(1);
    connect(watcher, &QTimer::timeout, this, [this, watcher, file] {
        QWindow* a = main_->windowHandle();
        QWindow* b = control_.get()->windowHandle();
        if (!a || !b || !a->isExposed() || !b->isExposed()) return;
        watcher->stop();
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
        QFile out(file);
        if (out.open(QIODevice::WriteOnly)) out.write(QByteArray::number(qint64(ns)) + '\n');
    });
    watcher->start();
}

}  // namespace sonfara::shell
