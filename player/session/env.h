// What a playback session is given: the platform pieces it works with and
// the places it reads and writes.
#pragma once

#include <cstdint>
#include <string>

#include "player/files/file_op.h"
#include "player/files/shaping_catalog.h"
#include "player/platform/clock.h"
#include "player/platform/codepage.h"
#include "player/platform/midi_port.h"
#include "player/platform/timer.h"
#include "player/settings/settings_model.h"
#include "player/wrd/external_player.h"
#include "player/wrd/hex_font.h"

namespace sonfara::session {

// The platform pieces and places a session works with. References are the
// caller's for the session's whole life (the process's clock, timer
// service, ports, UI queue, code page and message sink).
struct SessionEnv {
    SessionEnv(const platform::Clock& c, platform::TimerService& t, platform::MidiOutputSystem& p,
               sequencer::UiScheduler& u, const platform::CodePage& cp, files::Notifier& n,
               std::string work)
        : clock(c),
          timers(t),
          ports(p),
          ui(u),
          codePage(cp),
          notifier(n),
          workFolder(std::move(work)) {}

    const platform::Clock& clock;
    platform::TimerService& timers;
    platform::MidiOutputSystem& ports;
    sequencer::UiScheduler& ui;
    const platform::CodePage& codePage;
    files::Notifier& notifier;
    // The private work folder (archive members, converted songs).
    std::string workFolder;
    // Settings are loaded from it at construction and saved to it at
    // shut-down; nullptr keeps them in memory only.
    settings::SettingsStore* settingsStore = nullptr;
    // False: the store is only read (the command line).
    bool saveSettings = true;
    // Arrangement and EQ folders of the menus (empty: none).
    files::ShapingFolders shapingFolders;
    // Takes the stored ThreadMode at the load and each change of it;
    // nullptr: the process priority is left alone.
    platform::ProcessPriority* priority = nullptr;
    // Favourites folder; empty: no favourites are read or written.
    std::string favoriteFolder;
    // The WRD window that shows frames; nullptr: a headless one.
    wrd::WrdWindow* wrdWindow = nullptr;
    // The external WRD player plug-in and the native handle of the window it
    // draws in (an X11 window id on Linux); nullptr: built-in presentation only.
    wrd::WrdPluginLoader* wrdPlugin = nullptr;
    void* wrdWindowHandle = nullptr;
    files::Libraries libs = files::Libraries::Detect();
    // Song files at least this large are read on a worker thread (results
    // come through `ui`); the default never does.
    uintmax_t backgroundLoadBytes = UINTMAX_MAX;
};

}  // namespace sonfara::session
