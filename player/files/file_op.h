// The road from a path to a playing song: validating and expanding paths
// into play-list entries, and carrying one entry through extraction,
// conversion and loading to a running sequencer.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "player/files/archive.h"
#include "player/files/companion.h"
#include "player/files/favorites.h"
#include "player/files/file_entry.h"
#include "player/files/list_file.h"
#include "player/files/play_list.h"
#include "player/platform/codepage.h"
#include "player/platform/modes.h"
#include "player/sequencer/messages.h"
#include "player/song/smf_reader.h"

namespace sonfara::files {

// The settings values the file layer reads and changes.
struct FileSettings {
    int32_t fileSort = 0;  // 1 sorts newly opened files by name
    std::string lastFolder = "0";
    platform::ModuleEmulation moduleEmulation;
    int32_t rcpLoopCount = 2;  // plays of an endless loop in a Recomposer song
};

// What the file layer asks of the player and the windows while it opens a
// song. The player implements it over its sequencer and output; tests use a
// recording double.
class PlaybackTarget {
  public:
    virtual ~PlaybackTarget() = default;
    virtual void ClearSongCaption() {}
    // Title, length and position labels and panels back to "no song".
    virtual void ResetSongDisplay() {}
    // Stops the WRD window's timer and the sequencer timer; returns when no
    // tick can run any more.
    virtual void StopTimer() = 0;
    // Opens the selected output port, or resets it when it is open. A
    // failure's message is the short text and below it what the port said
    // (no SoundFont: where it was looked for).
    virtual sequencer::PlaybackStatus OpenOrResetOutput() = 0;
    // All 16 channels enabled, channel labels back to black.
    virtual void EnableAllChannels() = 0;
    // Loads the SMF; the loader reports its own errors.
    virtual song::LoadStatus LoadSong(const std::string& path, const std::string& kindLabel,
                                      const std::string& fileName) = 0;
    // Or loads it on a worker thread (a large file): true when the target
    // took it; it then calls FileOp::FinishPendingEntry on the UI thread
    // once the song is read, and the open goes on from there.
    virtual bool LoadSongLater(const std::string& path, const std::string& kindLabel,
                               const std::string& fileName) {
        return false;
    }
    virtual void ResendPrograms() = 0;
    // External WRD player first, then the built-in interpreter.
    virtual void LoadWrd(const std::string& songPath) {}
    virtual void ResetModuleFlags() {}
    virtual bool StartTimer() = 0;
    // Length, titles, tooltips and the song's display text.
    virtual void SongStarted(const SongSource& song) {}
    // The timer could not be created: the program ends.
    virtual void RequestExit() = 0;
    // The menus changed: file list, recent list.
    virtual void FileListChanged() {}
    virtual void RecentChanged() {}
};

// Optional libraries as the file layer sees them; replaceable in tests.
struct Libraries {
    std::function<bool()> rcpConverter;         // default: the plug-in file exists
    std::function<bool()> smfkConverter;        // default: the plug-in file exists
    std::function<bool(ArchiveKind)> archiver;  // default: always (libarchive)
    static Libraries Detect();
};

struct FileContext {
    Notifier& notifier;
    std::string workFolder;  // with a trailing '/'
    const platform::CodePage& cp;
    Libraries libs = Libraries::Detect();
};

// True when the path may be opened; shows its own messages.
bool CheckFileKind(const std::string& path, const FileContext& ctx);

// Validated and expanded entries for paths, in order (list files and
// archives expanded); no sorting.
std::vector<FileEntry> ExpandPaths(const std::vector<std::string>& paths, const FileContext& ctx);

// Folders among the paths become their songs, as the folder command finds
// them; other paths stay as they are. Folders without songs are listed in
// emptyFolders when given, else named to the user through the notifier.
std::vector<std::string> WithFolderSongs(const std::vector<std::string>& paths,
                                         const FileContext& ctx,
                                         std::vector<std::string>* emptyFolders = nullptr);

// Resolves an entry to the file to load: extraction, RMI unwrapping,
// sequencer-format conversion (not module emulation; the plug-in where
// installed, else the built-in converter with `rcpLoops` plays of an endless
// loop). Messages as the open pipeline shows them.
struct ResolvedSong {
    enum Status { kOk, kNoPath, kFailed } status = kFailed;
    SongSource source;  // LoadedPath is the file to load
};
ResolvedSong ResolveEntry(const FileEntry& entry, const FileContext& ctx, int rcpLoops = 2);

// The songs of a folder: *.mid, *.rmi, and with sequencer formats
// *.rcp, *.g18, *.g36, *.r18, *.r36, *.mcp (extension order; by name within
// one extension; no sub-folders).
std::vector<std::string> ScanFolder(const std::string& folder, bool withSequencerFormats);

// Writes the song that plays as a Standard MIDI File at `target`: the file
// the player loaded (converted, unwrapped or as it was). False, with the
// message shown, when no song is loaded or the file cannot be written.
bool SaveSongAsSmf(const SongSource& song, const std::string& target, Notifier& notifier);

// The open and save dialogs' initial folder: DefDir unless it is empty or
// names no folder, else the current folder.
std::string DialogFolder(const std::string& defDir);
// The open dialog's answer (one path, or a folder then names) as full paths.
std::vector<std::string> DialogSelection(const std::vector<std::string>& pieces);

class FileOp {
  public:
    FileOp(PlaybackTarget& target, FileContext ctx);

    FileSettings& Settings() { return settings_; }
    PlayList& List() { return list_; }
    const PlayList& List() const { return list_; }
    RecentList& Recent() { return recent_; }
    const RecentList& Recent() const { return recent_; }
    const SongSource& Current() const { return current_; }
    bool SongLoaded() const { return !current_.LoadedPath.empty(); }
    FileContext& Context() { return ctx_; }

    // Opens paths into the play list (replace or append mode) and, in
    // replace mode, plays the first entry.
    void OpenFiles(const std::vector<std::string>& paths, bool append = false);
    // The same with entries made elsewhere (the song library's rows).
    void OpenEntries(std::vector<FileEntry> entries, bool append = false);
    // Replaces the play list with the paths' entries and plays nothing
    // (the command line, which then picks the entry to play).
    void ListFiles(const std::vector<std::string>& paths);

    // True only when the song was loaded and the sequencer timer runs, or
    // when the target loads it later (see PlaybackTarget::LoadSongLater).
    bool PlayEntry(const FileEntry& entry);
    // The rest of an open whose song the target loaded later; true when it
    // started.
    bool FinishPendingEntry(const song::LoadStatus& loaded);

    // Plays entry k as it stands (the index is the caller's): the end of a
    // song and the player's next/previous come here.
    bool PlayIndex(int k);

    // The save command after the dialog.
    SaveResult SaveListAs(const std::string& chosenPath);

    // Add-favourite command, first half: what to remember and the input
    // box's prompt; "ファイルがありません" and nothing when no song is loaded.
    std::optional<FavoriteProposal> BeginAddFavorite(const std::string& songTitle);
    // Second half with the user's answer: an empty answer ends the command;
    // otherwise the favourite is written (a failure is shown) and true returned
    // when the favourites must be reread.
    bool FinishAddFavorite(const std::string& folder, const std::string& answer,
                           const FavoriteProposal& proposal);

  private:
    std::string EmulationOutput(const std::string& path);
    bool FinishEntry(const SongSource& s, const song::LoadStatus& loaded);

    PlaybackTarget& target_;
    FileContext ctx_;
    FileSettings settings_;
    PlayList list_;
    RecentList recent_;
    SongSource current_;
    SongSource pending_;  // the song the target loads later
};

}  // namespace sonfara::files
