// Joins the WRD presentation to the sequencer: the song position the
// runtime reads, the sequencer's WRD hooks, and the WRD window timer.
//
// Threads. The runtime, the plug-in and the surfaces belong to the UI thread
// (the thread that constructs the link). The sequencer calls
// OnWrdScreenReset, and at a song repeat OnExternalWrdRestart, on its timer
// thread: those calls only record a request in an atomic flag, which the
// next WRD timer tick (Tick, UI thread) acts on. Every other hook comes from
// a transport operation on the UI thread, with the sequencer timer killed,
// and acts at once. The sequencer asks BuiltinWrdActive/ExternalWrdActive on
// its timer thread; they read atomic copies set when a song is loaded.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "player/sequencer/sequencer.h"
#include "player/song/song_table.h"
#include "player/wrd/external_player.h"
#include "player/wrd/runtime.h"

namespace sonfara::wrd {

// The song position over the sequencer's time base. Reads relaxed atomics
// only, so any thread may ask while the timer thread runs.
class SequencerWrdClock final : public WrdClock {
  public:
    explicit SequencerWrdClock(const sequencer::Sequencer& seq) : seq_(seq) {}

    // The paused position, 0 while a start waits for its first tick (the
    // time base still holds the previous run), else the running position.
    int32_t SongPositionMs() const override;
    bool Paused() const override { return seq_.Paused(); }

    // During a seek the hook runs before the sequencer has set its whole
    // time base; the new position is held here meanwhile.
    void Hold(int32_t posMs);
    void Release() { holding_.store(false, std::memory_order_relaxed); }

  private:
    const sequencer::Sequencer& seq_;
    std::atomic<bool> holding_{false};
    std::atomic<int32_t> heldMs_{0};
};

// A WRD window without a screen: keeps the last presented frame and what it
// was asked to do (tests and the command line).
class HeadlessWrdWindow final : public WrdWindow {
  public:
    bool SetUp() override { return setUpOk; }
    void Show() override { visible_ = true; }
    void Hide() override { visible_ = false; }
    void StartTimer() override { timerRunning_ = true; }
    void StopTimer() override { timerRunning_ = false; }
    void Present(const Surface& frame) override;

    const Surface& Frame() const { return frame_; }
    int Presented() const { return presented_; }
    bool Visible() const { return visible_; }
    bool TimerRunning() const { return timerRunning_; }

    bool setUpOk = true;

  private:
    Surface frame_{kFrameWidth, kFrameHeight};
    int presented_ = 0;
    bool visible_ = false;
    bool timerRunning_ = false;
};

// The presentation of one player: runtime, presenter (with the plug-in link
// when given) and the sequencer observer. Construct and use it on the UI
// thread; it registers itself with the sequencer and leaves on destruction.
class WrdSequencerLink final : public sequencer::SequencerObserver {
  public:
    WrdSequencerLink(sequencer::Sequencer& seq, const song::SongTable& song, WrdWindow& window,
                     ExternalWrdPlayer* external = nullptr, const GlyphSource* glyphs = nullptr);
    ~WrdSequencerLink() override;
    WrdSequencerLink(const WrdSequencerLink&) = delete;
    WrdSequencerLink& operator=(const WrdSequencerLink&) = delete;

    // After a song has been loaded: chooses the plug-in or the built-in
    // interpreter and loads the script beside `songPath`.
    void SongLoaded(const std::string& songPath, const WrdSettings& settings = {},
                    bool externalEnabled = true);
    // A song failed to load: nothing is presented until the next one.
    void SongUnloaded();
    // The WRD window timer (UI thread, every MWRDTimer ms): acts on the
    // requests of the timer thread, then runs due events (built-in) or
    // hands the position to the plug-in. Paused songs keep their frame.
    void Tick();

    WrdRuntime& Runtime() { return runtime_; }
    const SequencerWrdClock& Clock() const { return clock_; }

    // SequencerObserver
    bool BuiltinWrdActive() const override { return builtin_.load(std::memory_order_relaxed); }
    bool ExternalWrdActive() const override { return external_.load(std::memory_order_relaxed); }
    void OnWrdScreenReset() override;
    void OnSeekRestart(int32_t posMs) override;
    void OnExternalWrdRestart(int32_t upToTick) override;
    void OnExternalWrdPause() override {}
    void OnExternalWrdResume() override {}

  private:
    bool OnOwnerThread() const { return std::this_thread::get_id() == owner_; }
    void UpdateFlags();
    int32_t Division() const { return song_.TicksPerQuarter(); }

    sequencer::Sequencer& seq_;
    const song::SongTable& song_;
    SequencerWrdClock clock_;
    WrdRuntime runtime_;
    WrdPresenter presenter_;
    const std::thread::id owner_;

    std::atomic<bool> builtin_{false};
    std::atomic<bool> external_{false};
    std::atomic<bool> resetRequested_{false};
    std::atomic<bool> rewindRequested_{false};
    // Position the WRD timer last saw while playing (UI thread only).
    int32_t lastPosMs_ = 0;
};

}  // namespace sonfara::wrd
