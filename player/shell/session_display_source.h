// The channel display's view of the playback session. Threads as in
// DisplaySource: reads from any thread, each Take from its owner.
#pragma once

#include "player/display/display_source.h"
#include "player/session/session.h"

namespace sonfara::shell {

class SessionDisplaySource final : public display::DisplaySource {
  public:
    explicit SessionDisplaySource(PlaybackSession& session) : session_(session) {}
    const ChannelState& Channel(int c) const override { return session_.Channel(c); }
    int SoundingNotes() const override { return session_.SoundingNotes(); }
    std::string BpmText() const override { return session_.Snapshot().bpmText; }
    uint32_t DotRow(int r) const override { return session_.DotRow(r); }
    bool TakeKeyDirty(int c) override { return session_.TakeKeyDirty(c); }
    bool TakeDirty(int c) override { return session_.TakeDirty(c); }
    bool TakeNoteOnFlag(int c) override { return session_.TakeNoteFlag(c); }
    void DecayLevels() override { session_.DecayLevels(); }

  private:
    PlaybackSession& session_;
};

}  // namespace sonfara::shell
