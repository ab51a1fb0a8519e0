// The one object a front end holds: the player with its output and
// sequencer, the file pipeline with its play list, recent list and
// favourites, the WRD presentation and the settings values, wired and
// destroyed in one fixed order. Front ends work through its parts
// (Transport, Songs, Lists, Output, Presentation, Settings), each in a
// header of its own; the parts share only the session's core (core.h).
//
// Threads.
// - The UI thread (the thread that constructs the session) makes every
//   operation, Shutdown and the destruction, and receives every UI-thread
//   hook of SessionObserver.
// - The sequencer's timer thread plays the song; the session's timer-thread
//   hooks come from it (or from a transport operation on the UI thread while
//   the timer is held).
// - Any thread (the drawing thread, MPRIS, a test's reader) may call
//   Snapshot, Output().Channel and Output().Layer(), AddObserver and
//   RemoveObserver.
#pragma once

#include "player/session/core.h"
#include "player/session/env.h"
#include "player/session/lists.h"
#include "player/session/observer.h"
#include "player/session/output.h"
#include "player/session/presentation.h"
#include "player/session/settings.h"
#include "player/session/songs.h"
#include "player/session/transport.h"

namespace sonfara::session {

class PlaybackSession final {
  public:
    explicit PlaybackSession(SessionEnv env);
    ~PlaybackSession();
    PlaybackSession(const PlaybackSession&) = delete;
    PlaybackSession& operator=(const PlaybackSession&) = delete;

    // The parts (UI thread, except what their comments say).
    SessionTransport& Transport() { return transport_; }
    SessionSongs& Songs() { return songs_; }
    const SessionSongs& Songs() const { return songs_; }
    SessionLists& Lists() { return lists_; }
    const SessionLists& Lists() const { return lists_; }
    SessionOutput& Output() { return output_; }
    SessionPresentation& Presentation() { return presentation_; }
    SessionSettings& Settings() { return settings_; }
    const SessionSettings& Settings() const { return settings_; }

    // Silences and resets the port, closes it, drops pending end-of-song
    // actions and saves the settings. Idempotent; the destructor calls it.
    void Shutdown() { core_.Shutdown(); }
    // The resident hide: stops the timer, silences, resets and closes the
    // port and saves the settings, but stays usable; the next open opens
    // the port again.
    void Suspend() { core_.Suspend(); }

    // Any thread.
    SessionSnapshot Snapshot() const { return core_.Snapshot(); }
    void AddObserver(SessionObserver* o) { core_.AddObserver(o); }
    void RemoveObserver(SessionObserver* o) { core_.RemoveObserver(o); }

  private:
    // The parts tell each other what concerns them in this order (the
    // songs' file switches before the output's catalog, the opener
    // detached before the WRD plug-in) and go in the reverse one.
    SessionCore core_;
    SessionTransport transport_{core_};
    SessionSongs songs_{core_};
    SessionLists lists_{core_, songs_};
    SessionOutput output_{core_};
    SessionSettings settings_{core_};
    SessionPresentation presentation_{core_};
};

}  // namespace sonfara::session
