#include "player/session/transport.h"

#include <algorithm>

namespace sonfara::session {

namespace {
constexpr int32_t kStepMs = 1000;
constexpr int kSlowestPercent = 10;
}  // namespace

void SessionTransport::Play() {
    SessionCore::StateChange change(core_);
    core_.GetPlayer().Seq().ResumeSong();
    core_.RefreshInfo();
}

void SessionTransport::Pause() {
    SessionCore::StateChange change(core_);
    core_.GetPlayer().Seq().PauseSong();
    core_.RefreshInfo();
}

void SessionTransport::Stop() {
    SessionCore::StateChange change(core_);
    core_.GetPlayer().Seq().StopSong();
    core_.RefreshInfo();
}

void SessionTransport::Restart() {
    SessionCore::StateChange change(core_);
    if (!core_.SongLoaded()) return;
    core_.GetPlayer().Seq().RestartSong();
    core_.RefreshInfo();
}

void SessionTransport::SeekTo(int32_t ms) {
    SessionCore::StateChange change(core_);
    core_.GetPlayer().Seq().SeekTo(std::clamp(ms, 0, core_.GetPlayer().Song().TotalMs));
    core_.RefreshInfo();
}

void SessionTransport::SpeedUp() {
    SessionCore::StateChange change(core_);
    core_.GetPlayer().Seq().SpeedUp();
}

void SessionTransport::SpeedDown() {
    SessionCore::StateChange change(core_);
    core_.GetPlayer().Seq().SpeedDown();
}

void SessionTransport::SetSpeedPercent(int percent) {
    SessionCore::StateChange change(core_);
    core_.GetPlayer().Seq().SetSpeedDelta(std::max(percent, kSlowestPercent) - 100);
}

void SessionTransport::KeyUp() {
    SetTranspose(transpose_ + 1);
}

void SessionTransport::KeyDown() {
    SetTranspose(transpose_ - 1);
}

void SessionTransport::SetTranspose(int semitones) {
    SessionCore::StateChange change(core_);
    transpose_ = semitones;
    core_.GetPlayer().SetTranspose(semitones);
    core_.RefreshInfo();
}

void SessionTransport::SetRepeatMode(platform::RepeatMode mode) {
    core_.Editor().Edit([mode](settings::SettingsValues& v) { v.repeatMode = mode; });
}

bool SessionTransport::SectionFits(int32_t a, int32_t b) const {
    return core_.SongLoaded() && a >= 0 && b - a >= song::kMinLoopMs &&
           b <= core_.GetPlayer().Song().TotalMs;
}

bool SessionTransport::SetPointA() {
    SessionCore::StateChange change(core_);
    if (!core_.SongLoaded()) return false;
    sequencer::Sequencer& seq = core_.GetPlayer().Seq();
    const int32_t a = core_.Snapshot().positionMs;
    const int32_t b = seq.RepeatB() >= 0 && SectionFits(a, seq.RepeatB()) ? seq.RepeatB() : -1;
    seq.SetRepeatPoints(a, b);
    core_.RefreshInfo();
    return true;
}

bool SessionTransport::SetPointB() {
    SessionCore::StateChange change(core_);
    sequencer::Sequencer& seq = core_.GetPlayer().Seq();
    const int32_t a = std::max(0, seq.RepeatA());
    const int32_t b = core_.Snapshot().positionMs;
    if (!SectionFits(a, b)) return false;
    seq.SetRepeatPoints(a, b);
    core_.RefreshInfo();
    return true;
}

void SessionTransport::ClearAB() {
    SessionCore::StateChange change(core_);
    core_.GetPlayer().Seq().SetRepeatPoints(-1, -1);
    core_.RefreshInfo();
}

bool SessionTransport::SetAB(int32_t a, int32_t b) {
    SessionCore::StateChange change(core_);
    if (!SectionFits(a, b)) return false;
    core_.GetPlayer().Seq().SetRepeatPoints(a, b);
    core_.RefreshInfo();
    return true;
}

bool SessionTransport::SetLoopSection(int32_t startMs, int32_t endMs) {
    SessionCore::StateChange change(core_);
    if (!SectionFits(startMs, endMs)) return false;
    const bool toSongEnd = endMs == core_.GetPlayer().Song().TotalMs;
    core_.GetPlayer().Seq().SetLoopSection(song::LoopPoints{startMs, endMs, toSongEnd});
    core_.RefreshInfo();
    return true;
}

void SessionTransport::BeginStep(bool forward) {
    SessionCore::StateChange change(core_);
    sequencer::Sequencer& seq = core_.GetPlayer().Seq();
    seq.HoldForStep();
    seekStep_ = forward ? -kStepMs : kStepMs;
    seekOffset_ = 0;
    seekTarget_ = seq.StepBaseMs();
    stepping_ = true;
    Step();
}

void SessionTransport::Step() {
    if (!stepping_ || !core_.SongLoaded()) return;
    // Paused, the base stays put and each step adds one second; playing, the
    // base follows the moved time base, so the k-th step moves k seconds
    // plus the real time since the previous one.
    seekOffset_ += seekStep_;
    sequencer::Sequencer& seq = core_.GetPlayer().Seq();
    seekTarget_ = std::clamp(seq.StepBaseMs() - seekOffset_, 0, core_.GetPlayer().Song().TotalMs);
    seq.MoveHeld(seekTarget_);
    core_.RefreshInfo();
}

void SessionTransport::EndStep() {
    SessionCore::StateChange change(core_);
    if (!stepping_) return;
    stepping_ = false;
    if (core_.SongLoaded()) core_.GetPlayer().Seq().SeekTo(seekTarget_);
    core_.RefreshInfo();
}

SessionTransport::SessionTransport(SessionCore& core) : core_(core) {
    core_.AddPart(*this);
}

void SessionTransport::FillInfo(SessionInfo& info) const {
    info.transpose = transpose_;
    info.stepping = stepping_;
    info.stepTarget = seekTarget_;
}

// The empty song display ends a held step.
void SessionTransport::SongCleared() {
    stepping_ = false;
}

const platform::TimeHistogram& SessionTransport::Lateness() const {
    return core_.GetPlayer().Seq().Lateness();
}

}  // namespace sonfara::session
