#include "player/display/display_controller.h"

#include "player/platform/midi.h"

namespace sonfara::display {

DisplayController::DisplayController(DisplaySource& src, DisplayOptions options, QObject* parent)
    : QObject(parent),
      src_(src),
      options_(std::move(options)),
      keyboard_(std::make_unique<KeyboardSurface>(options_.dpr, options_.instLabel)),
      knobs_(options_.dpr),
      levels_(options_.dpr),
      thread_([this] { DrawPass(); }, options_.graphicsIntervalMs) {
    if (!options_.cpuPercent) options_.cpuPercent = [this] { return procStat_.ReadPercent(); };
}

DisplayController::~DisplayController() {
    Shutdown();
}

void DisplayController::Shutdown() {
    shuttingDown_.store(true);
    if (dotPicturePace_) dotPicturePace_(0);
    dotPicturePace_ = nullptr;
    thread_.Stop();
}

void DisplayController::SetGraphicsIntervalMs(int ms) {
    options_.graphicsIntervalMs = ms > 0 ? ms : 1;
    if (!resting_) thread_.SetIntervalMs(options_.graphicsIntervalMs);
}

bool DisplayController::Settled() const {
    if (src_.SoundingNotes() != 0 || dotPicture_.Enabled()) return false;
    for (int c = 1; c <= midi::kChannelCount; ++c) {
        const bool level = src_.Channel(c).Level.load(std::memory_order_relaxed) != 0;
        if (level || levels_.ShownLevel(c) != 0 || lamps_.Lit(c)) return false;
    }
    return true;
}

void DisplayController::SetResting(bool resting) {
    if (resting == resting_) return;
    resting_ = resting;
    thread_.SetIntervalMs(resting ? kRestIntervalMs : options_.graphicsIntervalMs);
}

void DisplayController::SetDisplayOn(bool on) {
    displayOn_.store(on);
}

bool DisplayController::DrawingAllowed() const {
    return !minimised_.load() && displayOn_.load() && panel_.load() == 0;
}

void DisplayController::DrawPass() {
    src_.CatchUp();
    QRect changed;
    if (keyboardResetPending_.exchange(false)) {
        keyboard_->Reset();
        changed = QRect(QPoint(0, 0), kKeyboardSize);
    }
    if (DrawingAllowed()) {
        changed |= keyboard_->DrawKeyboards(src_);
        changed |= keyboard_->UpdateChannelLabels(src_);
        changed |= keyboard_->UpdateTempoLabel(src_);
    }
    if (changed.isEmpty()) return;
    mailbox_.Publish(keyboard_->Image(), changed);
    QMetaObject::invokeMethod(this, &DisplayController::keyboardFrameReady, Qt::QueuedConnection);
}

void DisplayController::OnDrawInterval() {
    src_.CatchUp();
    if (minimised_.load()) return;
    if (levels_.DrawLevelMeters(src_)) emit metersChanged();
    if (panel_.load() != 0) return;
    if (noteCount_.Draw(src_.SoundingNotes())) emit noteCountChanged();
    const QRect knobs = knobs_.DrawControllerKnobs(src_);
    if (!knobs.isEmpty()) emit knobsChanged(knobs);
}

void DisplayController::OnMeterInterval() {
    if (!shuttingDown_.load()) src_.DecayLevels();
}

void DisplayController::OnFlash() {
    if (minimised_.load() || shuttingDown_.load()) return;
    src_.CatchUp();
    if (lamps_.Flash(src_)) emit lampsChanged();
}

void DisplayController::OnCpuTick() {
    if (cpu_.Update(options_.cpuPercent())) emit cpuLoadChanged();
}

void DisplayController::ScheduleDisplayBitmap() {
    dotPicture_.Schedule();
    SyncGsDispTimer();
}

void DisplayController::OnGsDispTick() {
    const bool wasShowing = levels_.BitmapShowing();
    dotPicture_.Tick(levels_, src_, displayOn_.load());
    SyncGsDispTimer();
    if (wasShowing || levels_.BitmapShowing()) emit metersChanged();
}

void DisplayController::SyncGsDispTimer() {
    if (!dotPicturePace_) return;
    // A running timer restarts, so a new picture starts over.
    const bool run = dotPicture_.Enabled() && !shuttingDown_.load();
    dotPicturePace_(run ? dotPicture_.IntervalMs() : 0);
}

void DisplayController::NotifyDotPicture() {
    QMetaObject::invokeMethod(this, &DisplayController::ScheduleDisplayBitmap,
                              Qt::QueuedConnection);
}

void DisplayController::NotifyOutputReset() {
    keyboardResetPending_.store(true);
    QMetaObject::invokeMethod(
        this,
        [this] {
            knobs_.Reset();
            emit knobsChanged(QRect(QPoint(0, 0), kKnobPanelSize));
        },
        Qt::QueuedConnection);
}

}  // namespace sonfara::display

namespace sonfara::display {

void DisplayOutputLink::OnDotPicture() {
    display_.NotifyDotPicture();
}
void DisplayOutputLink::OnClearMeters() {
    display_.NotifyOutputReset();
}

}  // namespace sonfara::display
