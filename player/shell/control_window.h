// The control window: the player's front panel with the transport buttons,
// the position knob, the readouts and the song labels, under the menu bar
// that carries every command (ControlMenus, control_menus.h). It drives the
// PlaybackSession and asks the application (ShellHooks) for everything
// outside itself.
//
// Threads: everything runs on the GUI thread, except OnModuleIndicator,
// which the session calls on its timer thread and which only queues the
// mark update.
#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <array>
#include <memory>
#include <string>

#include "player/session/session.h"
#include "player/shell/control_menus.h"
#include "player/shell/shell_hooks.h"
#include "player/shell/timer_table.h"
#include "player/ui/widgets.h"

class QAction;
class QMenu;

namespace sonfara::shell {

// "Let pending window events run" without taking new clicks re-entrantly.
void RunPendingEvents();

class ControlWindow : public QMainWindow, private session::SessionObserver {
    Q_OBJECT
  public:
    ControlWindow(session::PlaybackSession& session, ShellHooks& hooks, QWidget* parent = nullptr);
    ~ControlWindow() override;

    // The program's timers run the held fast forward / rewind step (500 ms)
    // and the one-shot mark update 10 ms after a module reset; the window
    // registers both handlers there and takes them back when it goes.
    void UseClock(TimerTable& clock);

    // Timer slots of the application's timers; each tick takes one
    // snapshot of the session and hands it to its readouts.
    void OnCtlSet(const session::SessionSnapshot& s);    // knob, every 100 ms
    void OnCtlSet2(const session::SessionSnapshot& s);   // readouts and text line, every 200 ms
    void OnMidiDisp(const session::SessionSnapshot& s);  // sound-module marks
    void OnStepTimer();                                  // one held step (the held-step slot)
    // The empty state of the display reset: blank readouts, unlit marks,
    // the knob at the start, the text line forgotten.
    void ResetReadouts();
    // No song (the wake without files): the readouts reset and the title,
    // file name, text line and module name empty.
    void ShowNoSong();

    // The bar display drawn by the application, placed at its rectangle
    // (the window takes ownership; nullptr removes it).
    void SetBarDisplay(QWidget* display);
    QWidget* BarDisplay() const { return barDisplay_; }

    // Pieces, for the application and tests.
    ui::PictureButton& Button(ui::ButtonKind kind) const {
        return *buttons_[static_cast<int>(kind)];
    }
    ui::DigitReadout& TimeReadout() const { return *time_; }
    ui::DigitReadout& PositionReadout() const { return *position_; }
    ui::MarkStrip& Marks() const { return *marks_; }
    ui::PositionKnob& Knob() const { return *knob_; }
    ui::LoadBar& LoadBar() const { return *loadBar_; }
    QLabel& TitleLabel() const { return *title_; }
    QLabel& FileNameLabel() const { return *fileName_; }
    QLabel& FormatLabel() const { return *format_; }
    QLabel& SpeedLabel() const { return *speed_; }
    QLabel& KeyLabel() const { return *key_; }
    QLabel& ModuleNameLabel() const { return *moduleName_; }  // MIDIName
    // Menu entries carry their control names as object names ("BltOff",
    // "MWRD_Emu", "Repeat2", "MIDIPortNum0", "FileList3", ...).
    QAction* Action(const QString& name) const;
    // Also opened by the tray icon's right click.
    QMenu* FileMenu() const { return menus_->Menu(MenuId::kFile); }

    // The window as it looks now, at its screen's pixel ratio (screenshots).
    QImage Grab();

    // Message boxes (caption "Sonfara"), shown after the operation in
    // progress has returned; tests replace them.
    virtual void ShowMessage(QMessageBox::Icon icon, const QString& text);

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    // SessionObserver, GUI thread
    void OnSongOpened(int index, bool ok, const std::string& titleText) override;
    void OnStoppedAtEnd() override;
    void OnStateChanged(const session::SessionSnapshot& state) override;
    void OnListChanged(session::SessionList which) override;
    void OnCatalogChanged() override;
    void OnSettingsChanged(const settings::SettingsValues& values) override;
    void OnNotice(const std::string& noticeBytes) override;
    // SessionObserver, timer thread
    void OnModuleIndicator() override;

    void BuildPanel();
    void ConnectButtons();
    void ShowLabels();
    void ShowLabels(const session::SessionSnapshot& s);
    void ShowLoading(bool loading);
    void ShowStep(const session::SessionSnapshot& s);
    void ShowAtStart();

    void OnPlay();
    void OnStop();
    void OnStepPress(bool forward);
    void OnStepRelease();
    void OnWrd();
    void OnSeekRequested(double fraction);

    session::PlaybackSession& session_;
    ShellHooks& hooks_;
    QWidget* panel_ = nullptr;
    QWidget* barDisplay_ = nullptr;
    std::array<ui::PictureButton*, ui::kButtonKindCount> buttons_{};
    ui::DigitReadout* time_ = nullptr;
    ui::DigitReadout* position_ = nullptr;
    ui::MarkStrip* marks_ = nullptr;
    ui::PositionKnob* knob_ = nullptr;
    QLabel *title_ = nullptr, *fileName_ = nullptr, *format_ = nullptr;
    ui::LoadBar* loadBar_ = nullptr;
    QLabel *speed_ = nullptr, *key_ = nullptr, *moduleName_ = nullptr;

    QPointer<TimerTable> clock_;
    bool stepping_ = false;
    int textEncoding_ = 0;  // the setting the title was read in
    std::string lastText_;  // the text line last shown

    std::unique_ptr<ControlMenus> menus_;
};

}  // namespace sonfara::shell
