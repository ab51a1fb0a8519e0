// The program's dialogs and its WRD window over the running session: the
// settings, version and list dialogs (modal; requests from outside wait
// until each has returned), the WRD window with the source that feeds it
// from the session, and the end of whatever is still open when the program
// closes.
//
// Threads: UI thread; every member function is called there.
#pragma once

#include <memory>

#include "player/shell/app_platform.h"

class QWidget;

namespace sonfara::session {
struct AudioExportRequest;
class PlaybackSession;
}  // namespace sonfara::session
namespace sonfara::platform {
class SfrLibBinding;
}  // namespace sonfara::platform
namespace sonfara::settings {
struct SettingsValues;
}  // namespace sonfara::settings
namespace sonfara::dialogs {
enum class ListMode;
class ExportDialog;
class LibraryWindow;
class LyricsWindow;
class SettingsDialog;
}  // namespace sonfara::dialogs
namespace sonfara::wrd {
class WrdFrameSource;
class WrdWindowWidget;
}  // namespace sonfara::wrd

namespace sonfara::shell {

class MessageBoxNotifier;
class RequestQueue;

class DialogHost {
  public:
    DialogHost(platform::SfrLibBinding& lib, const AppPlatform& platform, RequestQueue& requests,
               MessageBoxNotifier& notifier);
    ~DialogHost();
    DialogHost(const DialogHost&) = delete;
    DialogHost& operator=(const DialogHost&) = delete;

    // The WRD window is made before the session, which presents into it.
    wrd::WrdWindowWidget& MakeWrdWindow();
    wrd::WrdWindowWidget* WrdWindow() const { return wrdWindow_.get(); }
    // The session the dialogs act on and the WRD window's frames come from.
    void AttachSession(session::PlaybackSession& session);
    // The window the dialogs belong to (the control window).
    void SetOwner(QWidget& owner);

    // Modal.
    void ShowSettings();
    void ShowVersion();
    void ShowListEditor(dialogs::ListMode list);
    // Shows and raises the WRD window while a presentation is active; false
    // when there is none.
    bool ShowWrdWindow();
    // The program closes: the message on screen and every open dialog go.
    void CloseDialogs();

    // The lyrics window: shown from the menu, fed the song's lyrics when a
    // song opens and its position on each drawing tick while it is shown.
    dialogs::LyricsWindow& Lyrics() const { return *lyricsWindow_; }
    void ShowLyricsWindow();
    // Its place and whether it is shown, from and into the settings (twips).
    void RestoreLyricsWindow(const settings::SettingsValues& v);
    void SaveLyricsWindow(settings::SettingsValues& v) const;

    // The song library window (表示 > ライブラリ): its rows play, join the
    // play list or the favourites through the session. Its place, columns
    // and whether it is shown go with the lyrics window's.
    dialogs::LibraryWindow& Library() const { return *libraryWindow_; }
    void ShowLibraryWindow();

    // An audio export in the background with its progress window; while
    // one runs, the window comes to the front instead. The end is told
    // through the notifier.
    void ExportAudio(const session::AudioExportRequest& request);
    // Brings the running export's window to the front; false when none runs.
    bool RaiseRunningExport();

  private:
    platform::SfrLibBinding& lib_;
    const AppPlatform& platform_;
    RequestQueue& requests_;
    MessageBoxNotifier& notifier_;
    session::PlaybackSession* session_ = nullptr;
    QWidget* owner_ = nullptr;
    std::unique_ptr<wrd::WrdWindowWidget> wrdWindow_;
    std::unique_ptr<wrd::WrdFrameSource> wrdSource_;
    std::unique_ptr<dialogs::SettingsDialog> settingsDialog_;
    std::unique_ptr<dialogs::LyricsWindow> lyricsWindow_;
    std::unique_ptr<dialogs::LibraryWindow> libraryWindow_;
    std::unique_ptr<dialogs::ExportDialog> exportDialog_;
};

}  // namespace sonfara::shell
