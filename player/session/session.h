// The one object a front end holds: the player with its output and
// sequencer, the file pipeline with its play list, recent list and
// favourites, the WRD presentation and the settings values, wired and
// destroyed in one fixed order. Front ends work through its parts
// (Transport, Library, Output, Presentation, Settings; see parts.h).
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

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "player/files/file_op.h"
#include "player/files/shaping_catalog.h"
#include "player/platform/clock.h"
#include "player/platform/codepage.h"
#include "player/platform/midi_port.h"
#include "player/platform/text_decoding.h"
#include "player/platform/timer.h"
#include "player/sequencer/player.h"
#include "player/session/parts.h"
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
        : clock(c),
          timers(t),
          ports(p),
          ui(u),
          codePage(cp),
          notifier(n),
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
    // Takes the stored ThreadMode at the load and each change of it;
    // nullptr: the process priority is left alone.
    ProcessPriority* priority = nullptr;
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
    RepeatMode repeatMode = RepeatMode::kList;
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
    // length; loopedTotalMs is the length the loops and the fade give (-1:
    // never ends) and loopedPositionMs how far through it playback is.
    int32_t pointA = -1, pointB = -1;          // A-B repeat points (ms), -1 not set
    int32_t loopStartMs = -1, loopEndMs = -1;  // the section the loop count repeats, -1 none
    int loopCount = 0;                         // the setting: 0 off, 1..9, kEndlessLoops
    int loopsDone = 0;                         // jumps back to the loop start in this run
    bool fading = false;                       // the fade after the last loop runs
    int32_t loopedTotalMs = 0;
    int32_t loopedPositionMs = 0;
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
    // Settings().Edit changed the values (after they were applied).
    virtual void OnSettingsChanged(const SettingsValues& values) {}
    // The arrangement and EQ files were read again (the menus rebuild).
    virtual void OnCatalogChanged() {}
    // A song failed to load; text is the title label's failure text.
    virtual void OnLoadFailed(const std::string& text) {}
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
    virtual void OnClearKeyboard() {}
};

class PlaybackSession final : private PlayerObserver, private OutputObserver, private LoadObserver {
  public:
    explicit PlaybackSession(SessionEnv env);
    ~PlaybackSession() override;
    PlaybackSession(const PlaybackSession&) = delete;
    PlaybackSession& operator=(const PlaybackSession&) = delete;

    // The parts (UI thread, except what their comments say).
    SessionTransport& Transport() { return transport_; }
    SessionLibrary& Library() { return library_; }
    const SessionLibrary& Library() const { return library_; }
    SessionOutput& Output() { return output_; }
    SessionPresentation& Presentation() { return presentation_; }
    SessionSettings& Settings() { return settings_; }
    const SessionSettings& Settings() const { return settings_; }

    // Silences and resets the port, closes it, drops pending end-of-song
    // actions and saves the settings. Idempotent; the destructor calls it.
    void Shutdown();
    // The resident hide: stops the timer, silences, resets and closes the
    // port and saves the settings, but stays usable; the next open opens
    // the port again.
    void Suspend();

    // Any thread.
    SessionSnapshot Snapshot() const;
    void AddObserver(SessionObserver* o);
    void RemoveObserver(SessionObserver* o);

  private:
    friend class SessionTransport;
    friend class SessionLibrary;
    friend class SessionOutput;
    friend class SessionPresentation;
    friend class SessionSettings;

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
        bool loading = false;
        double loadFraction = 0;
        int32_t totalMs = 0;
        int32_t ticksPerQuarter = 480;
        int32_t beatQuarters = 4;
        std::string fileKind, title, fileName;
        const CodePage* textCodePage = &CodePageNamed(CodePage::kDefaultName);  // the song's texts
        int listCount = 0, listIndex = 0;
        RepeatMode repeatMode = RepeatMode::kList;
        int transpose = 0;
        int soloChannel = -1;
        bool stepping = false;
        int32_t stepTarget = 0;
        LoopPoints loop;
        int loopCount = 0;
        int32_t loopedTotalMs = 0;
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
    void OnSongOpened(int index, bool ok) override;
    void OnStoppedAtEnd() override;
    bool AllowAutoOpen(int index) override;
    // OutputObserver (timer thread)
    void OnModuleIndicator() override;
    void OnDotPicture() override;
    void OnClearMeters() override;
    void OnClearKeyboard() override;
    void OnNotesDropped(const std::string& text) override;
    // LoadObserver
    void OnLoadNotice(const std::string& noticeBytes) override;

    // Runs `hook` on every UI-thread observer still registered when its turn comes.
    void ForEachObserver(const std::function<void(SessionObserver*)>& hook);
    template <typename F>
    void ForEachObserverLocked(F hook);
    void RefreshInfo();
    void ReadLoops(const SongInfo& i, SessionSnapshot& s) const;
    void ReadDisplayText(const std::string& bytes, const CodePage& song, SessionSnapshot& s) const;
    static ShapingCatalog LoadCatalog(const ShapingFolders& folders);
    static bool ReadStoredTextEncoding(const SessionEnv& env);
    void ApplyTextEncoding();
    void ApplyShaping();
    void SyncValuesForSave();
    void SaveStoredSettings();
    bool SongLoaded() const { return player_.Song().Loaded; }

    SessionEnv env_;
    std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
    GuardedUi ui_{env_.ui, alive_};
    // The stored encoding setting, in effect before the arrangement files
    // are read.
    [[maybe_unused]] bool textEncodingRead_ = ReadStoredTextEncoding(env_);
    ShapingCatalog catalog_;
    std::vector<std::string> portNames_;
    SettingsValues values_;
    Player player_;
    SessionTransport transport_{*this};
    SessionOutput output_{*this};
    SessionSettings settings_{*this};
    SessionLibrary library_;
    SessionPresentation presentation_;

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

    int stateDepth_ = 0;
    bool shutDown_ = false;
    bool saveFailureTold_ = false;
};

}  // namespace sonfara
