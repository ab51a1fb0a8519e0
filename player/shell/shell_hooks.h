// What the control window asks of the application around it: the other
// windows, the close request, the notices. Every hook is called on the GUI
// thread; the defaults do nothing, so a test or a preview needs no
// application.
#pragma once

#include <string>

#include "player/files/file_entry.h"

namespace sonfara::session {
struct AudioExportRequest;
}  // namespace sonfara::session
namespace sonfara::dialogs {
enum class ListMode;  // list_dialog.h
}

namespace sonfara::shell {

// The reason of a close request.
enum class CloseMode {
    kUserClose = 0,     // a window's close box
    kProgramClose = 1,  // the exit menu entry, a second start's exit request, MPRIS Quit
    kSessionEnd = 2,    // the desktop session ends (signals, the session manager)
    kTaskManager = 3,   // killed from outside
};

class ShellHooks {
  public:
    virtual ~ShellHooks() = default;

    // A close request and its reason.
    virtual void RequestClose(CloseMode mode) {}
    virtual void ShowSettings() {}  // modal
    // Around a modal dialog the control window runs itself (file choosers,
    // input boxes): requests from outside wait until it has returned.
    virtual void BeginModal() {}
    virtual void EndModal() {}
    // Where messages go (shown after the operation that raised them);
    // nullptr: the window opens its own box.
    virtual files::Notifier* Notices() { return nullptr; }
    virtual void ShowVersion() {}  // modal
    // The list dialog over the favourites or the play list.
    virtual void ShowListEditor(dialogs::ListMode list) {}
    // Shows and raises the WRD window when a presentation is active (the
    // built-in one or the external player); false when there is none, and
    // the control window then says so.
    virtual bool ShowWrdWindow() { return false; }
    // Shows and raises the lyrics window (with or without lyrics to show).
    virtual void ShowLyricsWindow() {}
    // Shows and raises the song library window.
    virtual void ShowLibraryWindow() {}
    // Renders a song to an audio file in the background with a progress
    // window (the program adds its shaping folders and work folder).
    virtual void ExportAudio(const session::AudioExportRequest& request) {}
    // While an export runs: brings its window to the front and returns
    // true, so a second export is not asked for at all.
    virtual bool RaiseRunningExport() { return false; }
    // The main window's roll-up toggle (the window-layout button).
    virtual void ToggleMainRollUp() {}
    // Low-load mode on: the display timers stop and nothing is drawn.
    virtual void SetLowLoad(bool on) {}
    // Every notice for the desktop companion (code-page bytes): the load
    // notices of the session and a "♪" text line when it is first shown.
    virtual void SendNotice(const std::string& bytes) {}
    virtual void OpenHelp() {}
    // The product's web page; its menu item shows only when there is one.
    virtual bool HasHomePage() const { return false; }
    virtual void OpenHomePage() {}
    // The file the main window's document panel shows (empty: none), for the
    // text-editor launch entry.
    virtual std::string DocumentPath() { return {}; }
};

}  // namespace sonfara::shell
