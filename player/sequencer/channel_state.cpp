#include "player/sequencer/channel_state.h"

#include "player/platform/midi.h"
#include "player/platform/rounding.h"
#include "player/song/song_table.h"

namespace sonfara::sequencer {

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;

void TakeController(ChannelState& ch, uint8_t controller, uint8_t value) {
    ch.Dirty.store(-1, kRelaxed);
    switch (controller) {
        case midi::cc::kVolume:
            ch.Volume.store(value, kRelaxed);
            break;
        case midi::cc::kBankSelect:
            ch.BankMSB.store(value, kRelaxed);
            break;
        case midi::cc::kBankSelectLsb:
            ch.BankLSB.store(value, kRelaxed);
            break;
        case midi::cc::kReverbSend:
            ch.Reverb.store(value, kRelaxed);
            break;
        case midi::cc::kChorusSend:
            ch.Chorus.store(value, kRelaxed);
            break;
        case midi::cc::kPan:
            ch.Pan.store(value, kRelaxed);
            break;
        case midi::cc::kExpression:
            ch.Expression.store(value, kRelaxed);
            break;
        case midi::cc::kModulation:
            ch.Modulation.store(value, kRelaxed);
            break;
        default:
            break;
    }
}

void TakeNote(ChannelState& ch, std::atomic<int32_t>& sounding, int key, bool on) {
    const bool enabled = ch.Enabled.load(kRelaxed) != 0;
    if (!on) {
        // The key is released even on a disabled channel, so the keyboard
        // never shows a note that has ended.
        if (ch.NoteOn[key].exchange(0, kRelaxed) != 0) {
            sounding.fetch_sub(1, kRelaxed);
            ch.KeyDirty.store(-1, kRelaxed);
        }
        if (enabled) {
            const int n = ch.NoteCount.load(kRelaxed);
            ch.NoteCount.store(n > 0 ? n - 1 : 0, kRelaxed);
            ch.Level.store(ch.Volume.load(kRelaxed) / 8, kRelaxed);
        }
    } else if (enabled) {
        if (ch.NoteOn[key].exchange(-1, kRelaxed) == 0) sounding.fetch_add(1, kRelaxed);
        ch.KeyDirty.store(-1, kRelaxed);
        ch.NoteCount.fetch_add(1, kRelaxed);
        ch.NoteOnFlag.store(-1, kRelaxed);
    }
}
}  // namespace

void ChannelState::Reset() {
    for (auto& n : NoteOn) n.store(0, kRelaxed);
    KeyDirty.store(-1, kRelaxed);
    NoteCount.store(0, kRelaxed);
    Level.store(0, kRelaxed);
    NoteOnFlag.store(0, kRelaxed);
    Volume.store(100, kRelaxed);
    Pan.store(64, kRelaxed);
    Reverb.store(0, kRelaxed);
    Chorus.store(0, kRelaxed);
    Expression.store(0, kRelaxed);
    Modulation.store(0, kRelaxed);
    PitchBend.store(0, kRelaxed);
    Program.store(0, kRelaxed);
    BankMSB.store(0, kRelaxed);
    BankLSB.store(0, kRelaxed);
    Dirty.store(-1, kRelaxed);
}

void TakeIntoState(ChannelState& ch, std::atomic<int32_t>& sounding, uint8_t status, uint8_t d1,
                   uint8_t d2) {
    switch (midi::StatusKind(status)) {
        case midi::kControlChange:
            TakeController(ch, d1, d2);
            break;
        case midi::kPitchBend:
            ch.PitchBend.store(
                static_cast<int16_t>(platform::RoundHalfEven((d1 * 127 + d2) / 64.0)), kRelaxed);
            ch.Dirty.store(-1, kRelaxed);
            break;
        case midi::kNoteOn:
            TakeNote(ch, sounding, d1 & 127, d2 != 0);
            break;
        case midi::kNoteOff:
            TakeNote(ch, sounding, d1 & 127, false);
            break;
        case midi::kProgramChange:
            ch.Program.store(d1 < 127 ? d1 : 127, kRelaxed);
            break;
        default:
            break;
    }
}

}  // namespace sonfara::sequencer
