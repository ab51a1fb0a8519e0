#include "player/wrd/sequencer_link.h"

namespace sonfara::wrd {

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;
}

int32_t SequencerWrdClock::SongPositionMs() const {
    if (holding_.load(kRelaxed)) return heldMs_.load(kRelaxed);
    if (seq_.Paused()) return seq_.PausedPosMs();
    // A start (load, stop, repeat) waits for the tick that sets the time
    // base; until then the base still describes the previous run.
    if (seq_.Cursors().NextEvent(1) == 0) return 0;
    return seq_.PositionMs();
}

void SequencerWrdClock::Hold(int32_t posMs) {
    heldMs_.store(posMs, kRelaxed);
    holding_.store(true, kRelaxed);
}

void HeadlessWrdWindow::Present(const Surface& frame) {
    frame_ = frame;
    ++presented_;
}

WrdSequencerLink::WrdSequencerLink(sequencer::Sequencer& seq, const song::SongTable& song,
                                   WrdWindow& window, ExternalWrdPlayer* external,
                                   const GlyphSource* glyphs)
    : seq_(seq),
      song_(song),
      clock_(seq),
      runtime_(clock_, window, glyphs),
      presenter_(runtime_, external),
      owner_(std::this_thread::get_id()) {
    seq_.AddObserver(this);
}

WrdSequencerLink::~WrdSequencerLink() {
    seq_.RemoveObserver(this);
}

void WrdSequencerLink::UpdateFlags() {
    external_.store(presenter_.ExternalActive(), kRelaxed);
    builtin_.store(!presenter_.ExternalActive() && runtime_.Active(), kRelaxed);
}

void WrdSequencerLink::SongLoaded(const std::string& songPath, const WrdSettings& settings,
                                  bool externalEnabled) {
    // Whatever the previous song asked for is moot: the new script starts
    // on a cleared screen.
    resetRequested_.store(false, kRelaxed);
    rewindRequested_.store(false, kRelaxed);
    presenter_.SongLoaded(songPath, song_, settings, externalEnabled);
    lastPosMs_ = 0;
    UpdateFlags();
}

void WrdSequencerLink::SongUnloaded() {
    runtime_.Deactivate();
    resetRequested_.store(false, kRelaxed);
    rewindRequested_.store(false, kRelaxed);
    builtin_.store(false, kRelaxed);
    external_.store(false, kRelaxed);
    lastPosMs_ = 0;
}

void WrdSequencerLink::Tick() {
    // Acquire pairs with the hooks' release: what the timer thread wrote
    // before its request (the repeat's new time base) is seen here.
    const bool reset = resetRequested_.exchange(false, std::memory_order_acquire);
    const bool rewind = rewindRequested_.exchange(false, std::memory_order_acquire);
    if (reset) {
        // Song end: the repeat starts on a clear screen from event 1 (or
        // rewinds the plug-in).
        presenter_.SongRepeats();
        lastPosMs_ = 0;
    } else if (rewind) {
        presenter_.Stopped();
    }

    if (ExternalWrdActive()) {
        // The plug-in is driven by the tick alone; a paused song's tick
        // stands still, so pause and resume need no call of their own.
        presenter_.Timer(seq_.CurrentTick(), Division());
        return;
    }
    if (!runtime_.Active() || clock_.Paused()) return;  // a paused song keeps its frame
    // The song ended and the next one is on its way: nothing to perform.
    if (!seq_.TimerRunning() && seq_.Cursors().NextEvent(1) == 0) return;
    const int32_t pos = clock_.SongPositionMs();
    // The position moves backwards only when the song starts over without a
    // seek or a repeat (stop, then play): replay the script from the start
    // so the screen matches the position.
    if (pos < lastPosMs_ && !reset) runtime_.ClearWrdScreen();
    lastPosMs_ = pos;
    presenter_.Timer(seq_.CurrentTick(), Division());
}

void WrdSequencerLink::OnWrdScreenReset() {
    resetRequested_.store(true, std::memory_order_release);
}

void WrdSequencerLink::OnSeekRestart(int32_t posMs) {
    // A transport operation on the UI thread, with the sequencer timer
    // killed: the screen is redone at once. A repeat still pending is
    // superseded (the replay starts from a cleared screen).
    resetRequested_.store(false, kRelaxed);
    clock_.Hold(posMs);
    presenter_.Seeked(song_.TimeToTick(posMs), Division(), seq_.PortChanging());
    clock_.Release();
    lastPosMs_ = posMs;
}

void WrdSequencerLink::OnExternalWrdRestart(int32_t upToTick) {
    if (!OnOwnerThread()) {
        // Song repeat, on the timer thread: the next WRD tick rewinds.
        rewindRequested_.store(true, std::memory_order_release);
        return;
    }
    rewindRequested_.store(false, kRelaxed);
    if (upToTick > 0)
        presenter_.Seeked(upToTick, Division());  // rewind and catch up in one call
    else
        presenter_.Stopped();  // stop, or a seek to the start: rewind
}

}  // namespace sonfara::wrd
