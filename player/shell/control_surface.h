// What the program shell needs of the control window "Sonfara": its widget,
// the handlers that the shell's timers run, and the readout reset, so the
// start-up, exit and tray code depends on this alone. UI thread only.
#pragma once

class QMenu;
class QTimer;
class QWidget;

namespace sonfara::shell {

class ControlSurface {
  public:
    virtual ~ControlSurface() = default;
    virtual QWidget* Widget() = 0;
    // The held fast-forward/rewind timer (mPosChgProc) when the window owns
    // one; the exit handshake stops it. nullptr: none.
    virtual QTimer* StepTimer() { return nullptr; }
    virtual void OnCtlSet() = 0;    // CtlSet, every 100 ms: the position knob
    virtual void OnCtlSet2() = 0;   // CTLSet2, every 200 ms: the readouts
    virtual void ResetReadouts() = 0;
    // No song any more: the readouts reset and the song's labels emptied.
    virtual void ShowNoSong() { ResetReadouts(); }
    // The file menu, also opened by the tray icon; nullptr: none yet.
    virtual QMenu* FileMenu() { return nullptr; }
    // The menus' check marks again after the settings changed.
    virtual void SyncMenusWithSettings() {}
};

}  // namespace sonfara::shell
