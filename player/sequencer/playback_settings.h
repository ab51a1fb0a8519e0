// The settings the output layer and the sequencer read, as plain values with
// their defaults. The settings store fills this struct; the player applies a
// new copy only while its timer is stopped.
#pragma once

#include <string>

#include "player/platform/modes.h"

namespace sonfara::sequencer {

// The loop count that never stops repeating.
inline constexpr int kEndlessLoops = 10;

struct PlaybackSettings {
    int mainTimerMs = 5;        // timer period and resolution, ms
    bool easyDeltaTime = true;  // tick display jumps from event to event
    sonfara::platform::RepeatMode repeatMode = sonfara::platform::RepeatMode::kList;
    bool sendSysEx = true;
    bool sendBankSelect = true;
    int effectReverb = 128;  // 0, 128 or 256
    int effectChorus = 128;  // 0, 128 or 256
    int panOffset = 128;     // fixed at start-up
    std::string midiOutPort = "MIDI Mapper";
    // Wake the timer thread when the next event falls due, not only once per
    // period. Off gives the plain periodic tick.
    bool preciseTiming = true;
    // Extra plays of a song's loop section: 0 none, 1..9, kEndlessLoops.
    int loopCount = 0;
    // Seconds of fade-out after the last loop; 0 none.
    int loopFadeSeconds = 0;

    bool operator==(const PlaybackSettings&) const = default;
};

}  // namespace sonfara::sequencer
