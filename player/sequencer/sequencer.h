// The sequencer: a periodic tick that sends every due event of every track
// in track order, keeps the cursors for the displays and handles the end of
// the song; and the transport operations that move the position.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

#include "player/platform/clock.h"
#include "player/platform/time_histogram.h"
#include "player/platform/timer.h"
#include "player/sequencer/output_layer.h"
#include "player/sequencer/playback_settings.h"
#include "player/sequencer/song_cursors.h"
#include "player/sequencer/transport_interfaces.h"
#include "player/song/song_table.h"

namespace sonfara::sequencer {

class Sequencer {
  public:
    // `cursors` is the player's set, shared with the output layer.
    Sequencer(const song::SongTable& song, SongCursors& cursors, OutputLayer& out,
              const platform::Clock& clock, platform::TimerService& timers,
              const PlaybackSettings& settings, PlayOrder& order, UiScheduler& ui,
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
    // False when the service makes no timer.
    [[nodiscard]] bool StartTimer();
    // StartTimer again after a hold, a seek or a resume. The song's first
    // start made the service's thread, so only a service that has quit (at
    // shut-down) refuses now, and the song then stays still.
    void ResumeTimer();
    void KillTimer();
    bool TimerRunning() const { return timerId_.load(std::memory_order_relaxed) != 0; }

    // Transport (UI thread).
    void SeekTo(int32_t posMs);
    void StopSong();
    void RestartSong();
    void PauseSong();
    void ResumeSong();
    // The song goes on at its position, without a port when the new one
    // does not open; the open's status says why.
    PlaybackStatus ChangeOutputPort(int device);
    void PlayNextSong();
    void PlayPrevSong();
    void RestartTimer();
    void SpeedUp();
    void SpeedDown();
    // Sets the speed offset directly (the command line's --speed); the
    // slowest speed is 10 %.
    void SetSpeedDelta(int delta);
    // Marks a freshly loaded song as playing from the start and starts the
    // timer (the open pipeline's last step); false when no timer was made.
    [[nodiscard]] bool StartSong();
    // The song is gone (the empty song display): timer killed, the cursors
    // fitted to the song and at rest, every transport state back to that of
    // a player with no song (UI thread).
    void ForgetSong();
    // An entry of the list that could not be opened: it counts towards a
    // pass over the list in which nothing played (UI thread).
    void NoteUnplayableEntry();
    // Held fast forward and rewind: the timer stops and every note is
    // released; steps then move the time base (MoveHeld) from StepBaseMs,
    // the paused position or now minus EffectiveStart, until a SeekTo.
    void HoldForStep();
    int32_t StepBaseMs() const;
    void MoveHeld(int32_t posMs);

    // A-B repeat (UI thread): while both points are set (b at least
    // kMinLoopMs after a), playback that reaches b jumps back to a, as a loop
    // does: as often as a finite loop count says (then it plays on, or
    // fades), else until they are cleared; a new song clears them. -1 leaves
    // a point unset. The timer is held while they change.
    void SetRepeatPoints(int32_t a, int32_t b);
    int32_t RepeatA() const { return abStart_.load(std::memory_order_relaxed); }
    int32_t RepeatB() const { return abEnd_.load(std::memory_order_relaxed); }
    bool RepeatActive() const;
    // The section the loop count repeats: the song's own loop points from
    // the start of each song, or a section given by hand until the next
    // song (UI thread; an invalid one means no loop).
    void SetLoopSection(const song::LoopPoints& p);
    const song::LoopPoints& LoopSection() const { return loop_; }
    // The section the loop count and fade act on: the A-B section while it
    // is set and the count is finite (the song's loop rests meanwhile), else
    // the song's loop. UI thread or the tick.
    song::LoopPoints CountedSection() const;
    // Jumps back to the loop start in this run of the song (any thread).
    int LoopsDone() const { return loopsDone_.load(std::memory_order_relaxed); }
    // The song's length as its loops and fade play it from the start; -1
    // when it never ends (endless loops, an A-B repeat). UI thread.
    int32_t LoopedLengthMs() const;

    bool SongLoaded() const { return song_.Loaded; }
    // Song position now: the paused position, or the running position.
    int32_t PositionMs() const;
    // Clock time to wake for an event due at song position dueMs.
    int64_t WakeForDue(int32_t dueMs, int32_t nowMs) const;

    // --- Read access (relaxed loads; any thread) ---------------------------
    int32_t SpeedBase() const { return speedBase_.load(std::memory_order_relaxed); }
    int32_t SpeedDelta() const { return speedDelta_.load(std::memory_order_relaxed); }
    int32_t ElapsedSeconds() const { return elapsedSeconds_.load(std::memory_order_relaxed); }
    int32_t CurrentTick() const { return currentTick_.load(std::memory_order_relaxed); }
    int32_t PausedPosMs() const { return pausedPosMs_.load(std::memory_order_relaxed); }
    bool Paused() const { return paused_.load(std::memory_order_relaxed); }
    bool SongStarted() const { return songStarted_.load(std::memory_order_relaxed); }
    int SongEnded() const { return songEnded_.load(std::memory_order_relaxed); }
    bool PortChanging() const { return portChanging_.load(std::memory_order_relaxed); }
    const SongCursors& Cursors() const { return cursors_; }
    // How late each tick sent its earliest due message, in µs of the clock
    // (written by the timer thread; read by the benchmarks).
    const platform::TimeHistogram& Lateness() const { return lateness_; }

  private:
    // Time base, shared with the displays (relaxed atomics). Only the
    // sequencer's own operations write it, with the timer killed.
    std::atomic<int32_t> effectiveStart_{0};
    std::atomic<int32_t> speedBase_{0};
    std::atomic<int32_t> speedRef_{0};
    std::atomic<int32_t> speedDelta_{0};
    std::atomic<int32_t> elapsedSeconds_{0};
    std::atomic<int32_t> currentTick_{0};
    std::atomic<int32_t> pausedPosMs_{0};
    std::atomic<uint32_t> timerId_{0};
    std::atomic<bool> paused_{false};
    std::atomic<bool> songStarted_{false};
    std::atomic<bool> shuttingDown_{false};
    std::atomic<int> songEnded_{0};
    std::atomic<bool> portChanging_{false};

    // The section a jump goes back through: from start to end, the events
    // at end itself played before the jump when upToEnd.
    struct Section {
        int32_t start, end;
        bool upToEnd;
        bool counted;  // counts its passes and ends with the loop count
        bool byHand;   // A-B: jumps whenever at or past its end, not only when played into
    };

    int32_t EffectiveStartAt(int32_t now) const;
    void PositionRule(int32_t p);
    void BeginRun();
    int32_t SendDueEvents(int32_t upToMs, bool eventTicks);
    // An event's time from the tempo map; the walk in tick order makes the
    // remembered segment right nearly every time.
    int32_t TimeOf(const song::EventView& ev) { return song_.TickToMs(ev.tick, timeHint_); }
    void ChaseTo(int32_t posMs, bool atJump);
    void SetListCursors(int32_t posMs);
    // The tracks and lists the cursors cover: all of the song's once fitted.
    int CursorTracks() const { return std::min<int>(song_.NTracks, cursors_.NextEvents().Size()); }
    int CursorLists() const { return std::min(song_.ListsInUse(), cursors_.ListNexts().Size()); }
    std::optional<Section> ActiveSection() const;
    bool MoreLoops() const;
    bool FiniteLoopCount() const;
    int32_t JumpIfDue(int32_t elapsed, bool eventTicks);
    std::optional<int64_t> FadeStart() const;
    int FadeLevelAt(int32_t pos) const;
    int32_t EndMs() const;
    void EndOfSong(int32_t now);
    bool EndedEmpty() const;
    void StopOwnTimer();
    bool ExternalWrd() const;
    bool BuiltinWrd() const;

    const song::SongTable& song_;
    SongCursors& cursors_;
    OutputLayer& out_;
    const platform::Clock& clock_;
    platform::TimerService& timers_;
    const PlaybackSettings& settings_;
    PlayOrder& order_;
    UiScheduler& ui_;
    TransportHooks& hooks_;
    std::vector<SequencerObserver*> observers_;
    uint32_t rng_ = 1;
    // Written like the cursors: by the tick, or with the timer killed.
    int32_t timeHint_ = 0;
    // The id of the timer the UI thread created; TimerId is cleared as soon
    // as a kill starts, this one stays so a kill can wait for that tick.
    std::atomic<uint32_t> ownTimer_{0};
    // Entries in a row that ended before one timer period or did not open.
    std::atomic<int> emptyInRow_{0};
    // Loops and A-B repeat. The UI thread writes them with the timer killed.
    song::LoopPoints loop_;
    std::atomic<int32_t> abStart_{-1}, abEnd_{-1};
    std::atomic<int> loopsDone_{0};
    // Every event up to this song position has been sent or chased.
    int32_t reachedMs_ = -1;
    int32_t firstSentMs_ = INT32_MAX;  // the earliest due time this tick sent
    platform::TimeHistogram lateness_;
};

}  // namespace sonfara::sequencer
