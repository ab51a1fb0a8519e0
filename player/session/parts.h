// The parts a playback session hands out: each a narrow face over the pieces
// the session owns, with the state only it needs. Every operation is made
// on the UI thread unless its comment says otherwise; each operation that
// may change what the snapshot shows ends with one OnStateChanged.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "player/files/favorites.h"
#include "player/files/file_op.h"
#include "player/files/shaping_catalog.h"
#include "player/platform/modes.h"
#include "player/sequencer/output_layer.h"
#include "player/sequencer/player.h"
#include "player/settings/settings_apply.h"
#include "player/settings/settings_model.h"
#include "player/song/lyrics.h"
#include "player/wrd/external_player.h"
#include "player/wrd/hex_font.h"
#include "player/wrd/sequencer_link.h"

namespace sonfara {

class PlaybackSession;
struct SessionEnv;

// kByFileOpenMode follows the list-mode setting; kListOnly replaces the play
// list and plays nothing (the command line).
enum class OpenMode { kByFileOpenMode, kReplace, kAppend, kListOnly };

// Play, pause, stop, seek, held stepping, speed, key and repeat.
class SessionTransport {
  public:
    void Play();  // out of pause or stop; nothing while playing
    void Pause();
    void Stop();
    void Restart();
    void SeekTo(int32_t ms);
    void SpeedUp();
    void SpeedDown();  // 10 % is the slowest
    // The speed in percent at once (command line); below 10 counts as 10.
    void SetSpeedPercent(int percent);
    void KeyUp();
    void KeyDown();
    void SetTranspose(int semitones);
    // Held fast forward / rewind: BeginStep on press (one step at once),
    // Step every 500 ms while held, EndStep on release (the seek).
    void BeginStep(bool forward);
    void Step();
    void EndStep();
    void SetRepeatMode(RepeatMode mode);
    // A-B repeat: the points at the current position (the snapshot's). B
    // with no A starts the section at 0; a B less than kMinLoopMs after A is
    // refused (false); a new A drops a B that would come too soon after it.
    // Playback loops between them until ClearAB or the next song.
    bool SetPointA();
    bool SetPointB();
    void ClearAB();
    // Both points at once; false, and nothing changes, unless
    // 0 <= a, a + kMinLoopMs <= b <= the song's length.
    bool SetAB(int32_t a, int32_t b);
    // The section the loop count repeats in place of the song's own loop
    // points, until the next song (the command line's render of an A-B
    // section); false, nothing changed, on the same terms as SetAB.
    bool SetLoopSection(int32_t startMs, int32_t endMs);
    // How late the timer thread sent what came due, since the start (the
    // benchmarks read it at the exit).
    const TimeHistogram& Lateness() const;

  private:
    friend class PlaybackSession;
    friend class SessionLibrary;  // a cleared song ends the stepping
    explicit SessionTransport(PlaybackSession& s) : s_(s) {}
    bool SectionFits(int32_t a, int32_t b) const;

    PlaybackSession& s_;
    int transpose_ = 0;
    bool stepping_ = false;
    int32_t seekStep_ = 0, seekOffset_ = 0, seekTarget_ = 0;
};

// The open pipeline, the play list, the recent list and the favourites.
class SessionLibrary {
  public:
    ~SessionLibrary();

    void OpenPaths(const std::vector<std::string>& paths,
                   OpenMode mode = OpenMode::kByFileOpenMode);
    // Play-list entries made elsewhere (the song library), opened the same way.
    void OpenEntries(std::vector<files::FileEntry> entries,
                     OpenMode mode = OpenMode::kByFileOpenMode);
    // Entry `index` (1-based) of the play list; false when it did not start.
    bool PlayEntry(int index);
    void Next();
    void Previous();
    // File-list menu item (0-based): nothing for the playing entry.
    void FileListClick(int item);
    // Removes entry `index` (1-based): later entries move up and the current
    // index follows its entry. The playing entry is kept (false).
    bool RemoveEntry(int index);
    files::SaveResult SaveList(const std::string& path);
    void OpenRecent(int item);  // 0-based
    void ClearRecent();
    // The empty song display: the song is dropped, no position, no texts,
    // no WRD presentation (a wake from the resident state with no files).
    void ClearSong();

    // What "add" proposes (title and prompt); nullopt with the message
    // shown when no song is loaded.
    std::optional<files::FavoriteProposal> BeginAddFavorite();
    bool FinishAddFavorite(const std::string& answer, const files::FavoriteProposal& proposal);
    bool RenameFavorite(int index, const std::string& newTitle);  // 0-based
    bool DeleteFavorite(int index);
    void OpenFavorite(int index);
    const std::vector<files::FavoriteEntry>& Favorites() const { return favorites_; }

    std::vector<files::PlayList::MenuItem> PlayListMenu() const;
    files::RecentList::Menu RecentMenu() const;
    const files::PlayList& List() const { return fileOp_.List(); }
    const files::RecentList& Recent() const { return fileOp_.Recent(); }
    const files::SongSource& CurrentSource() const { return fileOp_.Current(); }
    // The loaded song's tables and where playback stands in them (the event
    // list reads both).
    const SongTable& Song() const;
    const SongCursors& Cursors() const;
    // The loaded song's lyrics (made when it starts; empty ones when it has
    // none); null with no song.
    std::shared_ptr<const Lyrics> SongLyrics() const { return lyrics_; }
    // The last failure text of an open (port, load, timer).
    const std::string& LastError() const { return lastError_; }
    // The last open stopped because the output port did not open.
    bool PortFailed() const { return portFailed_; }
    // Songs tried so far, and whether the latest opened.
    int OpenAttempts() const { return openAttempts_; }
    bool LastOpenOk() const { return lastOpenOk_; }

  private:
    friend class PlaybackSession;
    friend class SessionOutput;    // a port change reports like an open
    friend class SessionSettings;  // the file settings follow the values
    class Target;
    SessionLibrary(PlaybackSession& s, const SessionEnv& env);
    void ReloadFavorites();
    void AfterOpen(int attemptsBefore);

    PlaybackSession& s_;
    std::unique_ptr<Target> target_;
    files::FileOp fileOp_;
    std::unique_ptr<SongOpener> opener_;
    std::vector<files::FavoriteEntry> favorites_;
    std::shared_ptr<const Lyrics> lyrics_;
    std::set<std::string> toldUnreadable_;  // favourite files already reported
    std::string lastError_;
    int openAttempts_ = 0;
    bool lastOpenOk_ = false;
    bool portFailed_ = false;
};

// The output port, the channels, programs, arrangement, EQ and effects.
class SessionOutput {
  public:
    // -1 the mapper, else a port of the menu. The choice is kept even when
    // the port does not open (the status says why).
    PlaybackStatus ChangePort(int device);
    void SetChannelEnabled(int channel, bool enabled);  // 1..16
    // The other-button switch: solo the channel, or end its solo.
    void ToggleSolo(int channel);
    void ChangeProgram(int channel, int program);  // instrument menu
    void SelectArrangement(int item);              // 0 none, else 1-based
    void SelectEq(int item);                       // 0 off, else 1-based
    void SelectReverb(int item);                   // 0 strong, 1 normal, 2 weak
    void SelectChorus(int item);
    // Reads the arrangement and EQ folders again; the selected arrangement
    // and EQ stay selected while a file of the same caption is still there.
    void ReloadShapingCatalog();
    const ShapingCatalog& Catalog() const;
    const std::vector<std::string>& PortNames() const;

    // Any thread: what the output layer shows of channel 1..16.
    const ChannelState& Channel(int channel) const;
    // The output layer itself, for the display, which reads it from any
    // thread and takes the flags it owns (see display::DisplaySource).
    OutputLayer& Layer();

  private:
    friend class PlaybackSession;
    explicit SessionOutput(PlaybackSession& s) : s_(s) {}

    PlaybackSession& s_;
    int solo_ = -1;
};

// The WRD presentation: the built-in interpreter and the plug-in.
class SessionPresentation {
  public:
    ~SessionPresentation();
    // The WRD window's periodic timer (MWRDTimer).
    void WrdTick();
    const wrd::Surface& WrdFrame();  // the frame as composed now
    // The built-in presentation's frame to the WRD window again (activation).
    void PresentWrdFrame();
    // The WRD window's paint: the plug-in draws into `dc` when it presents the
    // song and is not catching up after a seek. True if it drew.
    bool RepaintExternalWrd(void* dc);
    // Attaches the WRD plug-in if it is not attached (it may have been
    // installed since start-up).
    void AttachWrdPlugin();

  private:
    friend class PlaybackSession;
    friend class SessionLibrary;
    SessionPresentation(const SessionEnv& env, Player& player);
    void Detach();
    bool Active() const { return link_.BuiltinWrdActive() || link_.ExternalWrdActive(); }

    wrd::HeadlessWrdWindow headless_;
    // Japanese WRD text in the session's code page (read at the first glyph).
    wrd::HexFontGlyphs glyphs_;
    std::unique_ptr<wrd::ExternalWrdPlayer> external_;
    wrd::WrdSequencerLink link_;
};

// The settings values: read them, and change them in one place.
class SessionSettings final : public SettingsEditor {
  public:
    const SettingsValues& Values() const override;
    // Changes the values and applies what changed to the player, the sound
    // shaping, the file pipeline and the process priority; observers hear
    // OnSettingsChanged.
    void Edit(const std::function<void(SettingsValues&)>& change) override;

  private:
    friend class PlaybackSession;
    explicit SessionSettings(PlaybackSession& s) : s_(s) {}
    void ApplySynthBuffer(int frames);

    PlaybackSession& s_;
};

}  // namespace sonfara
