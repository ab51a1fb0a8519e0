// The sequencer: a periodic tick that sends every due event of every track
// in track order, keeps the cursors for the displays and handles the end of
// the song; and the transport operations that move the position.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "player/platform/clock.h"
#include "player/platform/timer.h"
#include "player/sequencer/output_layer.h"
#include "player/sequencer/playback_settings.h"
#include "player/sequencer/transport_interfaces.h"
#include "player/song/song_table.h"

namespace sonfara {

class Sequencer {
  public:
    Sequencer(SongTable& song, OutputLayer& out, const Clock& clock, TimerService& timers,
              const PlaybackSettings& settings, PlayList& playList, UiScheduler& ui,
              TransportHooks& hooks);
    ~Sequencer();
    Sequencer(const Sequencer&) = delete;
    Sequencer& operator=(const Sequencer&) = delete;

    // The tick reads the observer list: both hold the timer while it changes.
    void AddObserver(SequencerObserver* o);
    void RemoveObserver(SequencerObserver* o);

    // The timer callback. Returns when it wants to run again (clock µs)
    // before its next period, or kNoWake.
    int64_t SequencerTick();

    // Timer control, UI thread only. After KillTimer returns no tick runs
    // and no timer exists until StartTimer; the tick never creates one.
    bool StartTimer();
    void KillTimer();
    bool TimerRunning() const { return TimerId.load(std::memory_order_relaxed) != 0; }

    // Transport (UI thread).
    void SeekTo(int32_t posMs);
    void StopSong();
    void RestartSong();
    void PauseSong();
    void ResumeSong();
    int ChangeOutputPort(int device);  // the open's result code
    void PlayNextSong();
    void PlayPrevSong();
    void RestartTimer();
    void SpeedUp();
    void SpeedDown();
    // Sets the speed offset directly (the command line's --speed); the
    // slowest speed is 10 %.
    void SetSpeedDelta(int delta);
    // Marks a freshly loaded song as playing from the start and starts the
    // timer (the open pipeline's last step).
    bool StartSong();
    // An entry of the list that could not be opened: it counts towards a
    // pass over the list in which nothing played (UI thread).
    void NoteUnplayableEntry();
    // Held fast forward and rewind: the timer stops and every note is
    // released; steps then move the time base (MoveHeld) from StepBaseMs,
    // the paused position or now minus EffectiveStart, until a SeekTo.
    void HoldForStep();
    int32_t StepBaseMs() const;
    void MoveHeld(int32_t posMs);

    bool SongLoaded() const { return song_.Loaded; }
    // Song position now: the paused position, or the running position.
    int32_t PositionMs() const;
    // Clock time to wake for an event due at song position dueMs.
    int64_t WakeForDue(int32_t dueMs, int32_t nowMs) const;

    // --- Time base (shared with the displays, relaxed atomics) -------------
    std::atomic<int32_t> EffectiveStart{0};
    std::atomic<int32_t> SpeedBase{0};
    std::atomic<int32_t> SpeedRef{0};
    std::atomic<int32_t> SpeedDelta{0};
    std::atomic<int32_t> ElapsedSeconds{0};
    std::atomic<int32_t> CurrentTick{0};
    std::atomic<int32_t> PausedPosMs{0};
    std::atomic<uint32_t> TimerId{0};
    std::atomic<bool> Paused{false};
    std::atomic<bool> SongStarted{false};
    std::atomic<bool> ShuttingDown{false};
    std::atomic<int> SongEnded{0};
    std::atomic<bool> PortChanging{false};

  private:
    int32_t EffectiveStartAt(int32_t now) const;
    void PositionRule(int32_t p);
    int32_t SendDueEvents(int32_t upToMs, bool eventTicks);
    void EndOfSong(int32_t now);
    bool EndedEmpty() const;
    void StopOwnTimer();
    bool ExternalWrd() const;
    bool BuiltinWrd() const;

    SongTable& song_;
    OutputLayer& out_;
    const Clock& clock_;
    TimerService& timers_;
    const PlaybackSettings& settings_;
    PlayList& playList_;
    UiScheduler& ui_;
    TransportHooks& hooks_;
    std::vector<SequencerObserver*> observers_;
    uint32_t rng_ = 1;
    // The id of the timer the UI thread created; TimerId is cleared as soon
    // as a kill starts, this one stays so a kill can wait for that tick.
    std::atomic<uint32_t> ownTimer_{0};
    // Entries in a row that ended before one timer period or did not open.
    std::atomic<int> emptyInRow_{0};
};

}  // namespace sonfara
