// The transport part of a playback session. UI thread unless a comment
// says otherwise; each operation that may change what the snapshot shows
// ends with one OnStateChanged.
#pragma once

#include <cstdint>

#include "player/platform/modes.h"
#include "player/sequencer/player.h"
#include "player/session/core.h"

namespace sonfara::session {

// Play, pause, stop, seek, held stepping, speed, key and repeat.
class SessionTransport final : private SessionPart {
  public:
    explicit SessionTransport(SessionCore& core);
    void Play();  // out of pause or stop; nothing while playing
    void Pause();
    void Stop();
    void Restart();
    void SeekTo(int32_t ms);
    void SpeedUp();
    void SpeedDown();  // 10 % is the slowest
    // The speed in percent at once (command line); below 10 counts as 10.
    void SetSpeedPercent(int percent);
    void KeyUp();
    void KeyDown();
    void SetTranspose(int semitones);
    // Held fast forward / rewind: BeginStep on press (one step at once),
    // Step every 500 ms while held, EndStep on release (the seek).
    void BeginStep(bool forward);
    void Step();
    void EndStep();
    void SetRepeatMode(platform::RepeatMode mode);
    // A-B repeat: the points at the current position (the snapshot's). B
    // with no A starts the section at 0; a B less than kMinLoopMs after A is
    // refused (false); a new A drops a B that would come too soon after it.
    // Playback loops between them until ClearAB or the next song.
    bool SetPointA();
    bool SetPointB();
    void ClearAB();
    // Both points at once; false, and nothing changes, unless
    // 0 <= a, a + kMinLoopMs <= b <= the song's length.
    bool SetAB(int32_t a, int32_t b);
    // The section the loop count repeats in place of the song's own loop
    // points, until the next song (the command line's render of an A-B
    // section); false, nothing changed, on the same terms as SetAB.
    bool SetLoopSection(int32_t startMs, int32_t endMs);
    // How late the timer thread sent what came due, since the start (the
    // benchmarks read it at the exit).
    const platform::TimeHistogram& Lateness() const;

  private:
    void FillInfo(SessionInfo& info) const override;
    void SongCleared() override;
    bool SectionFits(int32_t a, int32_t b) const;

    SessionCore& core_;
    int transpose_ = 0;
    bool stepping_ = false;
    int32_t seekStep_ = 0, seekOffset_ = 0, seekTarget_ = 0;
};

}  // namespace sonfara::session
