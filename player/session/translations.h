// Every engine layer's English message table, registered in one call.
#pragma once

#include <string>

#include "player/platform/language.h"

namespace sonfara::session {

// Registers the tables of the file, song, playback, settings, WRD, session
// and platform layers (language.h). The program and the command line call
// it once at start-up, before any thread starts; calling it again is harmless.
void RegisterEngineTranslations();

// The language of this run: the setting "言語 / Language" stored at
// `settingsPath` (only read), else the locale the environment names for
// messages. Sets it process-wide and registers the tables; returns it.
platform::Language StartUiLanguage(const std::string& settingsPath);

}  // namespace sonfara::session
