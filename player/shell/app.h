// The player process: the start-up sequence, the three answers to a close
// request (the desktop session ending, the resident hide, the orderly exit)
// and the wiring of the session, the windows, the timer table
// (timer_table.h), the dialogs (dialog_host.h) and MPRIS. Lives on the UI
// thread; every member function is called there.
#pragma once

#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>

#include "player/files/work_folder.h"
#include "player/platform/priority.h"
#include "player/platform/sfrlib_binding.h"
#include "player/session/session.h"
#include "player/settings/settings_store.h"
#include "player/shell/app_platform.h"
#include "player/shell/benchmark_hooks.h"
#include "player/shell/dialog_host.h"
#include "player/shell/exit_handshake.h"
#include "player/shell/qt_platform.h"
#include "player/shell/shell_hooks.h"
#include "player/shell/timer_table.h"
#include "player/wrd/external_player.h"

namespace sonfara::display {
class DisplayController;
class DisplaySource;
}  // namespace sonfara::display
namespace sonfara::wrd {
class WrdWindowWidget;
}

namespace sonfara::shell {

class ControlWindow;
class Docking;
class InstanceChannel;
class MainPanels;
class MainWindow;
class MprisService;
class SessionMediaTarget;
class TrayIcon;

class SonfaraApp final : public QObject, public ShellHooks, private session::SessionObserver {
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
    void ShowSettings() override { dialogs_->ShowSettings(); }
    void BeginModal() override { requests_.HoldBack(); }
    void EndModal() override { requests_.Release(); }
    void ShowVersion() override { dialogs_->ShowVersion(); }
    files::Notifier* Notices() override { return &notifier_; }
    void ShowListEditor(dialogs::ListMode list) override { dialogs_->ShowListEditor(list); }
    bool ShowWrdWindow() override { return dialogs_->ShowWrdWindow(); }
    void ShowLyricsWindow() override { dialogs_->ShowLyricsWindow(); }
    void ShowLibraryWindow() override { dialogs_->ShowLibraryWindow(); }
    void ExportAudio(const session::AudioExportRequest& request) override;
    bool RaiseRunningExport() override { return dialogs_->RaiseRunningExport(); }
    void ToggleMainRollUp() override;
    void SetLowLoad(bool on) override { timers_.SetLowLoad(on); }
    void SendNotice(const std::string& noticeBytes) override;
    void OpenHelp() override;
    bool HasHomePage() const override;
    void OpenHomePage() override;
    std::string DocumentPath() override;

    // Called when the orderly exit or the session end has finished; the
    // default quits the event loop.
    std::function<void()> onFinished;

    // Inspection for tests.
    session::PlaybackSession& Session() { return *session_; }
    IndexedTimer& Timer(int index) { return timers_.Timer(index); }
    ExitHandshake& Handshake() { return timers_.Handshake(); }
    void EndTimerTick() { timers_.EndTimerTick(); }
    bool EndTimerActive() const { return timers_.EndTimerActive(); }
    bool ResidentHidden() const { return residentHidden_; }
    bool Finished() const { return finished_; }
    MainWindow* Main() const { return main_.get(); }
    MainPanels* Panels() const { return panels_.get(); }
    QWidget* ControlWidget() const;
    display::DisplayController* Display() const { return display_.get(); }
    bool Docked() const;
    wrd::WrdWindowWidget* WrdWindow() const { return dialogs_ ? dialogs_->WrdWindow() : nullptr; }
    MessageBoxNotifier& Boxes() { return notifier_; }
    const RequestQueue& Requests() const { return requests_; }
    MprisService* Mpris() const { return mpris_.get(); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // SessionObserver: UI thread
    void OnSongOpened(int index, bool ok, const std::string& titleText) override;
    void OnStateChanged(const session::SessionSnapshot& state) override;
    void OnFatalError() override { RequestClose(kProgramClose); }
    void OnSettingsChanged(const settings::SettingsValues& values) override;
    // SessionObserver: timer thread; they only post or set flags.
    void OnDotPicture() override;
    void OnClearMeters() override;

    void MakeSession();
    void MakeWindows();
    void MakeTimers();
    void PlaceWindows();
    void ConnectChannel();
    void ShowWindows();
    void AddTray();
    void RemoveTray();
    void SaveWindowPlacement();
    void OpenPaths(const QStringList& paths);
    QString OpenRequest(const QStringList& paths, bool raise);
    void Raise();
    void OnControlStateChanged();

    void CloseForSessionEnd();  // A
    void HideResident();        // B
    void BeginOrderlyExit();    // C
    void Finish();

    AppPlatform platform_;
    InstanceChannel* channel_;
    platform::SfrLibBinding lib_;
    MessageBoxNotifier notifier_;
    QtUiScheduler ui_{this};
    RequestQueue requests_{this};
    files::WorkFolder work_;
    std::unique_ptr<settings::SettingsStore> store_;
    platform::SystemProcessPriority priority_;
    // Made before the session, which presents into them, and gone after it.
    wrd::SharedLibraryWrdPlugin wrdPlugin_{platform_.wrdPluginFolders};
    std::unique_ptr<DialogHost> dialogs_;  // with the WRD window
    std::unique_ptr<session::PlaybackSession> session_;
    std::unique_ptr<display::DisplaySource> displaySource_;
    std::unique_ptr<display::DisplayController> display_;
    std::unique_ptr<MainWindow> main_;
    std::unique_ptr<MainPanels> panels_;  // its widgets belong to main_
    std::unique_ptr<ControlWindow> control_;
    std::unique_ptr<Docking> docking_;
    std::unique_ptr<TrayIcon> tray_;
    std::unique_ptr<SessionMediaTarget> media_;
    std::unique_ptr<MprisService> mpris_;
    BenchmarkHooks bench_;  // its watcher goes before the windows

    int taskType_ = 2;
    int textEncoding_ = 0;  // the setting the song's texts were last shown in
    bool unloading_ = false;
    bool residentHidden_ = false;
    session::SessionSnapshot state_;  // as the session last told it
    bool finished_ = false;
    bool windowsMinimised_ = false;
    // Gone first: no timer outlives what it ticks.
    TimerTable timers_{[this] { Finish(); }};
};

}  // namespace sonfara::shell
