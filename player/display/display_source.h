// What the channel display reads from the engine. The display never writes
// engine state except through the few operations below, each of which
// touches only a flag or value the display owns by design.
#pragma once

#include <cstdint>
#include <string>

#include "player/sequencer/output_layer.h"

namespace sonfara::display {

class DisplaySource {
  public:
    virtual ~DisplaySource() = default;

    // Any display thread, before a pass reads: what is shown moves up to
    // now (the sound may be heard a latency after it is sent).
    virtual void CatchUp() {}
    // Any thread: plain reads of relaxed atomics.
    virtual const sequencer::ChannelState& Channel(int c) const = 0;  // 1..16
    virtual int SoundingNotes() const = 0;
    virtual std::string BpmText() const = 0;
    // Row r (1..16) of the last dot picture: bit j - 1 set when column j is lit.
    virtual uint32_t DotRow(int r) const = 0;

    // Each returns the flag's value and clears it in one step, so a change
    // that lands while the channel is being drawn raises it again and is
    // drawn on the next pass instead of being lost.
    virtual bool TakeKeyDirty(int c) = 0;    // drawing thread
    virtual bool TakeDirty(int c) = 0;       // UI thread (knobs)
    virtual bool TakeNoteOnFlag(int c) = 0;  // UI thread (lamps)
    // One decay step: every channel with no sounding note and a level above
    // 0 loses one step. UI thread.
    virtual void DecayLevels() = 0;
};

// The source over an output layer: what tests and tools use until a
// playback session provides its own.
class OutputLayerSource final : public DisplaySource {
  public:
    explicit OutputLayerSource(sequencer::OutputLayer& out) : out_(out) {}
    void CatchUp() override { out_.Shown().CatchUp(); }
    const sequencer::ChannelState& Channel(int c) const override { return out_.Shown().Channel(c); }
    int SoundingNotes() const override;
    std::string BpmText() const override { return out_.BPMText.Get(); }
    uint32_t DotRow(int r) const override;
    bool TakeKeyDirty(int c) override;
    bool TakeDirty(int c) override;
    bool TakeNoteOnFlag(int c) override;
    void DecayLevels() override;

  private:
    sequencer::OutputLayer& out_;
};

}  // namespace sonfara::display
