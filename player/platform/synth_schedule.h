// Messages for FluidSynth placed in audio time. Each message is stamped with
// the clock time it was sent and applied at the sample of that time plus a
// fixed latency, so a large audio buffer adds no timing jitter: the render
// splits the buffer at the messages that fall inside it. Messages reach
// FluidSynth through the GS/XG layer (SynthModule), which the applying
// thread owns.
#pragma once

#include <fluidsynth.h>

#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

#include "player/platform/clock.h"
#include "player/platform/synth_module.h"

namespace sonfara::platform {

// FluidSynth applies messages only between its 64-frame blocks; a message
// goes to the nearest block start, within half a block of its sample.
inline constexpr int kSynthBlockFrames = 64;

// Threads: one sending thread at a time calls Short, Long, Reset and
// Silence (the sequencer's timer thread, or the UI thread while the timer is
// stopped); one rendering thread calls Render (the audio driver's callback,
// or the offline caller). Messages reach the synthesizer from the rendering
// thread only (but with kDirect), so none lands in the middle of a buffer.
class SynthSchedule {
  public:
    // How a clock time becomes a frame. kFixed: the clock's time at
    // construction is frame 0 (offline, virtual time). kFollow: frame 0's
    // time is learnt from when the audio callbacks run (real time). kDirect:
    // no queue, each message goes to the synthesizer when it is sent (an
    // audio driver that renders the synthesizer itself, without a callback).
    enum class Anchor { kFixed, kFollow, kDirect };

    // clock nullptr: every message lands at the start of the next render.
    SynthSchedule(fluid_synth_t* synth, int sampleRate, const Clock* clock, Anchor anchor,
                  int latencyFrames);

    void Short(uint32_t packed);
    void Long(std::span<const uint8_t> bytes);
    // Notes off and pedals up, in turn with the other messages.
    void Reset();
    // Cuts what channel (0..15, -1 all) sounds at the start of the next
    // render, ahead of the latency: what is queued for it is applied first,
    // so nothing queued starts again afterwards.
    void Silence(int channel);

    // Renders frames into left and right, stride floats apart.
    void Render(float* left, float* right, int stride, int frames);
    int LatencyFrames() const { return latencyFrames_; }

  private:
    enum class Kind : uint8_t { kShort, kLong, kReset, kSilence, kDone };
    struct Event {
        int64_t us = 0;
        int64_t frame = 0;  // block start it is applied at (set on intake)
        uint32_t packed = 0;
        uint32_t offset = 0, size = 0;  // kLong: bytes in the byte store
        Kind kind = Kind::kShort;
    };

    void Push(Event e, std::span<const uint8_t> bytes = {});
    void Intake();
    void SilenceQueued(int channel);
    void FollowClock();
    int64_t BlockOf(int64_t us) const;
    void ApplyDue(int64_t frame);
    void Apply(const Event& e, std::span<const uint8_t> bytes);
    void Compact();

    fluid_synth_t* synth_;
    const int rate_;
    const Clock* clock_;
    const Anchor anchor_;
    const int latencyFrames_;

    // Sending side, handed over under the lock (held only to append or swap).
    std::mutex mu_;
    std::vector<Event> incoming_;
    std::vector<uint8_t> incomingBytes_;

    // Rendering side (the sending side with kDirect, under the lock).
    SynthModule module_;
    std::vector<Event> taken_;
    std::vector<uint8_t> takenBytes_;
    std::vector<Event> pending_;  // in the order sent, from head_ on
    std::vector<uint8_t> pendingBytes_;
    size_t head_ = 0;
    int64_t pos_ = 0;        // frames rendered
    double originUs_ = 0;    // clock time of frame 0
    int callbacks_ = 0;      // kFollow: renders seen
    int64_t lastFrame_ = 0;  // frames never go backwards
};

}  // namespace sonfara::platform
