// The channel state as it is heard. The built-in synthesizer plays each
// message a fixed latency after it is sent; with a delay set, the displays
// read this copy, which takes each message that much later, so keys, lamps
// and meters move with the sound. Without a delay (a MIDI port) they read
// the output layer's own state, as before.
//
// Threads: one sending thread at a time (the timer thread, or the UI thread
// with the timer stopped) calls SetDelay, Push and ShowAtOnce; the display
// threads (drawing thread, UI thread) call CatchUp and read.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "player/platform/clock.h"
#include "player/platform/midi.h"
#include "player/sequencer/channel_state.h"

namespace sonfara::sequencer {

class ShownChannels {
  public:
    using Channels = std::array<ChannelState, midi::kChannelCount>;
    ShownChannels(Channels& live, std::atomic<int32_t>& liveSounding);

    // delayUs 0 (or no clock) shows the live state. The clock outlives this.
    void SetDelay(const platform::Clock* clock, int64_t delayUs);
    bool Delayed() const { return delayed_.load(std::memory_order_acquire); }
    // A channel message as the live state took it.
    void Push(uint8_t status, uint8_t d1, uint8_t d2);
    // The live state changed at once (a reset, cut, mute or jump): what
    // waits is dropped and the next CatchUp shows the live state.
    void ShowAtOnce();

    // Takes every message whose time has come.
    void CatchUp();
    ChannelState& Channel(int c) { return Delayed() ? shown_[c - 1] : live_[c - 1]; }  // 1..16
    int SoundingNotes() const;

  private:
    struct Entry {
        int64_t dueUs;
        uint32_t packed;
        uint32_t generation;
    };
    // About a quarter of a second of the densest song the sequencer sends.
    static constexpr uint64_t kCapacity = 1 << 14;

    void CopyLive();

    Channels& live_;
    std::atomic<int32_t>& liveSounding_;
    std::atomic<const platform::Clock*> clock_{nullptr};
    std::atomic<int64_t> delayUs_{0};
    std::atomic<bool> delayed_{false};
    // Bumped by ShowAtOnce; an entry carries the value it was pushed under.
    std::atomic<uint32_t> generation_{0};

    // Single producer, single consumer (the consumers take turns under mu_).
    std::unique_ptr<Entry[]> ring_;
    std::atomic<uint64_t> head_{0}, tail_{0};

    std::mutex mu_;
    uint32_t shownGeneration_ = 0;  // under mu_
    Channels shown_;
    std::atomic<int32_t> shownSounding_{0};
};

}  // namespace sonfara::sequencer
