#include "player/display/display_source.h"

#include "player/platform/midi.h"

namespace sonfara::display {
namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;
}

int OutputLayerSource::SoundingNotes() const {
    return out_.Shown().SoundingNotes();
}

uint32_t OutputLayerSource::DotRow(int r) const {
    return out_.DotRows[r - 1].load(kRelaxed);
}

bool OutputLayerSource::TakeKeyDirty(int c) {
    return out_.Shown().Channel(c).KeyDirty.exchange(0, kRelaxed) != 0;
}

bool OutputLayerSource::TakeDirty(int c) {
    return out_.Shown().Channel(c).Dirty.exchange(0, kRelaxed) != 0;
}

bool OutputLayerSource::TakeNoteOnFlag(int c) {
    return out_.Shown().Channel(c).NoteOnFlag.exchange(0, kRelaxed) != 0;
}

void OutputLayerSource::DecayLevels() {
    for (int c = 1; c <= midi::kChannelCount; ++c) {
        sequencer::ChannelState& ch = out_.Shown().Channel(c);
        if (ch.NoteCount.load(kRelaxed) != 0) continue;
        // A note-off that sets a new level meanwhile wins over this step.
        int level = ch.Level.load(kRelaxed);
        while (level > 0 && !ch.Level.compare_exchange_weak(level, level - 1, kRelaxed)) {
        }
    }
}

}  // namespace sonfara::display
