#include "player/platform/synth_schedule.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "player/platform/midi.h"

namespace sonfara::platform {
namespace {

constexpr int64_t kNow = std::numeric_limits<int64_t>::min();
// The first callbacks of a stream come back to back while the device
// buffer fills; frame 0's time is taken from the latest of them.
constexpr int kWarmUpCallbacks = 8;
// Afterwards the callbacks' own jitter is smoothed out this slowly.
constexpr double kFollowGain = 1.0 / 32;
// A gap this many buffers long (a suspended or stalled stream) starts over.
constexpr int kLostBuffers = 4;

}  // namespace

SynthSchedule::SynthSchedule(fluid_synth_t* synth, int sampleRate, const Clock* clock,
                             Anchor anchor, int latencyFrames)
    : synth_(synth),
      rate_(sampleRate),
      clock_(clock),
      anchor_(anchor),
      latencyFrames_(latencyFrames),
      module_(synth) {
    if (clock_) originUs_ = static_cast<double>(clock_->NowUs());
    // Room for a seek's chase and a reset burst without growing while playing.
    incoming_.reserve(8192);
    taken_.reserve(8192);
    pending_.reserve(8192);
    pendingBytes_.reserve(1 << 16);
}

void SynthSchedule::Push(Event e, std::span<const uint8_t> bytes) {
    e.us = clock_ ? clock_->NowUs() : kNow;
    std::lock_guard lk(mu_);
    if (anchor_ == Anchor::kDirect) {
        if (e.kind == Kind::kSilence)
            fluid_synth_all_sounds_off(synth_, static_cast<int32_t>(e.packed));
        else
            Apply(e, bytes);
        return;
    }
    if (!bytes.empty()) {
        e.offset = static_cast<uint32_t>(incomingBytes_.size());
        e.size = static_cast<uint32_t>(bytes.size());
        incomingBytes_.insert(incomingBytes_.end(), bytes.begin(), bytes.end());
    }
    incoming_.push_back(e);
}

void SynthSchedule::Short(uint32_t packed) {
    Push(Event{.packed = packed, .kind = Kind::kShort});
}

void SynthSchedule::Long(std::span<const uint8_t> bytes) {
    if (bytes.size() < 3) return;
    Push(Event{.kind = Kind::kLong}, bytes);
}

void SynthSchedule::Reset() {
    Push(Event{.kind = Kind::kReset});
}

void SynthSchedule::Silence(int channel) {
    Push(Event{.packed = static_cast<uint32_t>(channel), .kind = Kind::kSilence});
}

// What was sent since the last render joins the queue, each message with
// the block it lands at; silences act here, at the head of the render.
void SynthSchedule::Intake() {
    {
        std::lock_guard lk(mu_);
        std::swap(incoming_, taken_);
        std::swap(incomingBytes_, takenBytes_);
    }
    for (Event e : taken_) {
        if (e.kind == Kind::kSilence) {
            SilenceQueued(static_cast<int>(static_cast<int32_t>(e.packed)));
            continue;
        }
        if (e.kind == Kind::kLong) {
            const auto* b = takenBytes_.data() + e.offset;
            e.offset = static_cast<uint32_t>(pendingBytes_.size());
            pendingBytes_.insert(pendingBytes_.end(), b, b + e.size);
        }
        e.frame = std::max(BlockOf(e.us), lastFrame_);
        lastFrame_ = e.frame;
        pending_.push_back(e);
    }
    taken_.clear();
    takenBytes_.clear();
}

void SynthSchedule::SilenceQueued(int channel) {
    for (size_t i = head_; i < pending_.size(); ++i) {
        Event& e = pending_[i];
        if (e.kind == Kind::kDone) continue;
        if (channel >= 0 && (e.kind != Kind::kShort || midi::ChannelOf(e.packed) != channel))
            continue;
        Apply(e, {pendingBytes_.data() + e.offset, e.size});
        e.kind = Kind::kDone;
    }
    fluid_synth_all_sounds_off(synth_, channel);
}

// Real time: the callback for frame pos_ runs about when frame pos_'s
// messages were due, so its clock time tells frame 0's.
void SynthSchedule::FollowClock() {
    const double seen = static_cast<double>(clock_->NowUs()) - pos_ * 1e6 / rate_;
    const double lost = kLostBuffers * 1e6 * latencyFrames_ / rate_;
    if (callbacks_ < kWarmUpCallbacks) {
        originUs_ = callbacks_ == 0 ? seen : std::max(originUs_, seen);
        ++callbacks_;
    } else if (std::abs(seen - originUs_) > lost) {
        originUs_ = seen;
        callbacks_ = 1;
    } else {
        originUs_ += (seen - originUs_) * kFollowGain;
    }
}

int64_t SynthSchedule::BlockOf(int64_t us) const {
    if (us == kNow) return kNow;
    const int64_t frame =
        std::llround((static_cast<double>(us) - originUs_) * rate_ / 1e6) + latencyFrames_;
    if (frame <= 0) return 0;
    return (frame + kSynthBlockFrames / 2) / kSynthBlockFrames * kSynthBlockFrames;
}

void SynthSchedule::Render(float* left, float* right, int stride, int frames) {
    if (clock_ && anchor_ == Anchor::kFollow) FollowClock();
    Intake();
    int done = 0;
    while (done < frames) {
        ApplyDue(pos_ + done);
        int next = frames;
        if (head_ < pending_.size())
            next = static_cast<int>(std::min<int64_t>(frames, pending_[head_].frame - pos_));
        fluid_synth_write_float(synth_, next - done, left, done * stride, stride, right,
                                done * stride, stride);
        done = next;
    }
    pos_ += frames;
    Compact();
}

void SynthSchedule::ApplyDue(int64_t frame) {
    while (head_ < pending_.size() && pending_[head_].frame <= frame) {
        Event& e = pending_[head_++];
        if (e.kind != Kind::kDone) Apply(e, {pendingBytes_.data() + e.offset, e.size});
    }
}

void SynthSchedule::Apply(const Event& e, std::span<const uint8_t> bytes) {
    switch (e.kind) {
        case Kind::kShort:
            module_.Short(e.packed);
            break;
        case Kind::kLong:
            module_.Long(bytes);
            break;
        case Kind::kReset:
            for (int c = 0; c < midi::kChannelCount; ++c) {
                fluid_synth_cc(synth_, c, midi::cc::kSustain, 0);
                fluid_synth_cc(synth_, c, midi::cc::kSostenuto, 0);
            }
            fluid_synth_all_notes_off(synth_, -1);
            break;
        default:
            break;
    }
}

// Drops what was applied; the bytes of applied SysEx go with it.
void SynthSchedule::Compact() {
    if (head_ == 0) return;
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<ptrdiff_t>(head_));
    head_ = 0;
    auto firstLong = std::find_if(pending_.begin(), pending_.end(),
                                  [](const Event& e) { return e.kind == Kind::kLong; });
    const uint32_t drop = firstLong == pending_.end() ? static_cast<uint32_t>(pendingBytes_.size())
                                                      : firstLong->offset;
    if (drop == 0) return;
    pendingBytes_.erase(pendingBytes_.begin(), pendingBytes_.begin() + drop);
    for (Event& e : pending_)
        if (e.kind == Kind::kLong) e.offset -= drop;
}

}  // namespace sonfara::platform
