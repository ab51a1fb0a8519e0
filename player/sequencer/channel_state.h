// What each channel is doing, as the displays draw it: the knobs' values,
// the keys held, the note count, the level bar and the lamp.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace sonfara::sequencer {

// Per-channel state. Written by the output layer (timer thread, or the UI
// thread while the timer is stopped), read by the displays at any time.
struct ChannelState {
    std::atomic<int16_t> Enabled{-1};
    std::array<std::atomic<int16_t>, 128> NoteOn{};
    std::atomic<int16_t> KeyDirty{0};
    std::atomic<int32_t> NoteCount{0};
    std::atomic<int32_t> Level{0};
    std::atomic<int16_t> NoteOnFlag{0};
    std::atomic<int32_t> Volume{100};
    std::atomic<int16_t> Pan{64};
    std::atomic<int16_t> Reverb{0};
    std::atomic<int16_t> Chorus{0};
    std::atomic<int16_t> Expression{0};
    std::atomic<int16_t> Modulation{0};
    std::atomic<int16_t> PitchBend{0};
    std::atomic<int32_t> Program{0};
    std::atomic<int32_t> BankMSB{0};
    std::atomic<int32_t> BankLSB{0};
    std::atomic<int16_t> Dirty{0};

    // Every field but Enabled back to its reset value; Dirty and KeyDirty
    // are raised so the displays redraw.
    void Reset();
};

// What a channel message (as the song sent it, before any filter) does to
// its channel's state; `sounding` counts the keys held on every channel.
// A note-on on a switched-off channel is not taken.
void TakeIntoState(ChannelState& ch, std::atomic<int32_t>& sounding, uint8_t status, uint8_t d1,
                   uint8_t d2);

}  // namespace sonfara::sequencer
