// The settings part of a playback session. UI thread.
#pragma once

#include <functional>

#include "player/session/core.h"
#include "player/settings/settings_apply.h"
#include "player/settings/settings_model.h"

namespace sonfara::session {

// The settings values: read them, and change them in one place.
class SessionSettings final : public settings::SettingsEditor {
  public:
    explicit SessionSettings(SessionCore& core);
    const settings::SettingsValues& Values() const override;
    // Changes the values and applies what changed to the player, the sound
    // shaping, the file pipeline and the process priority; observers hear
    // OnSettingsChanged.
    void Edit(const std::function<void(settings::SettingsValues&)>& change) override;

  private:
    void ApplySynthBuffer(int frames);

    SessionCore& core_;
};

}  // namespace sonfara::session
