// The one object a front end holds: the player with its output and
// sequencer, the file pipeline with its play list, recent list and
// favourites, the WRD presentation and the settings values, wired and
// destroyed in one fixed order.
//
// Threads.
// - The UI thread (the thread that constructs the session) makes every
//   operation, Shutdown and the destruction, and receives every UI-thread
//   hook of SessionObserver.
// - The sequencer's timer thread plays the song; the session's timer-thread
//   hooks come from it (or from a transport operation on the UI thread while
//   the timer is held).
// - Any thread (the drawing thread, MPRIS, a test's reader) may call
//   Snapshot, Channel, TakeDirty/TakeKeyDirty/TakeNoteFlag, DotRow,
//   AddObserver and RemoveObserver.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "player/files/favorites.h"
#include "player/files/file_op.h"
#include "player/files/player_target.h"
#include "player/files/shaping_catalog.h"
#include "player/platform/clock.h"
#include "player/platform/codepage.h"
#include "player/platform/midi_port.h"
#include "player/platform/timer.h"
#include "player/sequencer/player.h"
#include "player/settings/settings_model.h"
#include "player/wrd/external_player.h"
#include "player/wrd/hex_font.h"
#include "player/wrd/sequencer_link.h"

namespace sonfara {

// The platform pieces and places a session works with. References are the
// caller's for the session's whole life (the process's clock, timer
// service, ports, UI queue, code page and message sink).
struct SessionEnv {
    SessionEnv(const Clock& c, TimerService& t, MidiOutputSystem& p, UiScheduler& u,
               const CodePage& cp, files::Notifier& n, std::string work)
        : clock(c), timers(t), ports(p), ui(u), codePage(cp), notifier(n),
          workFolder(std::move(work)) {}

    const Clock& clock;
    TimerService& timers;
    MidiOutputSystem& ports;
    UiScheduler& ui;
    const CodePage& codePage;
    files::Notifier& notifier;
    // The private work folder (archive members, converted songs).
    std::string workFolder;
    // Settings are loaded from it at construction and saved to it at
    // shut-down; nullptr keeps them in memory only.
    SettingsStore* settingsStore = nullptr;
    // False: the store is only read (the command line).
    bool saveSettings = true;
    // Arrangement and EQ folders of the menus (empty: none).
    ShapingFolders shapingFolders;
    // Favourites folder; empty: no favourites are read or written.
    std::string favoriteFolder;
    // The WRD window that shows frames; nullptr: a headless one.
    wrd::WrdWindow* wrdWindow = nullptr;
    // The external WRD player plug-in and the native handle of the window it
    // draws in (an X11 window id on Linux); nullptr: built-in presentation only.
    wrd::WrdPluginLoader* wrdPlugin = nullptr;
    void* wrdWindowHandle = nullptr;
    files::Libraries libs = files::Libraries::Detect();
};

// kListOnly replaces the play list and plays nothing (the command line).
enum class OpenMode { kByFileOpenMode, kReplace, kAppend, kListOnly };

// One consistent read of what the windows show.
struct SessionSnapshot {
    int32_t positionMs = 0;  // while stepping: the step's target
    int32_t totalMs = 0;
    int32_t currentTick = 0;
    int32_t bar = 0;   // 0-based, as the position readout shows it
    int32_t beat = 1;  // 1-based
    int32_t elapsedSeconds = 0;
    std::string bpmText;
    std::string displayText;      // code-page bytes
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
    RepeatMode repeatMode = RepeatMode::kList;
    bool loaded = false;
    bool started = false;  // the first tick has run
    bool paused = false;
    bool playing = false;  // the sequencer timer runs
    bool stepping = false;
    bool wrdActive = false;
    int soloChannel = -1;  // 0..15, -1 none
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
    // title label shows: the song title, or the failure text.
    virtual void OnSongOpened(int index, bool ok, const std::string& titleText) {}
    // The stop-at-end action ran.
    virtual void OnStoppedAtEnd() {}
    // Play list entries or check mark changed.
    virtual void OnListChanged() {}
    virtual void OnRecentChanged() {}
    virtual void OnFavoritesChanged() {}
    // The arrangement and EQ files were read again (the menus rebuild).
    virtual void OnCatalogChanged() {}
    // A song failed to load; text is the title label's failure text.
    virtual void OnLoadFailed(const std::string& text) {}
    // A notice for the desktop companion (code-page bytes).
    virtual void OnNotice(const std::string& noticeBytes) {}
    // Asked before the end of a song opens the next entry; false keeps the
    // player stopped (a command line that plays its list once).
    virtual bool AllowAutoOpen(int index) { return true; }

    // --- Timer thread (or the UI thread inside a transport operation) ------
    virtual void OnModuleIndicator() {}  // a module reset passed (MIDIDisp)
    virtual void OnDotPicture() {}       // the GS dot picture changed
    virtual void OnClearMeters() {}
    virtual void OnClearKeyboard() {}
};

class PlaybackSession final : private PlayerObserver, private OutputObserver,
                              private LoadObserver {
  public:
    explicit PlaybackSession(SessionEnv env);
    ~PlaybackSession() override;
    PlaybackSession(const PlaybackSession&) = delete;
    PlaybackSession& operator=(const PlaybackSession&) = delete;

    // --- Files and the play list (UI thread) --------------------------------
    void OpenPaths(const std::vector<std::string>& paths,
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

    // --- Transport (UI thread) ---------------------------------------------
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

    // --- Output and sound (UI thread) --------------------------------------
    // -1 the mapper, else a port of the menu; the open's result code.
    int ChangePort(int device);
    void SetChannelEnabled(int channel, bool enabled);  // 1..16
    // The other-button switch: solo the channel, or end its solo.
    void ToggleSolo(int channel);
    void ChangeProgram(int channel, int program);  // instrument menu
    void SelectArrangement(int item);              // 0 none, else 1-based
    // Reads the arrangement and EQ folders again; the selected arrangement
    // and EQ stay selected while a file of the same caption is still there.
    void ReloadShapingCatalog();
    // The empty song display: the song is dropped, no position, no texts,
    // no WRD presentation (a wake from the resident state with no files).
    void ClearSong();
    void SelectEq(int item);                       // 0 off, else 1-based
    void SelectReverb(int item);                   // 0 strong, 1 normal, 2 weak
    void SelectChorus(int item);
    void SetRepeatMode(RepeatMode mode);
    // Every value at once; the sequencer timer restarts with a new period
    // when a song plays.
    void ApplySettings(const SettingsValues& values);

    // --- Favourites (UI thread) --------------------------------------------
    // What "add" proposes (title and prompt); nullopt with the message
    // shown when no song is loaded.
    std::optional<files::FavoriteProposal> BeginAddFavorite();
    bool FinishAddFavorite(const std::string& answer, const files::FavoriteProposal& proposal);
    bool RenameFavorite(int index, const std::string& newTitle);  // 0-based
    bool DeleteFavorite(int index);
    void OpenFavorite(int index);
    const std::vector<files::FavoriteEntry>& Favorites() const { return favorites_; }

    // --- WRD (UI thread) ---------------------------------------------------
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

    // Silences and resets the port, closes it, drops pending end-of-song
    // actions and saves the settings. Idempotent; the destructor calls it.
    void Shutdown();
    // The resident hide: stops the timer, silences, resets and closes the
    // port and saves the settings, but stays usable; the next open opens
    // the port again.
    void Suspend();
    // Window placement in twips, stored with the settings.
    void SetWindowPlacement(int32_t ctlTop, int32_t ctlLeft, int32_t mainTop, int32_t mainLeft);
    // The main window's panel (WindowType) and full/rolled state (WindowStyle).
    void SetMainWindowLayout(int32_t panel, bool full);

    // --- Reading (any thread) ----------------------------------------------
    SessionSnapshot Snapshot() const;
    const ChannelState& Channel(int channel) const;  // 1..16
    // Each clears one flag and tells whether it was set; the display that
    // owns the flag calls it.
    bool TakeDirty(int channel);
    bool TakeKeyDirty(int channel);
    bool TakeNoteFlag(int channel);
    uint32_t DotRow(int row) const;  // 1..16, bit (column - 1)
    int SoundingNotes() const;
    // One meter decay step for channels with no sounding note (the display's
    // MeterInterval; UI thread).
    void DecayLevels();

    void AddObserver(SessionObserver* o);
    void RemoveObserver(SessionObserver* o);

    // --- Menus (UI thread) -------------------------------------------------
    std::vector<files::PlayList::MenuItem> PlayListMenu() const;
    files::RecentList::Menu RecentMenu() const;
    const files::PlayList& List() const { return fileOp_.List(); }
    const ShapingCatalog& Catalog() const { return catalog_; }
    const SettingsValues& Settings() const { return values_; }
    std::vector<std::string> PortNames() const { return portNames_; }
    const files::SongSource& CurrentSource() const { return fileOp_.Current(); }
    // The loaded song's tables (the event list reads them; UI thread).
    const SongTable& Song() const { return player_.Song(); }
    // The last failure text of an open (port, load, timer).
    const std::string& LastError() const { return lastError_; }
    // The last open stopped because the output port did not open.
    bool PortFailed() const;
    // Songs the session tried to open so far, and whether the latest opened.
    int OpenAttempts() const { return openAttempts_; }
    bool LastOpenOk() const { return lastOpenOk_; }

  private:
    class Target;
    class GuardedUi final : public UiScheduler {
      public:
        GuardedUi(UiScheduler& ui, std::shared_ptr<std::atomic<bool>> alive)
            : ui_(ui), alive_(std::move(alive)) {}
        void Post(std::function<void()> action) override;

      private:
        UiScheduler& ui_;
        std::shared_ptr<std::atomic<bool>> alive_;
    };
    // What the snapshot reads that the UI thread owns.
    struct SongInfo {
        bool loaded = false;
        int32_t totalMs = 0;
        int32_t ticksPerQuarter = 480;
        int32_t beatQuarters = 4;
        std::string fileKind, title, fileName;
        int listCount = 0, listIndex = 0;
        RepeatMode repeatMode = RepeatMode::kList;
        int transpose = 0;
        int soloChannel = -1;
        bool stepping = false;
        int32_t stepTarget = 0;
    };

    // Publishes OnStateChanged when the outermost operation returns.
    class StateChange {
      public:
        explicit StateChange(PlaybackSession& s) : s_(s) { ++s_.stateDepth_; }
        ~StateChange();
        StateChange(const StateChange&) = delete;
        StateChange& operator=(const StateChange&) = delete;

      private:
        PlaybackSession& s_;
    };

    // PlayerObserver
    void OnSongOpened(int index, bool ok, const std::string& message) override;
    void OnStoppedAtEnd() override;
    bool AllowAutoOpen(int index) override;
    // OutputObserver (timer thread)
    void OnModuleIndicator() override;
    void OnDotPicture() override;
    void OnClearMeters() override;
    void OnClearKeyboard() override;
    // LoadObserver
    void OnLoadNotice(const std::string& noticeBytes) override;

    // Runs `hook` on every UI-thread observer still registered when its turn comes.
    template <typename F>
    void ForEachObserver(F hook);
    template <typename F>
    void ForEachObserverLocked(F hook);
    void AfterFileOpOpen(int attemptsBefore);
    void RefreshInfo();
    void SongStarted();
    void SongFailed(const std::string& text);
    void ApplyShaping();
    void ReloadFavorites();
    void SyncValuesForSave();
    void SaveStoredSettings();
    bool SongLoaded() const { return player_.Song().Loaded; }

    SessionEnv env_;
    std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
    GuardedUi ui_{env_.ui, alive_};
    ShapingCatalog catalog_;
    std::vector<std::string> portNames_;
    SettingsValues values_;
    Player player_;
    std::unique_ptr<Target> targetOwner_;
    Target& target_;
    files::FileOp fileOp_;
    files::FilesSongOpener opener_{fileOp_};
    wrd::HeadlessWrdWindow headlessWrd_;
    // Japanese WRD text in the session's code page (read at the first glyph).
    wrd::HexFontGlyphs glyphs_{env_.codePage};
    std::unique_ptr<wrd::ExternalWrdPlayer> externalWrd_;
    wrd::WrdSequencerLink link_;
    std::vector<files::FavoriteEntry> favorites_;

    // observersMu_ guards the list and is held around timer-thread hooks;
    // uiHooksMu_ is held around UI-thread hooks (recursive: a hook may call
    // the session again). RemoveObserver takes both, so it returns only
    // when no hook runs on the observer. The timer thread never takes
    // uiHooksMu_, so a UI hook may kill the timer.
    mutable std::mutex observersMu_;
    std::recursive_mutex uiHooksMu_;
    std::vector<SessionObserver*> observers_;

    mutable std::mutex infoMu_;
    SongInfo info_;

    // UI-thread state.
    std::string lastError_;
    int transpose_ = 0;
    int solo_ = -1;
    bool stepping_ = false;
    int32_t seekStep_ = 0, seekOffset_ = 0, seekTarget_ = 0;
    int openAttempts_ = 0;
    int stateDepth_ = 0;
    bool lastOpenOk_ = false;
    bool shutDown_ = false;
    bool saveFailureTold_ = false;
    std::set<std::string> toldUnreadable_;  // favourite files already reported
};

}  // namespace sonfara
