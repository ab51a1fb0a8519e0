// The program's GUI timers by their exit slot, with the exit handshake they
// take part in, the EndTimer that waits for it, and the idle rest of the
// display timers. The windows register their handlers here instead of
// owning timers; the WRD window runs in its slot through WrdTimerSlot.
//
// Threads: UI thread; every member function is called there.
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>

#include "player/shell/exit_handshake.h"

namespace sonfara::display {
class DisplayController;
}
namespace sonfara::wrd {
class WrdWindowWidget;
}

namespace sonfara::shell {

class TimerTable final : public QObject {
    Q_OBJECT
  public:
    // What the timers run beside the display's own handlers.
    struct Work {
        std::function<void()> displayDraw;   // after the display's
        std::function<void()> positionKnob;  // before the idle-rest check
        std::function<void()> controlReadouts;
        // A song plays or a step is held: the display does not rest.
        std::function<bool()> busy;
    };

    // `exitComplete` runs once EndTimer found every slot and the drawing
    // thread acknowledged.
    explicit TimerTable(std::function<void()> exitComplete, QObject* parent = nullptr);
    ~TimerTable() override;

    // Makes the display's timers over `display`, the display draw at
    // `graphicsIntervalMs`.
    void Make(display::DisplayController& display, int graphicsIntervalMs, Work work);
    // The WRD window's WRDProc in its slot (lent to the window, which starts
    // and stops it as the presentation asks).
    void AttachWrdWindow(wrd::WrdWindowWidget& window);
    // A window's handler for its slot (the held step); nullptr when it goes.
    void SetWork(int index, std::function<void()> work);
    // The sound-module marks' update, once, 10 ms after it is asked for
    // (no slot: nothing waits on it).
    void SetModuleMarksWork(std::function<void()> work);
    void StartModuleMarks() { moduleMarks_.start(); }
    bool ModuleMarksPending() const { return moduleMarks_.isActive(); }

    IndexedTimer& Timer(int index) { return *timers_.at(index - 1); }
    ExitHandshake& Handshake() { return handshake_; }
    // An exit is under way: nothing may start a second one.
    bool Closing() const;
    bool EndTimerActive() const { return endTimer_.isActive(); }

    // The display timers (unless `displayOn` is false: low-load mode) and
    // CtlSet, CTLSet2, CTLSet3; a rest ends.
    void Start(bool displayOn);
    // Low-load mode: the display stops drawing and its timers stop; off,
    // they run again (not while shutting down).
    void SetLowLoad(bool on);
    // A new graphics interval for the drawing thread and DrawInterval.
    void SetGraphicsInterval(int ms);
    // Input, playback or a song opening: the table's intervals at once.
    void LeaveRest();

    // The close paths' parts: the session end stops everything at once
    // (ShuttingDown); the resident hide stops slots 1 to 7; the orderly exit
    // asks every timer to acknowledge and starts EndTimer.
    void ShutDown();
    void StopForHide();
    void BeginExit();
    // Every timer of the table.
    void StopAll();
    // One EndTimer tick (tests call it by hand).
    void EndTimerTick();

  private:
    class WrdSlot;
    void CheckRest();

    std::function<void()> exitComplete_;
    ExitHandshake handshake_;
    std::array<std::unique_ptr<IndexedTimer>, ExitHandshake::kSlots> timers_;
    QTimer endTimer_;
    QTimer moduleMarks_;
    std::function<void()> moduleMarksWork_;
    display::DisplayController* display_ = nullptr;
    std::unique_ptr<WrdSlot> wrdSlot_;
    QPointer<wrd::WrdWindowWidget> wrdWindow_;  // lent wrdSlot_
    std::function<bool()> busy_;
    // Idle rest (CheckRest): quiet CtlSet ticks counted up to the rest.
    static constexpr int kQuietTicksBeforeRest = 10;
    int quietTicks_ = 0;
    bool resting_ = false;
};

}  // namespace sonfara::shell
