#include "player/shell/timer_table.h"

#include "player/dialogs/wrd_window.h"
#include "player/display/display_controller.h"

namespace sonfara::shell {
namespace {

constexpr int kPositionKnobMs = 100;
constexpr int kControlReadoutsMs = 200;
constexpr int kCpuLoadMs = 500;
constexpr int kLevelDecayMs = 100;
constexpr int kNoteLampsMs = 100;
constexpr int kHeldStepMs = 500;
constexpr int kDotPictureMs = 3000;
constexpr int kBuiltInWrdMs = 100;
constexpr int kWrdPresentationMs = 50;  // until the window gives MWRDTimer
constexpr int kModuleMarksMs = 10;

// The timers the display needs only while it draws.
constexpr int kDisplayTimers[] = {kDisplayDraw, kNoteLamps, kLevelDecay};

}  // namespace

// The WRD window's view of its slot. Once the exit has asked the timers to
// stop, the presentation cannot start it again.
class TimerTable::WrdSlot final : public wrd::WrdTimerSlot {
  public:
    WrdSlot(IndexedTimer& timer, const ExitHandshake& handshake)
        : timer_(timer), handshake_(handshake) {}
    void Start() override {
        if (!handshake_.StopTimers() && !exited_) timer_.Start();
    }
    void Stop() override { timer_.Stop(); }
    bool Active() const override { return timer_.Enabled(); }
    void SetIntervalMs(int ms) override { timer_.SetIntervalMs(ms); }
    void MarkExited() { exited_ = true; }

  private:
    IndexedTimer& timer_;
    const ExitHandshake& handshake_;
    bool exited_ = false;
};

TimerTable::TimerTable(std::function<void()> exitComplete, QObject* parent)
    : QObject(parent),
      exitComplete_(std::move(exitComplete)),
      handshake_([this] { return !display_ || display_->DrawThreadDone(); }) {
    endTimer_.setInterval(ExitHandshake::kEndTimerMs);
    connect(&endTimer_, &QTimer::timeout, this, &TimerTable::EndTimerTick);
    // The windows' slots exist from the start so a window can register its
    // handler before the display's are bound.
    auto make = [this](int index, int ms) {
        timers_.at(index - 1) =
            std::make_unique<IndexedTimer>(handshake_, index, ms, nullptr, false, this);
    };
    make(kHeldStep, kHeldStepMs);
    make(kDotPicture, kDotPictureMs);
    make(kBuiltInWrd, kBuiltInWrdMs);
    make(kWrdPresentation, kWrdPresentationMs);
    Timer(kWrdPresentation).SetPrecise();
    moduleMarks_.setSingleShot(true);
    moduleMarks_.setInterval(kModuleMarksMs);
    connect(&moduleMarks_, &QTimer::timeout, this, [this] {
        if (moduleMarksWork_) moduleMarksWork_();
    });
}

// The window may outlive the table: it keeps no slot that is gone.
TimerTable::~TimerTable() {
    if (wrdWindow_) wrdWindow_->UseTimerSlot(nullptr);
}

void TimerTable::SetWork(int index, std::function<void()> work) {
    Timer(index).SetWork(std::move(work));
}

void TimerTable::SetModuleMarksWork(std::function<void()> work) {
    moduleMarksWork_ = std::move(work);
    if (!moduleMarksWork_) moduleMarks_.stop();
}

void TimerTable::Make(display::DisplayController& display, int graphicsIntervalMs, Work work) {
    display_ = &display;
    busy_ = std::move(work.busy);
    // `quits`: the timer also ends itself on ShuttingDown, unacknowledged.
    auto make = [this](int index, int ms, bool quits, std::function<void()> run) {
        timers_.at(index - 1) =
            std::make_unique<IndexedTimer>(handshake_, index, ms, std::move(run), quits, this);
    };
    auto* d = &display;
    make(kDisplayDraw, graphicsIntervalMs, false, [d, draw = std::move(work.displayDraw)] {
        d->OnDrawInterval();
        draw();
    });
    make(kNoteLamps, kNoteLampsMs, true, [d] { d->OnFlash(); });
    make(kPositionKnob, kPositionKnobMs, true, [this, knob = std::move(work.positionKnob)] {
        knob();
        CheckRest();
    });
    make(kControlReadouts, kControlReadoutsMs, true, std::move(work.controlReadouts));
    make(kCpuLoad, kCpuLoadMs, false, [d] { d->OnCpuTick(); });
    make(kLevelDecay, kLevelDecayMs, true, [d] { d->OnMeterInterval(); });
    // The dot picture asks for its pace; each ask starts the slot over.
    Timer(kDotPicture).SetWork([d] { d->OnGsDispTick(); });
    display.SetDotPicturePace([this](int ms) {
        IndexedTimer& t = Timer(kDotPicture);
        if (ms <= 0) {
            t.Stop();
            return;
        }
        t.SetIntervalMs(ms);
        t.Start();
    });
    // kWrdPresentation runs the WRD window (AttachWrdWindow); the held step
    // is the control window's (UseClock); the built-in WRD slot stays idle.
}

void TimerTable::AttachWrdWindow(wrd::WrdWindowWidget& window) {
    IndexedTimer& timer = Timer(kWrdPresentation);
    wrdWindow_ = &window;
    timer.SetWork([w = wrdWindow_] {
        if (w) w->OnTimer();
    });
    wrdSlot_ = std::make_unique<WrdSlot>(timer, handshake_);
    window.UseTimerSlot(wrdSlot_.get());
}

bool TimerTable::Closing() const {
    return handshake_.ShuttingDown() || handshake_.StopTimers() || endTimer_.isActive();
}

void TimerTable::Start(bool displayOn) {
    LeaveRest();
    if (displayOn)
        for (int i : kDisplayTimers) Timer(i).Start();
    for (int i : {kPositionKnob, kControlReadouts, kCpuLoad}) Timer(i).Start();
}

void TimerTable::SetLowLoad(bool on) {
    LeaveRest();
    display_->SetDisplayOn(!on);
    for (int i : kDisplayTimers) {
        if (on)
            Timer(i).Stop();
        else if (!handshake_.ShuttingDown())
            Timer(i).Start();
    }
}

// While resting both keep the rest interval and take the new one when the
// rest ends.
void TimerTable::SetGraphicsInterval(int ms) {
    display_->SetGraphicsIntervalMs(ms);
    if (!resting_) Timer(kDisplayDraw).SetIntervalMs(ms);
}

// Idle rest: after a second with nothing playing and nothing moving on the
// display, DrawInterval and the drawing thread slow to the rest interval and
// Flash and MeterInterval (they only act on notes) stop. Playback, a song
// opening or any input in the windows brings them back at once.
void TimerTable::CheckRest() {
    const bool quiet = !busy_() && display_->Settled();
    if (!quiet) {
        quietTicks_ = 0;
        LeaveRest();
        return;
    }
    if (resting_ || ++quietTicks_ < kQuietTicksBeforeRest) return;
    if (!Timer(kDisplayDraw).Enabled()) return;  // low-load mode: nothing to slow
    resting_ = true;
    Timer(kNoteLamps).Stop();
    Timer(kLevelDecay).Stop();
    Timer(kDisplayDraw).SetIntervalMs(display::DisplayController::kRestIntervalMs);
    display_->SetResting(true);
}

void TimerTable::LeaveRest() {
    quietTicks_ = 0;
    if (!resting_) return;
    resting_ = false;
    display_->SetResting(false);
    Timer(kDisplayDraw).SetIntervalMs(display_->GraphicsIntervalMs());
    if (!Timer(kDisplayDraw).Enabled() || handshake_.StopTimers()) return;
    Timer(kNoteLamps).Start();
    Timer(kLevelDecay).Start();
}

void TimerTable::ShutDown() {
    handshake_.SetShuttingDown(true);
    StopAll();
}

void TimerTable::StopForHide() {
    for (int i : {kDisplayDraw, kNoteLamps, kPositionKnob, kControlReadouts, kCpuLoad, kLevelDecay,
                  kWrdPresentation})
        Timer(i).Stop();
}

// MWRDProcTimer and the held step stop at once; every other running timer
// acknowledges from its next tick, which EndTimer waits for.
void TimerTable::BeginExit() {
    Timer(kBuiltInWrd).Stop();
    Timer(kHeldStep).Stop();
    handshake_.BeginStop();
    endTimer_.start();
}

void TimerTable::StopAll() {
    for (auto& t : timers_)
        if (t) t->Stop();
}

void TimerTable::EndTimerTick() {
    if (!handshake_.PollEnd()) return;
    endTimer_.stop();
    handshake_.SetShuttingDown(true);
    if (wrdSlot_) wrdSlot_->MarkExited();
    exitComplete_();
}

}  // namespace sonfara::shell
