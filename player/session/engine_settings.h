// The stored settings values turned into what the engine's pieces read:
// the sequencer's and output layer's PlaybackSettings, the active
// arrangement and EQ, and the file layer's own switches. The session is
// the one layer that knows the settings model, the sequencer and the file
// layer, so the adapter between them lives here; they stay unaware of each
// other.
#pragma once

#include <string>
#include <vector>

#include "player/files/file_op.h"
#include "player/files/shaping_catalog.h"
#include "player/sequencer/playback_settings.h"
#include "player/sequencer/sound_shaping.h"
#include "player/settings/settings_model.h"

namespace sonfara::session {

// The menus LoadSettings checks the stored captions and port name against.
settings::SettingsMenus MenusFor(const files::ShapingCatalog& catalog,
                                 std::vector<std::string> ports);

// Values as LoadSettings left them (ArrMode already checked against its
// caption, OutDevice -1 when the stored port is gone). Values no timer or
// menu can use fall back to their defaults.
sequencer::PlaybackSettings PlaybackSettingsFromValues(const settings::SettingsValues& v);
// ArrMode's arrangement entry and, when EQ is active, the EqItem preset.
sequencer::SoundShaping SoundShapingFromValues(const settings::SettingsValues& v,
                                               const files::ShapingCatalog& catalog);
files::FileSettings FileSettingsFromValues(const settings::SettingsValues& v);
}  // namespace sonfara::session
