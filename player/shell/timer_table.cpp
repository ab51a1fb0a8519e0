#include "player/shell/timer_table.h"

#include "player/dialogs/wrd_window.h"
#include "player/display/display_controller.h"

namespace sonfara::shell {
namespace {

constexpr int kCtlSetMs = 100;
constexpr int kCtlSet2Ms = 200;
constexpr int kCtlSet3Ms = 500;
constexpr int kMeterMs = 100;
constexpr int kFlashMs = 100;
constexpr int kPosChgMs = 500;
constexpr int kGsDispMs = 3000;
constexpr int kMWrdProcMs = 100;

// The timers the display needs only while it draws.
constexpr int kDisplayTimers[] = {kDrawInterval, kFlash, kMeterInterval};

}  // namespace

TimerTable::TimerTable(std::function<void()> exitComplete, QObject* parent)
    : QObject(parent),
      exitComplete_(std::move(exitComplete)),
      handshake_([this] { return !display_ || display_->DrawThreadDone(); }) {
    endTimer_.setInterval(ExitHandshake::kEndTimerMs);
    connect(&endTimer_, &QTimer::timeout, this, &TimerTable::EndTimerTick);
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
    make(kDrawInterval, graphicsIntervalMs, false, [d, draw = std::move(work.drawInterval)] {
        d->OnDrawInterval();
        draw();
    });
    make(kFlash, kFlashMs, true, [d] { d->OnFlash(); });
    make(kCtlSet, kCtlSetMs, true, [this, ctlSet = std::move(work.ctlSet)] {
        ctlSet();
        CheckRest();
    });
    make(kCtlSet2, kCtlSet2Ms, true, std::move(work.ctlSet2));
    make(kCtlSet3, kCtlSet3Ms, false, [d] { d->OnCpuTick(); });
    make(kMeterInterval, kMeterMs, true, [d] { d->OnMeterInterval(); });
    // kWrdProc is the WRD window's own timer (AttachWrdWindow).
    // The control window's held-step timer and the display's GSDisp timing
    // are owned by those windows; these slots stay idle here.
    make(kPosChgProc, kPosChgMs, false, nullptr);
    make(kGsDisp, kGsDispMs, false, nullptr);
    make(kMWrdProcTimer, kMWrdProcMs, false, nullptr);
}

void TimerTable::AttachWrdWindow(wrd::WrdWindowWidget& window) {
    wrdWindow_ = &window;
    handshake_.RegisterExternal(
        kWrdProc, [w = &window] { w->RequestStop(); },
        [w = &window] { return w->StopAcknowledged(); });
}

void TimerTable::AttachStepTimer(QTimer& timer) {
    stepTimer_ = &timer;
}

bool TimerTable::Closing() const {
    return handshake_.ShuttingDown() || handshake_.StopTimers() || endTimer_.isActive();
}

void TimerTable::Start(bool displayOn) {
    LeaveRest();
    if (displayOn)
        for (int i : kDisplayTimers) Timer(i).Start();
    for (int i : {kCtlSet, kCtlSet2, kCtlSet3}) Timer(i).Start();
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
    if (!resting_) Timer(kDrawInterval).SetIntervalMs(ms);
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
    if (!Timer(kDrawInterval).Enabled()) return;  // low-load mode: nothing to slow
    resting_ = true;
    Timer(kFlash).Stop();
    Timer(kMeterInterval).Stop();
    Timer(kDrawInterval).SetIntervalMs(display::DisplayController::kRestIntervalMs);
    display_->SetResting(true);
}

void TimerTable::LeaveRest() {
    quietTicks_ = 0;
    if (!resting_) return;
    resting_ = false;
    display_->SetResting(false);
    Timer(kDrawInterval).SetIntervalMs(display_->GraphicsIntervalMs());
    if (!Timer(kDrawInterval).Enabled() || handshake_.StopTimers()) return;
    Timer(kFlash).Start();
    Timer(kMeterInterval).Start();
}

void TimerTable::ShutDown() {
    handshake_.SetShuttingDown(true);
    StopAll();
}

void TimerTable::StopForHide() {
    for (int i : {kDrawInterval, kFlash, kCtlSet, kCtlSet2, kCtlSet3, kMeterInterval})
        Timer(i).Stop();
    if (wrdWindow_) wrdWindow_->StopTimer();
}

// MWRDProcTimer and the held step stop at once; every other running timer
// acknowledges from its next tick, which EndTimer waits for.
void TimerTable::BeginExit() {
    Timer(kMWrdProcTimer).Stop();
    if (stepTimer_) stepTimer_->stop();
    handshake_.BeginStop();
    endTimer_.start();
}

void TimerTable::StopAll() {
    for (auto& t : timers_)
        if (t) t->Stop();
    if (wrdWindow_) wrdWindow_->StopTimer();
    if (stepTimer_) stepTimer_->stop();
}

void TimerTable::EndTimerTick() {
    if (!handshake_.PollEnd()) return;
    endTimer_.stop();
    handshake_.SetShuttingDown(true);
    exitComplete_();
}

}  // namespace sonfara::shell
