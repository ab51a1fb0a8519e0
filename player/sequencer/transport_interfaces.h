// What the sequencer reaches outside itself: the UI thread (one-shot
// actions), the play list, the song-opening pipeline and the WRD presenters.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

namespace sonfara::sequencer {

// Runs an action later on the UI thread. The GUI queues it into its event
// loop; tests and the command line run the queue themselves.
class UiScheduler {
  public:
    virtual ~UiScheduler() = default;
    virtual void Post(std::function<void()> action) = 0;
};

class ManualUiScheduler final : public UiScheduler {
  public:
    void Post(std::function<void()> action) override;
    // Runs every queued action (also those queued meanwhile); returns how many.
    int RunPending();
    size_t Pending() const;

  private:
    mutable std::mutex mu_;
    std::deque<std::function<void()>> queue_;
};

// The order of songs the sequencer steps through at a song's end, next and
// previous (the play list's): count and the 1-based entry playing.
class PlayOrder {
  public:
    virtual ~PlayOrder() = default;
    virtual int Count() const = 0;
    virtual int Index() const = 0;
    virtual void SetIndex(int index) = 0;
};

// The two one-shot UI actions the tick starts at the end of a song.
class TransportHooks {
  public:
    virtual ~TransportHooks() = default;
    // Loads and plays the song at the play list's index.
    virtual void OpenSMFProc() = 0;
    // The stop-at-end action: stops the song.
    virtual void EtcSyrTimer() = 0;
};

// WRD presentation hooks. The built-in interpreter and the external player
// read the song position from the sequencer (PositionMs, CurrentTick).
class SequencerObserver {
  public:
    virtual ~SequencerObserver() = default;
    virtual bool BuiltinWrdActive() const { return false; }
    virtual bool ExternalWrdActive() const { return false; }
    // Clears the WRD screen (song end, next song, repeat). Timer thread.
    virtual void OnWrdScreenReset() {}
    // A seek to posMs: clear the WRD window, restart the interpreter. UI thread.
    virtual void OnSeekRestart(int32_t posMs) {}
    // External player: restart and run its script up to the tick.
    virtual void OnExternalWrdRestart(int32_t upToTick) {}
    virtual void OnExternalWrdPause() {}
    virtual void OnExternalWrdResume() {}
};

}  // namespace sonfara::sequencer
