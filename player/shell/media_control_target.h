// What desktop media controls (MPRIS) may see of and do to the player.
// SessionMediaTarget (media_target.h) implements it over the playback
// session; the shell's MPRIS service only calls it.
// Every function is called on the UI thread.
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <optional>

#include "player/platform/modes.h"

namespace sonfara::shell {

struct MediaState {
    enum class Status { kStopped, kPlaying, kPaused };
    Status status = Status::kStopped;
    bool loaded = false;  // a song is loaded (it may be stopped)
    qint64 positionUs = 0;
    qint64 lengthUs = 0;
    QString title;      // the song title as shown, UTF-8 already
    QString filePath;   // local path of the song file; "" when none
    int listIndex = 0;  // 1-based play-list entry, 0 when none
    int listCount = 0;
    double rate = 1.0;  // speed, 1.0 = 100 %
    platform::RepeatMode repeatMode = platform::RepeatMode::kList;
    QString lyrics;  // the song's whole lyrics text; "" when none

    bool operator==(const MediaState&) const = default;
};

// Repeat modes in desktop terms. RepeatMode 0 (every song, after the last
// the first) is Playlist; 1 (the same song again) is Track; 2 (a random
// entry, endlessly) is Playlist with Shuffle; 3 (stop at the end) is None.
struct LoopShuffle {
    QString loopStatus;  // "None", "Track" or "Playlist"
    bool shuffle = false;
};
LoopShuffle LoopShuffleFromRepeatMode(platform::RepeatMode repeatMode);
// A new loop status keeps shuffle as it was; "Playlist" with shuffle on is
// random. nullopt for an unknown status.
std::optional<platform::RepeatMode> RepeatModeFromLoopStatus(const QString& loopStatus,
                                                             platform::RepeatMode current);
// Shuffle on is random; shuffle off turns random into the list and keeps any other.
platform::RepeatMode RepeatModeFromShuffle(bool shuffle, platform::RepeatMode current);

class MediaControlTarget {
  public:
    virtual ~MediaControlTarget() = default;

    virtual MediaState State() const = 0;

    virtual void Play() = 0;
    virtual void Pause() = 0;
    virtual void PlayPause() = 0;
    virtual void Stop() = 0;
    virtual void Next() = 0;
    virtual void Previous() = 0;
    // Absolute position in microseconds, already clamped to 0..length.
    virtual void SetPosition(qint64 positionUs) = 0;
    // Paths as the file-open pipeline takes them. Returns the failure's
    // message ("" when the songs opened, or when the open was queued).
    virtual QString OpenPaths(const QStringList& paths) = 0;
    virtual void Raise() = 0;
    // Close as the exit menu entry does.
    virtual void Quit() = 0;
    // Rate 0.1 or more; the player rounds it to its own speed steps.
    virtual void SetRate(double rate) = 0;
    virtual void SetRepeatMode(platform::RepeatMode repeatMode) = 0;
};

}  // namespace sonfara::shell
