// The player process: the start-up sequence, the periodic timers with their
// exit slots, and the three answers to a close request (the desktop session
// ending, the resident hide, the orderly exit). Lives on the UI thread;
// every member function is called there.
#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "player/files/work_folder.h"
#include "player/platform/clock.h"
#include "player/platform/midi_port.h"
#include "player/platform/priority.h"
#include "player/platform/sfrlib_binding.h"
#include "player/platform/timer.h"
#include "player/session/session.h"
#include "player/settings/settings_store.h"
#include "player/shell/exit_handshake.h"
#include "player/shell/qt_platform.h"
#include "player/shell/shell_hooks.h"
#include "player/wrd/external_player.h"

namespace sonfara::display {
class DisplayController;
class DisplaySource;
}
namespace sonfara::dialogs {
class Prompts;
class SettingsDialog;
}  // namespace sonfara::dialogs
namespace sonfara::wrd {
class WrdFrameSource;
class WrdWindowWidget;
}  // namespace sonfara::wrd

namespace sonfara::shell {

class ControlWindow;
class Docking;
class InstanceChannel;
class MainPanels;
class MainWindow;
class MprisService;
class SessionMediaTarget;
class TrayIcon;

// What the process runs on; tests give manual timers and a recording port.
struct AppPlatform {
    const Clock& clock;
    TimerService& timers;
    MidiOutputSystem& ports;
    // Message boxes go to standard error instead (tests).
    bool quietMessages = false;
    // Writes the freedesktop file-type registration at start-up.
    bool registerFileTypes = true;
    // Publishes the MPRIS service on the session bus.
    bool mpris = true;
    // The dialogs' message and input boxes; nullptr: the real ones.
    dialogs::Prompts* prompts = nullptr;
    // Where the WRD player plug-in is looked for; empty: the program's
    // folder and the system library folders.
    std::vector<std::string> wrdPluginFolders = {};
};

// The timers of the table, by their exit slot.
enum TimerIndex : int {
    kDrawInterval = 1,
    kFlash = 2,
    kCtlSet = 3,
    kCtlSet2 = 4,
    kCtlSet3 = 5,
    kMeterInterval = 6,
    kWrdProc = 7,
    kPosChgProc = 8,
    kGsDisp = 9,
    kMWrdProcTimer = 10,
};

class SonfaraApp final : public QObject, public ShellHooks, private SessionObserver {
    Q_OBJECT
  public:
    static constexpr CloseMode kUserClose = CloseMode::kUserClose;
    static constexpr CloseMode kProgramClose = CloseMode::kProgramClose;
    static constexpr CloseMode kSessionEnd = CloseMode::kSessionEnd;
    static constexpr CloseMode kTaskManager = CloseMode::kTaskManager;
    static constexpr int kTwipsPerPixel = 15;

    // `channel` (may be null) is already listening: the hand-off to a
    // running player happened before.
    SonfaraApp(AppPlatform platform, InstanceChannel* channel);
    ~SonfaraApp() override;

    // The start-up sequence after the instance check; shows both windows.
    // False when the work folder cannot be made (the message was shown).
    bool Start(const QStringList& paths);

    // A close request (QueryClose): path A for the session end, path B in
    // resident mode, else path C, whose EndTimer ends the process.
    void RequestClose(CloseMode mode) override;

    // A start while resident-hidden (the instance channel's wake): timers,
    // tray and windows back; with no paths the song display is emptied.
    void Wake(const QStringList& paths);

    // What the control window asks of the program.
    void ShowSettings() override;
    void BeginModal() override { requests_.HoldBack(); }
    void EndModal() override { requests_.Release(); }
    void ShowVersion() override;
    files::Notifier* Notices() override { return &notifier_; }
    void ShowListEditor(dialogs::ListMode list) override;
    bool ShowWrdWindow() override;
    void ToggleMainRollUp() override;
    void SetLowLoad(bool on) override;
    void SendNotice(const std::string& noticeBytes) override;
    void OpenHelp() override;
    bool HasHomePage() const override;
    void OpenHomePage() override;
    std::string DocumentPath() override;

    // Called when the orderly exit or the session end has finished; the
    // default quits the event loop.
    std::function<void()> onFinished;

    // Inspection for tests.
    PlaybackSession& Session() { return *session_; }
    IndexedTimer& Timer(int index) { return *timers_.at(index - 1); }
    ExitHandshake& Handshake() { return handshake_; }
    void EndTimerTick();
    bool EndTimerActive() const { return endTimer_.isActive(); }
    bool ResidentHidden() const { return residentHidden_; }
    bool Finished() const { return finished_; }
    MainWindow* Main() const { return main_.get(); }
    MainPanels* Panels() const { return panels_.get(); }
    QWidget* ControlWidget() const;
    display::DisplayController* Display() const { return display_.get(); }
    bool Docked() const;
    wrd::WrdWindowWidget* WrdWindow() const { return wrdWindow_.get(); }
    MessageBoxNotifier& Boxes() { return notifier_; }
    const RequestQueue& Requests() const { return requests_; }
    MprisService* Mpris() const { return mpris_.get(); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // SessionObserver: UI thread
    void OnSongOpened(int index, bool ok, const std::string& titleText) override;
    void OnStateChanged(const SessionSnapshot& state) override;
    void OnFatalError() override { RequestClose(kProgramClose); }
    void OnSettingsChanged(const SettingsValues& values) override;
    // SessionObserver: timer thread; they only post or set flags.
    void OnDotPicture() override;
    void OnClearMeters() override;
    void OnClearKeyboard() override;

    void MakeSession();
    void MakeWindows();
    void MakeTimers();
    void PlaceWindows();
    void ConnectChannel();
    void ShowWindows();
    void StartDisplayTimers();
    void CheckRest();
    void LeaveRest();
    void StartTimers();
    void StopTimers();
    void AddTray();
    void RemoveTray();
    void SaveWindowPlacement();
    void OpenPaths(const QStringList& paths);
    QString OpenRequest(const QStringList& paths, bool raise);
    void CloseDialogs();
    void Raise();
    void OnControlStateChanged();
    void StampWhenShown();

    void CloseForSessionEnd();  // A
    void HideResident();        // B
    void BeginOrderlyExit();    // C
    void Finish();

    AppPlatform platform_;
    InstanceChannel* channel_;
    SfrLibBinding lib_;
    MessageBoxNotifier notifier_;
    QtUiScheduler ui_{this};
    RequestQueue requests_{this};
    files::WorkFolder work_;
    std::unique_ptr<SettingsStore> store_;
    SystemProcessPriority priority_;
    // Made before the session, which presents into them, and gone after it.
    wrd::SharedLibraryWrdPlugin wrdPlugin_{platform_.wrdPluginFolders};
    std::unique_ptr<wrd::WrdWindowWidget> wrdWindow_;
    std::unique_ptr<wrd::WrdFrameSource> wrdSource_;
    std::unique_ptr<PlaybackSession> session_;
    std::unique_ptr<dialogs::SettingsDialog> settingsDialog_;
    std::unique_ptr<display::DisplaySource> displaySource_;
    std::unique_ptr<display::DisplayController> display_;
    std::unique_ptr<MainWindow> main_;
    std::unique_ptr<MainPanels> panels_;  // its widgets belong to main_
    std::unique_ptr<ControlWindow> control_;
    std::unique_ptr<Docking> docking_;
    std::unique_ptr<TrayIcon> tray_;
    std::unique_ptr<SessionMediaTarget> media_;
    std::unique_ptr<MprisService> mpris_;

    ExitHandshake handshake_;
    std::array<std::unique_ptr<IndexedTimer>, ExitHandshake::kSlots> timers_;
    QTimer endTimer_;
    int taskType_ = 2;
    bool unloading_ = false;
    bool residentHidden_ = false;
    // Idle rest (CheckRest): quiet CtlSet ticks counted up to the rest.
    static constexpr int kQuietTicksBeforeRest = 10;
    int quietTicks_ = 0;
    SessionSnapshot state_;  // as the session last told it
    bool resting_ = false;
    bool finished_ = false;
    bool windowsMinimised_ = false;
};

}  // namespace sonfara::shell
