// What the control window asks of the application around it: the other
// windows, the close request, the notices. Every hook is called on the GUI
// thread; the defaults do nothing, so a test or a preview needs no
// application.
#pragma once

#include <string>

#include "player/files/file_entry.h"

namespace sonfara::shell {

class ShellHooks {
  public:
    virtual ~ShellHooks() = default;

    // Close request with the exit mode (1: the ExitProgram menu entry).
    virtual void RequestClose(int mode) {}
    virtual void ShowSettings() {}  // modal
    // Around a modal dialog the control window runs itself (file choosers,
    // input boxes): requests from outside wait until it has returned.
    virtual void BeginModal() {}
    virtual void EndModal() {}
    // Where messages go (shown after the operation that raised them);
    // nullptr: the window opens its own box.
    virtual files::Notifier* Notices() { return nullptr; }
    virtual void ShowVersion() {}   // modal
    // The list dialog: 0 favourites, 1 the play list.
    virtual void ShowListEditor(int mode) {}
    // Shows and raises the WRD window when a presentation is active (the
    // built-in one or the external player); false when there is none, and
    // the control window then says so.
    virtual bool ShowWrdWindow() { return false; }
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
