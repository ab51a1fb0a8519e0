// What a front end reads of a playback session and the hooks it is told by.
#pragma once

#include <cstdint>
#include <string>

#include "player/platform/modes.h"
#include "player/settings/settings_model.h"

namespace sonfara::session {

// One consistent read of what the windows show.
struct SessionSnapshot {
    int32_t positionMs = 0;  // while stepping: the step's target
    int32_t totalMs = 0;
    int32_t currentTick = 0;
    int32_t bar = 0;   // 0-based, as the position readout shows it
    int32_t beat = 1;  // 1-based
    int32_t elapsedSeconds = 0;
    std::string bpmText;
    std::string displayText;      // system-code-page bytes (what peers are sent)
    std::string displayTextUtf8;  // the same, for showing
    int speedPercent = 100;
    int transpose = 0;  // semitones
    bool flagGS = false, flagXG = false, flagGM = false;
    std::string moduleName;
    std::string fileKind;  // "SMF Format 1", ...
    std::string title;     // UTF-8
    std::string fileName;
    int playListCount = 0;
    int playListIndex = 0;  // 1-based, 0 before any
    platform::RepeatMode repeatMode = platform::RepeatMode::kList;
    bool loaded = false;
    bool loading = false;     // a large song is being read on a worker thread
    double loadFraction = 0;  // how far, 0..1
    bool started = false;     // the first tick has run
    bool paused = false;
    bool playing = false;  // the sequencer timer runs
    bool stepping = false;
    bool wrdActive = false;
    int soloChannel = -1;  // 0..15, -1 none
    // Loops: positionMs stays the song position and totalMs the song's
    // length; loops.totalMs is the length the loops and the fade give and
    // loops.positionMs how far through it playback is.
    struct Loops {
        int32_t pointA = -1, pointB = -1;  // A-B repeat points (ms), -1 not set
        int32_t startMs = -1, endMs = -1;  // the section the loop count repeats, -1 none
        int count = 0;                     // the setting: 0 off, 1..9, kEndlessLoops
        int done = 0;                      // jumps back to the loop start in this run
        bool fading = false;               // the fade after the last loop runs
        int32_t totalMs = 0;               // -1: never ends
        int32_t positionMs = 0;
    } loops;
};

// Which list of the menus changed.
enum class SessionList {
    kPlayList,   // entries or check mark
    kRecent,     // the recent files
    kFavorites,  // the favourites folder was read again
};

// Hooks of a front end. The comment of each says which thread calls it.
// Timer-thread hooks only set flags or enqueue, and must not add or remove
// observers. After RemoveObserver returns no hook runs on that observer.
class SessionObserver {
  public:
    virtual ~SessionObserver() = default;

    // --- UI thread ---------------------------------------------------------
    // After every operation that may have changed transport, song, speed,
    // key, repeat or list state (also the end of a song, which the timer
    // thread posts): the state as it stands now.
    virtual void OnStateChanged(const SessionSnapshot& state) {}
    // A play-list entry was opened (ok) or failed; titleText is what the
    // title label shows: the song title, or the failure text (empty when
    // the open left none).
    virtual void OnSongOpened(int index, bool ok, const std::string& titleText) {}
    // The stop-at-end action ran.
    virtual void OnStoppedAtEnd() {}
    virtual void OnListChanged(SessionList which) {}
    // Settings().Edit changed the values (after they were applied).
    virtual void OnSettingsChanged(const settings::SettingsValues& values) {}
    // The arrangement and EQ files were read again (the menus rebuild).
    virtual void OnCatalogChanged() {}
    // A notice for the desktop companion (code-page bytes).
    virtual void OnNotice(const std::string& noticeBytes) {}
    // The sequencer timer could not be made (the message was shown): the
    // program ends.
    virtual void OnFatalError() {}
    // Asked before the end of a song opens the next entry; false keeps the
    // player stopped (a command line that plays its list once).
    virtual bool AllowAutoOpen(int index) { return true; }

    // --- Timer thread (or the UI thread inside a transport operation) ------
    virtual void OnModuleIndicator() {}  // a module reset passed (MIDIDisp)
    virtual void OnDotPicture() {}       // the GS dot picture changed
    virtual void OnClearMeters() {}
};

}  // namespace sonfara::session
