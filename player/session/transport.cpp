#include <algorithm>

#include "player/session/session.h"

namespace sonfara {

namespace {
constexpr int32_t kStepMs = 1000;
constexpr int kSlowestPercent = 10;
}  // namespace

void SessionTransport::Play() {
    PlaybackSession::StateChange change(s_);
    s_.player_.Seq().ResumeSong();
    s_.RefreshInfo();
}

void SessionTransport::Pause() {
    PlaybackSession::StateChange change(s_);
    s_.player_.Seq().PauseSong();
    s_.RefreshInfo();
}

void SessionTransport::Stop() {
    PlaybackSession::StateChange change(s_);
    s_.player_.Seq().StopSong();
    s_.RefreshInfo();
}

void SessionTransport::Restart() {
    PlaybackSession::StateChange change(s_);
    if (!s_.SongLoaded()) return;
    s_.player_.Seq().RestartSong();
    s_.RefreshInfo();
}

void SessionTransport::SeekTo(int32_t ms) {
    PlaybackSession::StateChange change(s_);
    s_.player_.Seq().SeekTo(std::clamp(ms, 0, s_.player_.Song().TotalMs));
    s_.RefreshInfo();
}

void SessionTransport::SpeedUp() {
    PlaybackSession::StateChange change(s_);
    s_.player_.Seq().SpeedUp();
}

void SessionTransport::SpeedDown() {
    PlaybackSession::StateChange change(s_);
    s_.player_.Seq().SpeedDown();
}

void SessionTransport::SetSpeedPercent(int percent) {
    PlaybackSession::StateChange change(s_);
    s_.player_.Seq().SetSpeedDelta(std::max(percent, kSlowestPercent) - 100);
}

void SessionTransport::KeyUp() {
    SetTranspose(transpose_ + 1);
}

void SessionTransport::KeyDown() {
    SetTranspose(transpose_ - 1);
}

void SessionTransport::SetTranspose(int semitones) {
    PlaybackSession::StateChange change(s_);
    transpose_ = semitones;
    s_.player_.SetTranspose(semitones);
    s_.RefreshInfo();
}

void SessionTransport::SetRepeatMode(RepeatMode mode) {
    s_.settings_.Edit([mode](SettingsValues& v) { v.RepeatMode = mode; });
}

bool SessionTransport::SectionFits(int32_t a, int32_t b) const {
    return s_.SongLoaded() && a >= 0 && b - a >= kMinLoopMs && b <= s_.player_.Song().TotalMs;
}

bool SessionTransport::SetPointA() {
    PlaybackSession::StateChange change(s_);
    if (!s_.SongLoaded()) return false;
    Sequencer& seq = s_.player_.Seq();
    const int32_t a = s_.Snapshot().positionMs;
    const int32_t b = seq.RepeatB() >= 0 && SectionFits(a, seq.RepeatB()) ? seq.RepeatB() : -1;
    seq.SetRepeatPoints(a, b);
    s_.RefreshInfo();
    return true;
}

bool SessionTransport::SetPointB() {
    PlaybackSession::StateChange change(s_);
    Sequencer& seq = s_.player_.Seq();
    const int32_t a = std::max(0, seq.RepeatA());
    const int32_t b = s_.Snapshot().positionMs;
    if (!SectionFits(a, b)) return false;
    seq.SetRepeatPoints(a, b);
    s_.RefreshInfo();
    return true;
}

void SessionTransport::ClearAB() {
    PlaybackSession::StateChange change(s_);
    s_.player_.Seq().SetRepeatPoints(-1, -1);
    s_.RefreshInfo();
}

bool SessionTransport::SetAB(int32_t a, int32_t b) {
    PlaybackSession::StateChange change(s_);
    if (!SectionFits(a, b)) return false;
    s_.player_.Seq().SetRepeatPoints(a, b);
    s_.RefreshInfo();
    return true;
}

bool SessionTransport::SetLoopSection(int32_t startMs, int32_t endMs) {
    PlaybackSession::StateChange change(s_);
    if (!SectionFits(startMs, endMs)) return false;
    const bool toSongEnd = endMs == s_.player_.Song().TotalMs;
    s_.player_.Seq().SetLoopSection(LoopPoints{startMs, endMs, toSongEnd});
    s_.RefreshInfo();
    return true;
}

// The snapshot's loop fields (any thread): the A-B points, jumps and fade
// level from the sequencer's atomics, the rest as the UI thread left it.
void PlaybackSession::ReadLoops(const SongInfo& i, SessionSnapshot& s) const {
    const Sequencer& seq = player_.Seq();
    s.pointA = seq.RepeatA();
    s.pointB = seq.RepeatB();
    s.loopStartMs = i.loop.Valid() ? i.loop.startMs : -1;
    s.loopEndMs = i.loop.Valid() ? i.loop.endMs : -1;
    s.loopCount = i.loopCount;
    s.loopsDone = seq.LoopsDone();
    s.fading = player_.Output().FadeLevel() < kFullVolume;
    s.loopedTotalMs = i.loopedTotalMs;
    s.loopedPositionMs = s.positionMs;
    // The passes done of the counted section: a counted A-B one, else the song's loop.
    const bool finite = i.loopCount > 0 && i.loopCount < kEndlessLoops;
    int64_t pass = 0;
    if (seq.RepeatActive())
        pass = finite ? int64_t{s.pointB} - s.pointA : 0;
    else if (i.loop.Valid())
        pass = i.loop.LengthMs();
    if (pass > 0)
        s.loopedPositionMs += static_cast<int32_t>(
            std::min<int64_t>(int64_t{s.loopsDone} * pass, INT32_MAX - s.positionMs));
}

void SessionTransport::BeginStep(bool forward) {
    PlaybackSession::StateChange change(s_);
    Sequencer& seq = s_.player_.Seq();
    seq.HoldForStep();
    seekStep_ = forward ? -kStepMs : kStepMs;
    seekOffset_ = 0;
    seekTarget_ = seq.StepBaseMs();
    stepping_ = true;
    Step();
}

void SessionTransport::Step() {
    if (!stepping_ || !s_.SongLoaded()) return;
    // Paused, the base stays put and each step adds one second; playing, the
    // base follows the moved time base, so the k-th step moves k seconds
    // plus the real time since the previous one.
    seekOffset_ += seekStep_;
    Sequencer& seq = s_.player_.Seq();
    seekTarget_ = std::clamp(seq.StepBaseMs() - seekOffset_, 0, s_.player_.Song().TotalMs);
    seq.MoveHeld(seekTarget_);
    s_.RefreshInfo();
}

void SessionTransport::EndStep() {
    PlaybackSession::StateChange change(s_);
    if (!stepping_) return;
    stepping_ = false;
    if (s_.SongLoaded()) s_.player_.Seq().SeekTo(seekTarget_);
    s_.RefreshInfo();
}

const TimeHistogram& SessionTransport::Lateness() const {
    return s_.player_.Seq().Lateness();
}

}  // namespace sonfara
