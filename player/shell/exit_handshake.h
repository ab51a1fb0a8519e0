// The orderly exit's handshake: every periodic timer with an index
// acknowledges the stop request from its own next tick, and the windows go
// only once every index and the drawing thread have acknowledged.
// Everything here runs on the UI thread.
#pragma once

#include <QObject>
#include <QTimer>
#include <array>
#include <functional>
#include <vector>

namespace sonfara::shell {

class IndexedTimer;

// The periodic timers by their exit slot, named by what they run. The
// numbers are the handshake's: every slot acknowledges on its own.
enum TimerSlot : int {
    kDisplayDraw = 1,      // knobs, level bars, note count, event panel, lyrics
    kNoteLamps = 2,        // the channel lamps flash
    kPositionKnob = 3,     // the control window's knob follows the song
    kControlReadouts = 4,  // time, bar and beat, the text line
    kCpuLoad = 5,          // the processor load meter
    kLevelDecay = 6,       // the level bars fall
    kWrdPresentation = 7,  // the WRD window runs its due events
    kHeldStep = 8,         // a held fast forward or rewind steps on
    kDotPicture = 9,       // a dot picture is shown and taken down
    kBuiltInWrd = 10,      // the built-in WRD presentation (idle)
};

class ExitHandshake {
  public:
    static constexpr int kSlots = 10;
    // A DrawInterval slower than this is stopped directly instead of waited for.
    static constexpr int kLongDrawIntervalMs = 1000;
    static constexpr int kEndTimerMs = 100;

    explicit ExitHandshake(std::function<bool()> drawThreadDone = [] { return true; });

    bool StopTimers() const { return stopTimers_; }
    bool ShuttingDown() const { return shuttingDown_; }
    void SetShuttingDown(bool on) { shuttingDown_ = on; }
    bool TimerStopped(int index) const;
    void Acknowledge(int index) { stopped_.at(index - 1) = true; }

    void Register(IndexedTimer* timer) { timers_.push_back(timer); }

    // Prepares the handshake: each indexed timer's slot is true when it is
    // already disabled; a long display draw and the dot picture stop at once.
    // Then StopTimers is set.
    void BeginStop();
    // Every slot and the drawing thread have acknowledged.
    bool Complete() const;
    // One EndTimer tick: on completion clears StopTimers and returns true.
    bool PollEnd();

  private:
    std::function<bool()> drawThreadDone_;
    std::array<bool, kSlots> stopped_{};
    std::vector<IndexedTimer*> timers_;
    bool stopTimers_ = false;
    bool shuttingDown_ = false;
};

// A QTimer whose handler first looks at the handshake: with StopTimers set
// it disables itself and acknowledges its index; with `quitsOnShutdown` it
// also disables itself (without acknowledging) while ShuttingDown is set.
class IndexedTimer : public QObject {
    Q_OBJECT
  public:
    IndexedTimer(ExitHandshake& handshake, int index, int intervalMs, std::function<void()> work,
                 bool quitsOnShutdown = false, QObject* parent = nullptr);

    int Index() const { return index_; }
    bool Enabled() const { return timer_.isActive(); }
    int IntervalMs() const { return timer_.interval(); }
    void SetIntervalMs(int ms) { timer_.setInterval(ms); }
    // For a slot whose ticks pace a presentation (WRDProc).
    void SetPrecise() { timer_.setTimerType(Qt::PreciseTimer); }
    // A window registers what its slot runs; nullptr when it goes.
    void SetWork(std::function<void()> work) { work_ = std::move(work); }
    void Start() { timer_.start(); }
    void Stop() { timer_.stop(); }
    // The handler; the QTimer calls it, tests call it by hand.
    void Tick();

  private:
    ExitHandshake& handshake_;
    int index_;
    bool quitsOnShutdown_;
    std::function<void()> work_;
    QTimer timer_;
};

}  // namespace sonfara::shell
