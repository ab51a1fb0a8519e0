// What the player process runs on: the real clock, timers and ports, or
// the tests' manual ones with a recording port. Made and read on the UI
// thread.
#pragma once

#include <string>
#include <vector>

#include "player/platform/clock.h"
#include "player/platform/midi_port.h"
#include "player/platform/timer.h"

namespace sonfara::dialogs {
class Prompts;
}

namespace sonfara::shell {

struct AppPlatform {
    const platform::Clock& clock;
    platform::TimerService& timers;
    platform::MidiOutputSystem& ports;
    // Message boxes go to standard error instead (tests).
    bool quietMessages = false;
    // Writes the freedesktop file-type registration at start-up.
    bool registerFileTypes = true;
    // Publishes the MPRIS service on the session bus.
    bool mpris = true;
    // The dialogs' message and input boxes; nullptr: the real ones.
    dialogs::Prompts* prompts = nullptr;
    // Where the WRD player plug-in is looked for; empty: the program's
    // folder and the system library folders.
    std::vector<std::string> wrdPluginFolders = {};
    // The SoundFont the command line named for this run (the ports already
    // use it); audio exports use it too. Empty: the usual search.
    std::string soundFont = {};
};

}  // namespace sonfara::shell
