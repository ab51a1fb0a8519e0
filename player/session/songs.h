// The songs part of a playback session: the open pipeline (paths, play-list
// entries, next and previous, the empty song) and what the open leaves (the
// song, its lyrics, the outcome). UI thread; each operation that may change
// what the snapshot shows ends with one OnStateChanged.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "player/files/file_op.h"
#include "player/sequencer/player.h"
#include "player/session/core.h"
#include "player/song/lyrics.h"

namespace sonfara::session {

// kByFileOpenMode follows the list-mode setting; kListOnly replaces the play
// list and plays nothing (the command line).
enum class OpenMode { kByFileOpenMode, kReplace, kAppend, kListOnly };

// It owns the open pipeline's one target, the files::FileOp (play list,
// recent list, current song) and the opener that hands the list to the player.
class SessionSongs final : private SessionPart {
  public:
    explicit SessionSongs(SessionCore& core);
    ~SessionSongs();

    void OpenPaths(const std::vector<std::string>& paths,
                   OpenMode mode = OpenMode::kByFileOpenMode);
    // Play-list entries made elsewhere (the song library), opened the same way.
    void OpenEntries(std::vector<files::FileEntry> entries,
                     OpenMode mode = OpenMode::kByFileOpenMode);
    // Entry `index` (1-based) of the play list; false when it did not start.
    bool PlayEntry(int index);
    void Next();
    void Previous();
    // The empty song display: the song is dropped, no position, no texts,
    // no WRD presentation (a wake from the resident state with no files).
    void ClearSong();

    const files::SongSource& CurrentSource() const { return fileOp_.Current(); }
    // The loaded song's tables and where playback stands in them (the event
    // list reads both).
    const song::SongTable& Song() const;
    const sequencer::SongCursors& Cursors() const;
    // The loaded song's lyrics (made when it starts; empty ones when it has
    // none); null with no song.
    std::shared_ptr<const song::Lyrics> SongLyrics() const { return lyrics_; }
    // The last failure text of an open (port, load, timer) or port change.
    const std::string& LastError() const { return core_.LastError(); }
    // The last open stopped because the output port did not open.
    bool PortFailed() const { return portFailed_; }
    // Songs tried so far, and whether the latest opened.
    int OpenAttempts() const { return openAttempts_; }
    bool LastOpenOk() const { return lastOpenOk_; }

  private:
    class Target;
    void FillInfo(SessionInfo& info) const override;
    void ValuesChanged(const settings::SettingsValues& before,
                       const settings::SettingsValues& now) override;
    void ShutDown() override;
    void AfterOpen(int attemptsBefore);

    SessionCore& core_;
    std::unique_ptr<Target> target_;
    files::FileOp fileOp_;
    std::unique_ptr<sequencer::SongOpener> opener_;
    std::shared_ptr<const song::Lyrics> lyrics_;
    int openAttempts_ = 0;
    bool lastOpenOk_ = false;
    bool portFailed_ = false;
};

}  // namespace sonfara::session
