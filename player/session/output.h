// The output part of a playback session. UI thread unless a comment says
// otherwise.
#pragma once

#include <string>
#include <vector>

#include "player/files/shaping_catalog.h"
#include "player/sequencer/output_layer.h"
#include "player/session/core.h"

namespace sonfara::session {

// The output port, the channels, programs, arrangement, EQ and effects.
class SessionOutput final : private SessionPart {
  public:
    explicit SessionOutput(SessionCore& core);
    // -1 the mapper, else a port of the menu. The choice is kept even when
    // the port does not open (the status says why).
    sequencer::PlaybackStatus ChangePort(int device);
    void SetChannelEnabled(int channel, bool enabled);  // 1..16
    // The other-button switch: solo the channel, or end its solo.
    void ToggleSolo(int channel);
    void ChangeProgram(int channel, int program);  // instrument menu
    void SelectArrangement(int item);              // 0 none, else 1-based
    void SelectEq(int item);                       // 0 off, else 1-based
    void SelectReverb(int item);                   // 0 strong, 1 normal, 2 weak
    void SelectChorus(int item);
    // Reads the arrangement and EQ folders again; the selected arrangement
    // and EQ stay selected while a file of the same caption is still there.
    void ReloadShapingCatalog();
    const files::ShapingCatalog& Catalog() const;
    const std::vector<std::string>& PortNames() const;

    // Any thread: what the output layer shows of channel 1..16.
    const sequencer::ChannelState& Channel(int channel) const;
    // The output layer itself, for the display, which reads it from any
    // thread and takes the flags it owns (see display::DisplaySource).
    sequencer::OutputLayer& Layer();

  private:
    void FillInfo(SessionInfo& info) const override;
    void ValuesChanged(const settings::SettingsValues& before,
                       const settings::SettingsValues& now) override;

    SessionCore& core_;
    int solo_ = -1;
};

}  // namespace sonfara::session
