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

void SessionTransport::KeyUp() { SetTranspose(transpose_ + 1); }

void SessionTransport::KeyDown() { SetTranspose(transpose_ - 1); }

void SessionTransport::SetTranspose(int semitones) {
    PlaybackSession::StateChange change(s_);
    transpose_ = semitones;
    s_.player_.SetTranspose(semitones);
    s_.RefreshInfo();
}

void SessionTransport::SetRepeatMode(RepeatMode mode) {
    s_.settings_.Edit([mode](SettingsValues& v) { v.RepeatMode = mode; });
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

}  // namespace sonfara
